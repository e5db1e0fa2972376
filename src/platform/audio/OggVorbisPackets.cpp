#include "platform/audio/OggVorbisPackets.h"

#include <cstring>

namespace quillet {

namespace {

bool IsHeader(const OggVorbisPackets::Packet& p, uint8_t type) {
    return p.bytes.size() >= 7 && p.bytes[0] == type &&
           std::memcmp(p.bytes.data() + 1, "vorbis", 6) == 0;
}

void Lace(std::vector<uint8_t>& out, size_t size) {
    for (; size >= 255; size -= 255) out.push_back(255);
    out.push_back(static_cast<uint8_t>(size));
}

}  // namespace

OggVorbisPackets::OggVorbisPackets(const QString& path) : pages_(path) {
    std::optional<Packet> id = NextRaw();
    if (!id || !IsHeader(*id, 1) || id->bytes.size() < 30)
        throw Unusable{QStringLiteral("it is not Ogg Vorbis")};
    std::optional<Packet> comment = NextRaw();
    std::optional<Packet> setup = NextRaw();
    // Audio begins on a page of its own, after the setup header.
    if (!comment || !IsHeader(*comment, 3) || !setup || !IsHeader(*setup, 5) || !setup->endsPage)
        throw Unusable{QStringLiteral("its Vorbis headers are damaged")};
    id_ = std::move(*id);
    comment_ = std::move(*comment);
    setup_ = std::move(*setup);
    // The three headers in Xiph lacing, as FFmpeg's Vorbis parser takes them.
    std::vector<uint8_t> extradata{2};
    Lace(extradata, id_.bytes.size());
    Lace(extradata, comment_.bytes.size());
    for (const Packet* p : {&id_, &comment_, &setup_})
        extradata.insert(extradata.end(), p->bytes.begin(), p->bytes.end());
    parser_.reset(av_vorbis_parse_init(extradata.data(), static_cast<int>(extradata.size())));
    if (!parser_) throw Unusable{QStringLiteral("its Vorbis headers are damaged")};
}

std::optional<OggVorbisPackets::Packet> OggVorbisPackets::Next() {
    std::optional<Packet> p = NextRaw();
    if (!p) return std::nullopt;
    if (p->bytes.empty() || (p->bytes[0] & 1) != 0)
        throw Unusable{QStringLiteral("it has damaged Vorbis packets")};
    const int duration =
        av_vorbis_parse_frame(parser_.get(), p->bytes.data(), static_cast<int>(p->bytes.size()));
    if (duration < 0) throw Unusable{QStringLiteral("it has damaged Vorbis packets")};
    p->samples = first_ ? 0 : duration;
    first_ = false;
    return p;
}

std::optional<OggVorbisPackets::Packet> OggVorbisPackets::NextRaw() {
    while (ready_.empty()) {
        const std::optional<OggPage> page = pages_.Next();
        if (!page) {
            if (pages_.Damaged()) throw Unusable{QStringLiteral("it has damaged Ogg pages")};
            return std::nullopt;
        }
        Take(*page);
    }
    Packet p = std::move(ready_.front());
    ready_.pop_front();
    return p;
}

void OggVorbisPackets::Take(const OggPage& page) {
    if (!serial_) serial_ = page.serial;
    if (page.serial != *serial_)
        throw Unusable{QStringLiteral("it holds more than one Ogg stream")};
    if (((page.flags & OggPage::kContinued) != 0) != !partial_.empty())
        throw Unusable{QStringLiteral("it has damaged Ogg pages")};
    const std::vector<OggPacketPiece> pieces = PiecesOf(page);
    size_t lastEnding = pieces.size();
    for (size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].ends) lastEnding = i;
    for (size_t i = 0; i < pieces.size(); ++i) {
        partial_.insert(partial_.end(), pieces[i].data, pieces[i].data + pieces[i].size);
        if (!pieces[i].ends) continue;
        Packet p;
        p.bytes = std::move(partial_);
        partial_.clear();
        if (i == lastEnding) {
            p.endsPage = true;
            p.granule = page.granule;
            p.lastPage = (page.flags & OggPage::kLast) != 0;
        }
        ready_.push_back(std::move(p));
    }
}

}  // namespace quillet
