#include "platform/audio/OggVorbisCopy.h"

#include <QRandomGenerator>
#include <optional>
#include <utility>
#include <vector>

#include "platform/audio/OggPages.h"
#include "platform/audio/OggVorbisPackets.h"
#include "platform/audio/PendingFileWriter.h"

namespace quillet {

namespace {

using Packet = OggVorbisPackets::Packet;
using Refused = OggVorbisPackets::Unusable;

// Follows the audio packets with the samples each decodes, and writes the stretch's packets.
// Raw positions count every decoded sample from the stream's first; the engine's count from the
// first that the source's own first page keeps.
class StretchWriter {
  public:
    StretchWriter(int64_t start, int64_t end, uint32_t serial, PendingFileWriter& out)
        : start_(start),
          end_(end),
          pages_(serial, [&out](const std::vector<uint8_t>& page) { out.Append(page); }) {}

    void WriteHeaders(const OggVorbisPackets& source) {
        pages_.Add(source.Identification().bytes, 0, true);
        pages_.Flush();
        // Audio starts on a page of its own.
        pages_.Add(source.Comment().bytes, 0, true);
        pages_.Add(source.Setup().bytes, 0, true);
        pages_.Flush();
    }

    // True once the stretch's last packet is written.
    bool Take(Packet packet) {
        CheckGranule(packet);
        if (!trim_) {
            // Where positions start is known once the first page with a granule position is.
            waiting_.push_back(std::move(packet));
            return false;
        }
        for (Packet& w : std::exchange(waiting_, {}))
            if (Place(std::move(w))) return true;
        return Place(std::move(packet));
    }

  private:
    void CheckGranule(const Packet& p) {
        decoded_ += p.samples;
        if (!p.endsPage || p.granule == -1) return;
        if (!base_) {
            // A first page whose granule lies below what it decodes drops samples at the start;
            // one above it starts the stream late.
            base_ = p.granule - decoded_;
            trim_ = p.lastPage ? 0 : std::max<int64_t>(0, -*base_);
            return;
        }
        const int64_t granuleDecoded = p.granule - *base_;
        if (p.lastPage ? granuleDecoded > decoded_ : granuleDecoded != decoded_)
            throw Refused{QStringLiteral("its granule positions disagree with its packets")};
    }

    bool Place(Packet packet) {
        if (finished_) return true;
        const int64_t rawStart = start_ + *trim_;
        const int64_t rawEnd = end_ + *trim_;
        raw_ += packet.samples;
        if (!started_) {
            if (packet.samples == 0 || raw_ <= rawStart) {
                previous_ = std::move(packet.bytes);
                return false;
            }
            if (raw_ >= rawEnd)
                throw Refused{
                    QStringLiteral("the stretch starts and ends inside one Vorbis packet")};
            // The packet before completes the overlap and decodes nothing here. The first page
            // holds these two alone: libvorbis trims the start by the first page only, and would
            // hand out samples of an earlier packet on it before it knows the granule.
            pages_.Add(previous_, -1, true);
            pages_.Add(packet.bytes, raw_ - rawStart, true);
            pages_.Flush();
            started_ = true;
            return false;
        }
        if (raw_ >= rawEnd) {
            pages_.Add(packet.bytes, end_ - start_, true);
            pages_.Flush(OggPage::kLast);
            finished_ = true;
            return true;
        }
        pages_.Add(packet.bytes, raw_ - rawStart);
        return false;
    }

    int64_t start_;
    int64_t end_;
    OggPageWriter pages_;
    std::optional<int64_t> base_;
    std::optional<int64_t> trim_;
    int64_t decoded_ = 0;  // what the packets read so far decode, for the granule checks
    int64_t raw_ = 0;      // what the packets placed so far decode
    std::vector<Packet> waiting_;
    std::vector<uint8_t> previous_;
    bool started_ = false;
    bool finished_ = false;
};

QString CopyOrRefuse(const QString& source, int64_t start, int64_t end, PendingFile& file) {
    if (start < 0 || end <= start) return QStringLiteral("the stretch lies outside the audio");
    OggVorbisPackets in(source);
    PendingFileWriter out(file);
    StretchWriter writer(start, end, QRandomGenerator::global()->generate(), out);
    writer.WriteHeaders(in);
    while (std::optional<Packet> packet = in.Next())
        if (writer.Take(std::move(*packet))) return QString();
    return QStringLiteral("the stretch lies outside the audio");
}

}  // namespace

QString OggVorbisCopy::Copy(const QString& source, int64_t start, int64_t end, PendingFile& out) {
    try {
        return CopyOrRefuse(source, start, end, out);
    } catch (const Refused& refused) {
        return refused.reason;
    }
}

}  // namespace quillet
