#pragma once

#include <QIODevice>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace quillet {

// The queue of sample arrays that QAudioSink pulls from. It hands out whole frames of queued
// audio, keeps count of what it handed out, and remembers the peak of each piece for the level
// meter. The sink reads it on the player's sound thread while the window's thread appends to it
// and reads its counts: everything here is under one lock.
class PlayerStream : public QIODevice {
    Q_OBJECT
  public:
    PlayerStream();

    // Empties the queue and the counts for a new run at the given frame size.
    void Reset(int bytesPerFrame, int channels);

    // Appends interleaved float frames; an empty block marks the end of the source. True when
    // the device had found nothing and waits to be told there is more (readyRead, on the
    // sound thread).
    bool Append(const uint8_t* data, size_t bytes);
    // Before the first Append of a run: the source ends after this many frames, and audio
    // appended beyond them is dropped.
    void EndAfter(int64_t frames);

    // Frames of real audio handed to the device since Reset (silence after the end excluded).
    int64_t FramesHanded() const;
    // Queued blocks handed out completely since Reset.
    int64_t BlocksHanded() const;
    // An empty block came last: the source has nothing more.
    bool EndOfSource() const;
    // Frames queued and not yet handed out.
    int64_t FramesQueued() const;
    // The source has said it has no more, and everything it gave has been handed out.
    bool Drained() const;
    // The last read found too little to hand out and returned nothing; the device waits for
    // readyRead.
    bool Starved() const;

    // Peaks (0..32767) of the audio up to the given frame that was not reported before.
    void TakeLevels(int64_t playedFrame, int& left, int& right);

    // Called on the sound thread, outside the lock, when a read handed out a block completely
    // or found nothing while more audio is expected.
    std::function<void()> onChange;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

  private:
    struct Block {
        std::vector<uint8_t> bytes;
        size_t offset = 0;
    };
    struct Peak {
        int64_t endFrame;
        int left;
        int right;
    };

    void NotePeaks(const char* data, int64_t frames);

    mutable std::mutex mutex_;
    std::deque<Block> blocks_;
    std::deque<Peak> peaks_;
    int64_t queuedBytes_ = 0;
    int64_t framesAppended_ = 0;
    int64_t endAfter_ = -1;  // none
    int64_t framesHanded_ = 0;
    int64_t blocksHanded_ = 0;
    int bytesPerFrame_ = 8;
    int channels_ = 2;
    bool endOfSource_ = false;
    bool paddingStarted_ = false;
    bool starved_ = false;
};

}  // namespace quillet
