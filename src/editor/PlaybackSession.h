#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

#include "common/BoundedQueue.h"
#include "common/WorkerThread.h"
#include "editor/PlayRange.h"
#include "platform/audio/SampleArray.h"

namespace quillet {

class EditorView;
class IAudioPlayer2;
class TAudioFile2;
class TrackList;
struct RunState;

// Playback of one row of the list: start, resume, restart, pause, stop, the "Current bar" (the
// play head, 0..1000 over the play range) and the read-ahead that feeds the player. It owns
// the play range, the playing row and the flags IsPlaying, IsPaused and FreshPlay; it reads the
// rows from the list, the audio from the reader, and shows the head through the view. The
// player's events are routed to RequestArray, ArrayPlayed, PlayEnded and Timer by its owner.
class PlaybackSession : public QObject {
    Q_OBJECT
  public:
    // The player is asked for this many positions per read: a tenth of a second at 44.1 kHz.
    static constexpr int32_t kBlockPositions = 4410;
    // How many blocks are read ahead of the requests: more than the player asks for at once
    // after the window's thread was away for a while.
    static constexpr size_t kReadAheadBlocks = 8;

    PlaybackSession(TrackList& tracks, const RunState& run, TAudioFile2& reader,
                    IAudioPlayer2& player, EditorView& view, std::function<bool()> preListen,
                    QObject* parent = nullptr);
    ~PlaybackSession() override;

    bool IsPlaying() const { return isPlaying_; }
    bool IsPaused() const { return isPaused_; }
    bool FreshPlay() const { return freshPlay_; }
    int PlayingTrack() const { return playingTrack_; }
    const PlayRange& Range() const { return range_; }
    int64_t OffsetPos() const { return offsetPos_; }
    // Where the "Current bar" stands.
    int HeadBar() const { return headBar_; }

    // "Play": a fresh range from the start of the chosen stretch.
    void Play();
    // Starts, resumes or restarts; FreshPlay decides whether the range is taken anew.
    void StartPlayback();
    void PausePlayback();
    void StopPlayback();
    void QueueNextBlock();

    // The player's events.
    void RequestArray() { QueueNextBlock(); }
    void ArrayPlayed() { QueueNextBlock(); }
    void PlayEnded() { StopPlayback(); }
    void Timer(int currentSamples);

    // The user's hand on the "Current bar": pressed (the player halts), moved (the skin moves
    // the bar itself) and released (a running playback goes on from there).
    void HeadPressed();
    void HeadMoved(int newPos, bool hasRows);
    void HeadReleased();
    // The window puts the bar somewhere of its own (an add, a clear).
    void SetHead(int bar, bool redraw);

    // The player halts, the state stays: what the application's error handler does.
    void Halt();

    // Frame by frame, for the stretch editor. The "Current bar" still shows the head on its
    // 0..1000 scale; the operations above keep working on that scale.

    // While playing or paused: the frame of the playing row's file the head is at, as the player
    // last reported it (so it lags the sound by at most one of the player's timer events), or
    // where it was put.
    int64_t HeadPos() const;
    // The range lies in the file from its StartPos (the stretch with pre-listen on, one range
    // played once) rather than from the file's start.
    bool RangeInFile() const { return onceRange_ || PreListen(); }
    // Plays `row` in a fresh range, as "Play" does, but from the frame `from` of its file (a
    // frame outside the range starts at the range's start). Paused on that row, it resumes at
    // `from` in the paused range.
    void PlayFrom(int row, int64_t from);
    // Plays `range` of `row` once (its StartPos and StartSec in the file), then stops as at the
    // end of any range.
    void PlayOnce(int row, const PlayRange& range);
    // Moves the head to the frame `pos` of the playing row, kept inside the range: playing goes
    // on from there, a pause resumes there.
    void SeekHead(int64_t pos);
    // Pauses keeping the head where the player is, to the frame, for the resume.
    void PauseAtHead();

  signals:
    // Playback started, paused, resumed or stopped, or the head moved.
    void Changed();

  private:
    // The reader for the window's thread: the read-ahead stops first and gives it back. Every
    // use of the reader here goes through it.
    TAudioFile2& Reader();
    void StopReadAhead();
    // On the reading thread: blocks from the reader's position on, until it runs dry.
    void ReadAhead();
    void Resume();
    // Opens the playing row's file and gives the player its format; a format the player
    // refuses is handed back to be raised once the window is in step.
    std::exception_ptr OpenPlayingFile();
    void PlayFromHead();
    void ShowHead(int bar, bool redraw);
    bool PreListen() const { return preListen_(); }
    void RowsRemoved(int first, int last);
    void RowsMoved(int first, int destination);
    // Puts the head at the frame `pos` of the file for the next start: outside the range at its
    // nearer end (clamp) or at its start.
    void CueHead(int64_t pos, bool clamp);
    void Select(int row);

    TrackList& tracks_;
    const RunState& run_;
    TAudioFile2& reader_;
    IAudioPlayer2& player_;
    EditorView& view_;
    std::function<bool()> preListen_;

    // Blocks read ahead of the player's requests by a thread of their own, which owns the
    // reader while it reads; a request is answered from here, never by a decode on the window's
    // thread.
    BoundedQueue<SampleArray> blocks_{kReadAheadBlocks};
    WorkerThread reading_;
    bool readingAhead_ = false;
    bool readerDry_ = false;  // the read-ahead gave the empty block: every later read is empty

    PlayRange range_;
    int64_t offsetPos_ = 0;
    int playingTrack_ = 0;
    int headBar_ = 0;
    bool isPlaying_ = false;
    bool isPaused_ = false;
    bool freshPlay_ = false;

    // The next start goes on from this offset into the range rather than from the bar's place.
    std::optional<int64_t> cueOffset_;
    // Positions the player reported played since the start, and whether they still tell where
    // the head is (a hand on the bar moves it elsewhere).
    int64_t heard_ = 0;
    bool heardValid_ = false;
    bool onceRange_ = false;
};

}  // namespace quillet
