#pragma once

#include <QString>
#include <memory>

#include "platform/audio/DecoderSource.h"

namespace quillet {

// Uncompressed WAVE (integer PCM of 8 to 32 bits, float of 32 or 64 bits, plain or
// WAVE_FORMAT_EXTENSIBLE) read straight from the file: its channels in the file's order, its
// length from the bytes that are really there, whatever the header claims.
class WavSource : public DecoderSource {
  public:
    // Null when the file is not a RIFF WAVE of uncompressed samples (other codings go through
    // FFmpeg); throws AudioError naming the file when its header cannot be trusted.
    static std::unique_ptr<WavSource> Open(const QString& path);
    ~WavSource() override;

    int64_t Length() const override;
    int SampleRate() const override;
    int Channels() const override;
    void Seek(int64_t frame) override;
    int64_t Read(float* out, int64_t frames) override;

  private:
    struct Impl;
    explicit WavSource(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> d_;
};

}  // namespace quillet
