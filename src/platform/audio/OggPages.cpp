#include "platform/audio/OggPages.h"

#include <array>
#include <cstring>

#include "common/FileNames.h"
#include "platform/audio/FfmpegError.h"

namespace quillet {

namespace {

constexpr size_t kHeaderBytes = 27;
constexpr size_t kReadBytes = 1 << 20;
// libogg closes a page once its body holds this much.
constexpr size_t kPageBody = 4096;
constexpr size_t kMaxLacing = 255;

// Eight tables, so that the checksum takes eight bytes a step: every page read and written is
// checked, and byte by byte that was most of a copy's time.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ 0x04c11db7u : c << 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < t.size(); ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}
constexpr CrcTables kCrc = MakeCrcTables();

uint32_t Little32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void PutLittle32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t OggCrc(const uint8_t* data, size_t size, uint32_t crc) {
    const uint8_t* p = data;
    for (; size >= 8; size -= 8, p += 8) {
        crc ^= (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        crc = kCrc[7][crc >> 24] ^ kCrc[6][(crc >> 16) & 0xff] ^ kCrc[5][(crc >> 8) & 0xff] ^
              kCrc[4][crc & 0xff] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
    }
    for (; size > 0; --size, ++p) crc = (crc << 8) ^ kCrc[0][((crc >> 24) ^ *p) & 0xff];
    return crc;
}

OggPageReader::OggPageReader(const QString& path) : path_(path) {
    if (const int error = OpenForReading(file_, path))
        throw SystemError(QStringLiteral("open"), path, error);
}

bool OggPageReader::Fill(size_t bytes) {
    if (buffer_.size() - at_ >= bytes) return true;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<int64_t>(at_));
    at_ = 0;
    while (buffer_.size() < bytes) {
        const size_t old = buffer_.size();
        buffer_.resize(old + std::max(kReadBytes, bytes - old));
        const qint64 n = file_.read(reinterpret_cast<char*>(buffer_.data() + old),
                                    static_cast<qint64>(buffer_.size() - old));
        if (n < 0) throw EngineError(QStringLiteral("read"), path_, file_.errorString());
        buffer_.resize(old + static_cast<size_t>(n));
        if (n == 0) return false;
    }
    return true;
}

std::optional<OggPage> OggPageReader::Next() {
    if (damaged_) return std::nullopt;
    if (!Fill(kHeaderBytes)) {
        damaged_ = buffer_.size() > at_;  // bytes after the last page
        return std::nullopt;
    }
    const uint8_t* h = buffer_.data() + at_;
    if (std::memcmp(h, "OggS", 4) != 0 || h[4] != 0 || !Fill(kHeaderBytes + h[26])) {
        damaged_ = true;
        return std::nullopt;
    }
    h = buffer_.data() + at_;
    size_t bodyBytes = 0;
    for (size_t i = 0; i < h[26]; ++i) bodyBytes += h[kHeaderBytes + i];
    const size_t pageBytes = kHeaderBytes + h[26] + bodyBytes;
    if (!Fill(pageBytes)) {
        damaged_ = true;
        return std::nullopt;
    }
    h = buffer_.data() + at_;
    std::array<uint8_t, 4> zero{};
    uint32_t crc = OggCrc(h, 22);
    crc = OggCrc(zero.data(), 4, crc);
    crc = OggCrc(h + 26, pageBytes - 26, crc);
    if (crc != Little32(h + 22)) {
        damaged_ = true;
        return std::nullopt;
    }
    OggPage page;
    page.flags = h[5];
    uint64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = (granule << 8) | h[6 + i];
    page.granule = static_cast<int64_t>(granule);
    page.serial = Little32(h + 14);
    page.sequence = Little32(h + 18);
    page.lacing.assign(h + kHeaderBytes, h + kHeaderBytes + h[26]);
    page.body.assign(h + kHeaderBytes + h[26], h + pageBytes);
    at_ += pageBytes;
    return page;
}

std::vector<OggPacketPiece> PiecesOf(const OggPage& page) {
    std::vector<OggPacketPiece> pieces;
    size_t start = 0;
    size_t size = 0;
    for (uint8_t value : page.lacing) {
        size += value;
        if (value < 255) {
            pieces.push_back({page.body.data() + start, size, true});
            start += size;
            size = 0;
        }
    }
    if (!page.lacing.empty() && page.lacing.back() == 255)
        pieces.push_back({page.body.data() + start, size, false});
    return pieces;
}

void OggPageWriter::Add(const std::vector<uint8_t>& packet, int64_t granuleAfter, bool hold) {
    size_t done = 0;
    for (;;) {
        const size_t rest = packet.size() - done;
        const size_t values = rest / 255 + 1;  // a multiple of 255 ends with a 0
        const size_t room = kMaxLacing - lacing_.size();
        if (values <= room) {
            for (size_t i = 0; i + 1 < values; ++i) lacing_.push_back(255);
            lacing_.push_back(static_cast<uint8_t>(rest % 255));
            body_.insert(body_.end(), packet.begin() + static_cast<int64_t>(done), packet.end());
            granule_ = granuleAfter;
            if (!hold && (body_.size() >= kPageBody || lacing_.size() == kMaxLacing)) Emit(0);
            return;
        }
        if (room == 0) {
            Emit(0);
            continue;
        }
        // The packet goes on over the next page.
        lacing_.insert(lacing_.end(), room, 255);
        body_.insert(body_.end(), packet.begin() + static_cast<int64_t>(done),
                     packet.begin() + static_cast<int64_t>(done + room * 255));
        done += room * 255;
        Emit(0);
        continued_ = true;
    }
}

void OggPageWriter::Flush(uint8_t flags) {
    if (!lacing_.empty()) Emit(flags);
}

void OggPageWriter::Emit(uint8_t flags) {
    std::vector<uint8_t> page(kHeaderBytes + lacing_.size() + body_.size());
    uint8_t* h = page.data();
    std::memcpy(h, "OggS", 4);
    h[4] = 0;
    h[5] = static_cast<uint8_t>((continued_ ? OggPage::kContinued : 0) |
                                (first_ ? OggPage::kFirst : 0) | flags);
    // A page on which no packet ends carries -1.
    const auto granule = static_cast<uint64_t>(granule_);
    for (int i = 0; i < 8; ++i) h[6 + i] = static_cast<uint8_t>(granule >> (8 * i));
    PutLittle32(h + 14, serial_);
    PutLittle32(h + 18, sequence_++);
    PutLittle32(h + 22, 0);
    h[26] = static_cast<uint8_t>(lacing_.size());
    std::memcpy(h + kHeaderBytes, lacing_.data(), lacing_.size());
    std::memcpy(h + kHeaderBytes + lacing_.size(), body_.data(), body_.size());
    PutLittle32(h + 22, OggCrc(page.data(), page.size()));
    sink_(page);
    first_ = false;
    continued_ = false;
    lacing_.clear();
    body_.clear();
    granule_ = -1;
}

}  // namespace quillet
