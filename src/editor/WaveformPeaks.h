#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillet {

// The envelope of a stretch of one channel: the lowest and highest sample and the RMS.
struct PeakValue {
    float min = 0.0f;
    float max = 0.0f;
    float rms = 0.0f;
};

// The peaks of one file for drawing. The finest level has a bucket per 256 frames with, for
// each channel, the minimum, the maximum and the RMS of its samples, each as a 16-bit step of
// 1/32767 (samples beyond +-1 are taken as +-1). Every coarser level has a bucket per four of
// the level below, down to about a thousand buckets, so that a picture of any width is drawn
// from a handful of buckets per pixel.
//
// A 60-minute stereo file at 44.1 kHz (158,760,000 frames) has 620,157 finest buckets of
// 2 x 3 x 2 bytes: 7.4 MB, and 9.9 MB with all levels.
class WaveformPeaks {
  public:
    static constexpr int kBaseFrames = 256;
    static constexpr int kFactor = 4;
    static constexpr int kValues = 3;  // min, max, rms
    static constexpr int kMaxChannels = 64;

    WaveformPeaks() = default;
    WaveformPeaks(int channels, int sampleRate, int64_t frames);

    bool Empty() const { return channels_ == 0; }
    int Channels() const { return channels_; }
    int SampleRate() const { return rate_; }
    int64_t Frames() const { return frames_; }

    // Finest buckets: all of them, and those filled so far (they arrive in order).
    int64_t BaseBuckets() const { return Buckets(0); }
    int64_t ReadyBuckets() const { return ready_.empty() ? 0 : ready_[0]; }
    int64_t ReadyFrames() const;
    bool Complete() const { return !Empty() && ReadyBuckets() == BaseBuckets(); }

    int LevelCount() const { return static_cast<int>(levels_.size()); }
    int64_t FramesPerBucket(int level) const;
    int64_t Buckets(int level) const;
    PeakValue At(int level, int64_t bucket, int channel) const;

    // The coarsest level whose buckets are no longer than `frames`: the level to draw a pixel
    // of that many frames from.
    int LevelFor(double frames) const;
    // The envelope of one channel, or of all of them together with channel -1, over the frames
    // [first, last), from the buckets of `level` that are filled. False when none is.
    bool Summary(int level, int channel, int64_t first, int64_t last, PeakValue& out) const;

    // Fills the next `count` finest buckets from `values` (per bucket and channel: min, max,
    // rms as quantised steps) and brings the coarser levels up to date.
    void Append(const int16_t* values, int64_t count);
    // The finest level as stored: buckets x channels x (min, max, rms).
    const std::vector<int16_t>& BaseValues() const;

    size_t MemoryBytes() const;

    static int16_t Quantise(float v);
    static float Level(int16_t q) { return static_cast<float>(q) / 32767.0f; }

  private:
    void Derive(int level, int64_t fromParent, int64_t toParent);

    int channels_ = 0;
    int rate_ = 0;
    int64_t frames_ = 0;
    std::vector<std::vector<int16_t>> levels_;  // finest first
    std::vector<int64_t> ready_;                // filled buckets per level
};

}  // namespace quillet
