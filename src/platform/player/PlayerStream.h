#pragma once

#include <QIODevice>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace quillet {

// The queue of sample arrays that QAudioSink pulls from. It hands out whole frames of queued
// audio, keeps count of what it handed out, and remembers the peak of each piece for the level
// meter. All of it runs on the thread that owns the player.
class PlayerStream : public QIODevice {
    Q_OBJECT
public:
    PlayerStream();

    // Empties the queue and the counts for a new run at the given frame size.
    void Reset(int bytesPerFrame, int channels);

    // Appends interleaved float frames; an empty block marks the end of the source.
    void Append(const uint8_t* data, size_t bytes);

    // Frames of real audio handed to the device since Reset (silence after the end excluded).
    int64_t FramesHanded() const { return framesHanded_; }
    // An empty block came last: the source has nothing more.
    bool EndOfSource() const { return endOfSource_; }
    // Frames queued and not yet handed out.
    int64_t FramesQueued() const { return queuedBytes_ / bytesPerFrame_; }
    // The source has said it has no more, and everything it gave has been handed out.
    bool Drained() const { return endOfSource_ && blocks_.empty(); }
    // The last read found too little to hand out and returned nothing; the device waits for
    // readyRead.
    bool Starved() const { return starved_; }

    // Peaks (0..32767) of the audio up to the given frame that was not reported before.
    void TakeLevels(int64_t playedFrame, int& left, int& right);

    // Called from readData when a queued block has been handed out completely.
    std::function<void()> onBlockHanded;
    // Called from readData when it had to return nothing while more audio is expected.
    std::function<void()> onStarved;

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

    std::deque<Block> blocks_;
    std::deque<Peak> peaks_;
    int64_t queuedBytes_ = 0;
    int64_t framesHanded_ = 0;
    int bytesPerFrame_ = 8;
    int channels_ = 2;
    bool endOfSource_ = false;
    bool paddingStarted_ = false;
    bool starved_ = false;
};

}  // namespace quillet
