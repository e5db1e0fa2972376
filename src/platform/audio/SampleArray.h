#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quillet {

// A block of interleaved 32-bit float PCM as returned by ReadSamples. Move-only: each block is
// used once (written or queued) and then released.
class SampleArray {
public:
    SampleArray() = default;
    explicit SampleArray(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    SampleArray(SampleArray&&) noexcept = default;
    SampleArray& operator=(SampleArray&&) noexcept = default;
    SampleArray(const SampleArray&) = delete;
    SampleArray& operator=(const SampleArray&) = delete;

    // Element count - 1; -1 for an empty array (no data left).
    long UpperBound() const { return static_cast<long>(bytes_.size()) - 1; }
    size_t ByteCount() const { return bytes_.size(); }
    bool Empty() const { return bytes_.empty(); }
    const uint8_t* Data() const { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace quillet
