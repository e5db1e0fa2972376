#pragma once

#include <cstdint>

namespace quillet {

// One way of decoding a file to interleaved float frames, in the file's own channel order (the
// WAVE/FFmpeg order of speaker positions, never remixed). AudioDecoder picks one per file.
class DecoderSource {
  public:
    virtual ~DecoderSource() = default;
    virtual int64_t Length() const = 0;  // frames that reading from 0 to the end delivers
    virtual int SampleRate() const = 0;
    virtual int Channels() const = 0;
    // The next Read starts at exactly this frame (0..Length).
    virtual void Seek(int64_t frame) = 0;
    // Writes exactly min(frames, Length - position) frames to out and returns their count.
    virtual int64_t Read(float* out, int64_t frames) = 0;
};

}  // namespace quillet
