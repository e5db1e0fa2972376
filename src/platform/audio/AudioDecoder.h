#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillet {

// Decodes one file to interleaved float frames at its own rate and channel count, with an exact
// length and sample-accurate seeking. Throws AudioError naming the file on any failure.
class AudioDecoder {
public:
    explicit AudioDecoder(const QString& path);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int64_t Length() const;      // frames that reading from 0 to the end delivers
    int64_t DurationMs() const;  // Length in milliseconds, truncated
    int SampleRate() const;
    int Channels() const;

    // The next Read starts at exactly this frame (clamped to 0..Length).
    void Seek(int64_t frame);
    // Appends up to maxFrames frames to out; returns the frames appended, 0 at the end.
    int64_t Read(std::vector<float>& out, int64_t maxFrames);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace quillet
