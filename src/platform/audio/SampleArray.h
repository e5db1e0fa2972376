#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace quillet {

// A block of interleaved 32-bit float PCM as returned by ReadSamples. Its size is counted in
// bytes. The samples are kept as floats, so the decoder fills the storage the writer reads
// without a copy in between. Move-only: each block is used once (written or queued) and then
// released.
class SampleArray {
  public:
    SampleArray() = default;
    // Takes the samples over.
    explicit SampleArray(std::vector<float> samples)
        : samples_(std::move(samples)), bytes_(samples_.size() * sizeof(float)) {}
    // Copies size bytes (any count, also one that is not a whole sample).
    SampleArray(const uint8_t* data, size_t size)
        : samples_((size + sizeof(float) - 1) / sizeof(float)), bytes_(size) {
        if (size > 0) std::memcpy(samples_.data(), data, size);
    }
    explicit SampleArray(const std::vector<uint8_t>& bytes)
        : SampleArray(bytes.data(), bytes.size()) {}
    SampleArray(SampleArray&& other) noexcept
        : samples_(std::move(other.samples_)), bytes_(std::exchange(other.bytes_, 0)) {}
    SampleArray& operator=(SampleArray&& other) noexcept {
        samples_ = std::move(other.samples_);
        bytes_ = std::exchange(other.bytes_, 0);
        other.samples_.clear();
        return *this;
    }
    SampleArray(const SampleArray&) = delete;
    SampleArray& operator=(const SampleArray&) = delete;

    // Element count (bytes) - 1; -1 for an empty array (no data left).
    long UpperBound() const { return static_cast<long>(bytes_) - 1; }
    size_t ByteCount() const { return bytes_; }
    bool Empty() const { return bytes_ == 0; }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(samples_.data()); }
    // The whole samples; a trailing part of one (bytes that came in as such) is left out.
    const float* Samples() const { return samples_.data(); }
    size_t SampleCount() const { return bytes_ / sizeof(float); }

  private:
    std::vector<float> samples_;
    size_t bytes_ = 0;
};

}  // namespace quillet
