#include "editor/WaveformPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillet {

namespace {

// Levels get coarser while they have more buckets than this.
constexpr int64_t kTopBuckets = 1024;

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

}  // namespace

WaveformPeaks::WaveformPeaks(int channels, int sampleRate, int64_t frames)
    : channels_(std::clamp(channels, 0, kMaxChannels)),
      rate_(sampleRate),
      frames_(std::max<int64_t>(frames, 0)) {
    if (channels_ == 0) return;
    int64_t buckets = CeilDiv(frames_, kBaseFrames);
    for (;;) {
        levels_.emplace_back(static_cast<size_t>(buckets * channels_ * kValues));
        ready_.push_back(0);
        if (buckets <= kTopBuckets) break;
        buckets = CeilDiv(buckets, kFactor);
    }
}

int64_t WaveformPeaks::ReadyFrames() const {
    return std::min(ReadyBuckets() * kBaseFrames, frames_);
}

int64_t WaveformPeaks::FramesPerBucket(int level) const {
    int64_t frames = kBaseFrames;
    for (int i = 0; i < level; ++i) frames *= kFactor;
    return frames;
}

int64_t WaveformPeaks::Buckets(int level) const {
    if (level < 0 || level >= LevelCount()) return 0;
    return static_cast<int64_t>(levels_[level].size()) / (channels_ * kValues);
}

PeakValue WaveformPeaks::At(int level, int64_t bucket, int channel) const {
    const int16_t* v = levels_[level].data() + (bucket * channels_ + channel) * kValues;
    return {Level(v[0]), Level(v[1]), Level(v[2])};
}

int WaveformPeaks::LevelFor(double frames) const {
    int level = 0;
    while (level + 1 < LevelCount() && static_cast<double>(FramesPerBucket(level + 1)) <= frames)
        ++level;
    return level;
}

bool WaveformPeaks::Summary(int level, int channel, int64_t first, int64_t last,
                            PeakValue& out) const {
    if (level < 0 || level >= LevelCount() || last <= first) return false;
    const int64_t size = FramesPerBucket(level);
    const int64_t from = std::max<int64_t>(first, 0) / size;
    const int64_t to = std::min(CeilDiv(last, size), ready_[level]);
    if (from >= to) return false;
    const int c0 = channel < 0 ? 0 : channel;
    const int c1 = channel < 0 ? channels_ : channel + 1;
    int lo = 32767;
    int hi = -32767;
    double squares = 0.0;
    const int16_t* data = levels_[level].data();
    for (int64_t b = from; b < to; ++b) {
        const int16_t* v = data + (b * channels_ + c0) * kValues;
        for (int c = c0; c < c1; ++c, v += kValues) {
            lo = std::min<int>(lo, v[0]);
            hi = std::max<int>(hi, v[1]);
            squares += static_cast<double>(v[2]) * v[2];
        }
    }
    const double n = static_cast<double>((to - from) * (c1 - c0));
    out.min = Level(static_cast<int16_t>(lo));
    out.max = Level(static_cast<int16_t>(hi));
    out.rms = static_cast<float>(std::sqrt(squares / n) / 32767.0);
    return true;
}

void WaveformPeaks::Append(const int16_t* values, int64_t count) {
    if (Empty()) return;
    count = std::min(count, BaseBuckets() - ready_[0]);
    if (count <= 0) return;
    const int64_t stride = channels_ * kValues;
    std::memcpy(levels_[0].data() + ready_[0] * stride, values,
                static_cast<size_t>(count * stride) * sizeof(int16_t));
    int64_t from = ready_[0];
    ready_[0] += count;
    for (int level = 1; level < LevelCount(); ++level) {
        // The parent of the first new child may have been partly filled: do it again.
        from /= kFactor;
        const int64_t to = CeilDiv(ready_[level - 1], kFactor);
        Derive(level, from, to);
        ready_[level] = to;
    }
}

void WaveformPeaks::Derive(int level, int64_t fromParent, int64_t toParent) {
    const std::vector<int16_t>& children = levels_[level - 1];
    std::vector<int16_t>& parents = levels_[level];
    const int64_t childCount = ready_[level - 1];
    for (int64_t p = fromParent; p < toParent; ++p) {
        const int64_t c0 = p * kFactor;
        const int64_t c1 = std::min(c0 + kFactor, childCount);
        for (int ch = 0; ch < channels_; ++ch) {
            int lo = 32767;
            int hi = -32767;
            double squares = 0.0;
            for (int64_t c = c0; c < c1; ++c) {
                const int16_t* v = children.data() + (c * channels_ + ch) * kValues;
                lo = std::min<int>(lo, v[0]);
                hi = std::max<int>(hi, v[1]);
                squares += static_cast<double>(v[2]) * v[2];
            }
            int16_t* out = parents.data() + (p * channels_ + ch) * kValues;
            out[0] = static_cast<int16_t>(lo);
            out[1] = static_cast<int16_t>(hi);
            out[2] = static_cast<int16_t>(
                std::lround(std::sqrt(squares / static_cast<double>(c1 - c0))));
        }
    }
}

const std::vector<int16_t>& WaveformPeaks::BaseValues() const {
    static const std::vector<int16_t> kNone;
    return levels_.empty() ? kNone : levels_[0];
}

size_t WaveformPeaks::MemoryBytes() const {
    size_t bytes = 0;
    for (const auto& level : levels_) bytes += level.capacity() * sizeof(int16_t);
    return bytes;
}

int16_t WaveformPeaks::Quantise(float v) {
    if (!(v == v)) return 0;  // NaN from a damaged decode draws as silence
    return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

}  // namespace quillet
