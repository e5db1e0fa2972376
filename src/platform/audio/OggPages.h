#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quillet {

// One Ogg page: header fields, lacing values and body.
struct OggPage {
    static constexpr uint8_t kContinued = 1;
    static constexpr uint8_t kFirst = 2;
    static constexpr uint8_t kLast = 4;

    uint8_t flags = 0;
    int64_t granule = -1;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    std::vector<uint8_t> lacing;
    std::vector<uint8_t> body;
};

// The Ogg page checksum: CRC-32 with polynomial 0x04c11db7, bits taken most significant first,
// starting from 0, over the page with its checksum field zero.
uint32_t OggCrc(const uint8_t* data, size_t size, uint32_t crc = 0);

// The pages of a file one after another, each checked (capture pattern, version, checksum).
class OggPageReader {
  public:
    // Throws AudioError when the file cannot be opened.
    explicit OggPageReader(const QString& path);
    // The next page; none at the end of the file. A page that is cut short or fails its checksum
    // sets Damaged() and ends the reading.
    std::optional<OggPage> Next();
    bool Damaged() const { return damaged_; }

  private:
    bool Fill(size_t bytes);

    QString path_;
    QFile file_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0;
    bool damaged_ = false;
};

// Packets of a page one after another: a packet ends at a lacing value below 255.
struct OggPacketPiece {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool ends = false;  // the packet ends on this page
};
std::vector<OggPacketPiece> PiecesOf(const OggPage& page);

// Lays packets into pages of one logical stream and writes them: a page is closed when the
// caller asks for it, or when it holds about 4 KB or 255 lacing values (libogg's rule), and a
// packet too long for one page goes on over the next ones.
class OggPageWriter {
  public:
    // write is called with every finished page's bytes.
    using Sink = std::function<void(const std::vector<uint8_t>&)>;
    OggPageWriter(uint32_t serial, Sink sink) : serial_(serial), sink_(std::move(sink)) {}

    // A packet, and the granule position after it (what a page that ends with it carries). With
    // hold, the page stays open after it even when full, for Flush to close.
    void Add(const std::vector<uint8_t>& packet, int64_t granuleAfter, bool hold = false);
    // Closes the page being filled (if it holds anything), with the given flags added.
    void Flush(uint8_t flags = 0);

  private:
    void Emit(uint8_t flags);

    uint32_t serial_;
    Sink sink_;
    uint32_t sequence_ = 0;
    bool first_ = true;
    bool continued_ = false;  // the next page starts with the rest of a packet
    std::vector<uint8_t> lacing_;
    std::vector<uint8_t> body_;
    int64_t granule_ = -1;  // of the last packet that ends on the page being filled
};

}  // namespace quillet
