#pragma once

#include <QString>
#include <memory>

#include "platform/audio/DecoderSource.h"

namespace quillet {

// Ogg Vorbis through libvorbisfile, the reference decoder: every link of a chained file, the
// start offset of each link's first granule position, and the exact end of each link.
class VorbisSource : public DecoderSource {
  public:
    // Null when the file is not Ogg Vorbis (another codec inside Ogg, or not Ogg at all); throws
    // AudioError naming the file when it is Ogg Vorbis but cannot be used.
    static std::unique_ptr<VorbisSource> Open(const QString& path);
    ~VorbisSource() override;

    int64_t Length() const override;
    int SampleRate() const override;
    int Channels() const override;
    void Seek(int64_t frame) override;
    int64_t Read(float* out, int64_t frames) override;

  private:
    struct Impl;
    explicit VorbisSource(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> d_;
};

}  // namespace quillet
