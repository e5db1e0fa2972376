#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace quillet {

// What the stretch editor needs from the program: the one row it shows (its file and chosen
// stretch) and the player. The program implements it over its track list and playback; the
// editor reaches nothing else. Positions are frames of the file. Everything is called, and
// every signal is sent, on the window's thread.
class StretchEditorHost : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // False when there is no row to show (an empty list, the row removed); then nothing else
    // below is asked.
    virtual bool HasRow() const = 0;
    virtual QString FilePath() const = 0;
    virtual int SampleRate() const = 0;
    // The file's length and the stretch: 0 <= StartPos < EndPos <= LengthPos.
    virtual int64_t LengthPos() const = 0;
    virtual int64_t StartPos() const = 0;
    virtual int64_t EndPos() const = 0;
    // Sets the stretch to exactly these positions; the editor has checked the order and the
    // bounds above. reason names the change as the editor's undo names it ("Begin typed",
    // "Undo"). False when the program does not take the change now: nothing changed.
    virtual bool SetStretch(int64_t startPos, int64_t endPos, const QString& reason) = 0;

    // The play head: where Play starts from and, while playing, where the player is.
    virtual int64_t PlayHeadPos() const = 0;
    // Playing and not paused.
    virtual bool IsPlaying() const = 0;
    // Moves the play head; while playing, playback goes on from there.
    virtual void SetPlayHead(int64_t pos) = 0;
    // Plays the row from the play head (so a pause is resumed where it was).
    virtual void Play() = 0;
    // Stops the sound and keeps the play head where it is.
    virtual void Pause() = 0;
    // Plays [fromPos, toPos) of the row once, then ends as at the end of a play range.
    virtual void PlayRange(int64_t fromPos, int64_t toPos) = 0;

  signals:
    // Another row is shown, or the row is gone (HasRow), or its file was replaced.
    void RowChanged();
    // The stretch changed; also sent after the editor's own SetStretch.
    void StretchChanged();
    // The play head moved, or playback started, paused or ended.
    void PlaybackChanged();
};

}  // namespace quillet
