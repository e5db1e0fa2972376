#pragma once

#include <QString>
#include <cstdint>

#include "editor/StretchEditorHost.h"
#include "platform/audio/TAudioFile2.h"

namespace quillet {

class PlaybackSession;
class SegmentEditor;
class TrackList;
struct RunState;

// The stretch editor's row is the current row of the list (CurrentTrack), its player the
// window's playback session. Changes of the stretch go through the segment editor, so the bars,
// times, the row's column and the total time follow them; changes made elsewhere (bar drags,
// steps, marks) reach the editor as StretchChanged.
//
// The play head: while the session plays or pauses this row, where the player is; otherwise a
// place of the row's own ("cue", 0 when the row is shown), where Play starts from. Playing
// another row does not move it.
class ListStretchHost : public StretchEditorHost {
    Q_OBJECT
  public:
    ListStretchHost(TrackList& tracks, const RunState& run, PlaybackSession& playback,
                    SegmentEditor& editor, QObject* parent = nullptr);

    // The row shown, -1 when there is none.
    int Row() const;

    bool HasRow() const override { return Row() >= 0; }
    QString FilePath() const override;
    int SampleRate() const override;
    int64_t LengthPos() const override;
    int64_t StartPos() const override;
    int64_t EndPos() const override;
    bool SetStretch(int64_t startPos, int64_t endPos, const QString& reason) override;

    int64_t PlayHeadPos() const override;
    bool IsPlaying() const override;
    void SetPlayHead(int64_t pos) override;
    void Play() override;
    void Pause() override;
    void PlayRange(int64_t fromPos, int64_t toPos) override;

  private:
    // Tells the editor when the current row is another one than it shows.
    void Refresh();
    // The session plays or pauses the row shown.
    bool PlaysRow() const;

    TrackList& tracks_;
    const RunState& run_;
    PlaybackSession& playback_;
    SegmentEditor& editor_;
    uint64_t shownId_ = 0;
    int64_t cue_ = 0;
    // Asks a row added without its sample rate for it.
    TAudioFile2 probe_;
};

}  // namespace quillet
