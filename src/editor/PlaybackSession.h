#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

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
};

}  // namespace quillet
