#pragma once

#include <QString>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/audio/FfmpegPtr.h"
#include "platform/audio/OggPages.h"

namespace quillet {

// The packets of an Ogg Vorbis file's one logical stream, in order: its three headers, then the
// audio packets with the samples each decodes. Vorbis decodes nothing for a stream's first audio
// packet; every later one completes the overlap with the one before it.
class OggVorbisPackets {
  public:
    struct Packet {
        std::vector<uint8_t> bytes;
        bool endsPage = false;  // the last packet that ends on its page
        int64_t granule = -1;   // of its page, when it ends the page
        bool lastPage = false;
        int64_t samples = 0;  // what it decodes (audio packets)
    };

    // A refusal: the file is not one Vorbis stream that can be read packet by packet.
    struct Unusable {
        QString reason;
    };

    // Reads the three headers. Throws Unusable, or AudioError when the file cannot be read.
    explicit OggVorbisPackets(const QString& path);

    const Packet& Identification() const { return id_; }
    const Packet& Comment() const { return comment_; }
    const Packet& Setup() const { return setup_; }

    // The next audio packet; none at the end of the stream. Throws Unusable on damage.
    std::optional<Packet> Next();

  private:
    std::optional<Packet> NextRaw();
    void Take(const OggPage& page);

    OggPageReader pages_;
    std::optional<uint32_t> serial_;
    std::vector<uint8_t> partial_;
    std::deque<Packet> ready_;
    Packet id_;
    Packet comment_;
    Packet setup_;
    ff::VorbisParsePtr parser_;
    bool first_ = true;
};

}  // namespace quillet
