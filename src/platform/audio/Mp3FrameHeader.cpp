#include "platform/audio/Mp3FrameHeader.h"

namespace quillet {

namespace {

// kbit/s by [MPEG-2 or 2.5][layer - 1][index] (ISO 11172-3 and 13818-3).
constexpr int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr int kRates[3] = {44100, 48000, 32000};

// Bits of the side information before the first granule's fields, and the bits of the fields
// of one granule of one channel (part2_3_length comes first in them).
int SideInfoLeadBits(const Mp3FrameHeader& h) {
    if (h.Lsf()) return 8 + (h.mono ? 1 : 2);        // main_data_begin, private bits
    return 9 + (h.mono ? 5 : 3) + 4 * h.Channels();  // ... and scfsi
}
int GranuleFieldBits(const Mp3FrameHeader& h) { return h.Lsf() ? 63 : 59; }

uint32_t Bits(const uint8_t* p, int64_t bit, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++bit)
        value = (value << 1) | ((p[bit >> 3] >> (7 - (bit & 7))) & 1u);
    return value;
}

}  // namespace

std::optional<Mp3FrameHeader> Mp3FrameHeader::Parse(uint32_t raw) {
    if ((raw & 0xffe00000u) != 0xffe00000u) return std::nullopt;
    Mp3FrameHeader h;
    h.raw = raw;
    h.versionBits = (raw >> 19) & 3;
    const int layerBits = (raw >> 17) & 3;
    h.bitrateIndex = (raw >> 12) & 15;
    const int rateIndex = (raw >> 10) & 3;
    if (h.versionBits == 1 || layerBits == 0 || h.bitrateIndex == 0 || h.bitrateIndex == 15 ||
        rateIndex == 3)
        return std::nullopt;
    h.layer = 4 - layerBits;
    h.kbps = kBitrates[h.Lsf() ? 1 : 0][h.layer - 1][h.bitrateIndex];
    h.sampleRate = kRates[rateIndex] >> (h.versionBits == 3 ? 0 : h.versionBits == 2 ? 1 : 2);
    h.padding = (raw >> 9) & 1;
    h.crc = ((raw >> 16) & 1) == 0;
    h.mono = ((raw >> 6) & 3) == 3;
    const int bitrate = h.kbps * 1000;
    if (h.layer == 1) {
        h.bytes = (12 * bitrate / h.sampleRate + (h.padding ? 1 : 0)) * 4;
        h.samples = 384;
    } else if (h.layer == 2 || !h.Lsf()) {
        h.bytes = 144 * bitrate / h.sampleRate + (h.padding ? 1 : 0);
        h.samples = 1152;
    } else {
        h.bytes = 72 * bitrate / h.sampleRate + (h.padding ? 1 : 0);
        h.samples = 576;
    }
    if (h.bytes <= h.MainDataOffset()) return std::nullopt;
    return h;
}

std::optional<Mp3FrameHeader> Mp3FrameHeader::Parse(const uint8_t* fourBytes) {
    return Parse(ReadBigEndian32(fourBytes));
}

int Mp3FrameHeader::SideInfoBytes() const {
    if (layer != 3) return 0;
    if (Lsf()) return mono ? 9 : 17;
    return mono ? 17 : 32;
}

std::optional<Mp3FrameHeader> Mp3FrameHeader::WithBitrate(int index) const {
    if (index < 1 || index > 14) return std::nullopt;
    // Bit 16 set: no CRC. Bit 9 clear: no padding.
    const uint32_t other =
        (raw & ~(0xfu << 12) & ~(1u << 9)) | (1u << 16) | (uint32_t(index) << 12);
    return Parse(other);
}

bool Mp3FrameHeader::SameStream(const Mp3FrameHeader& other) const {
    return versionBits == other.versionBits && layer == other.layer &&
           sampleRate == other.sampleRate && mono == other.mono;
}

uint32_t ReadBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void WriteBigEndian32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

int MainDataBegin(const uint8_t* frame, const Mp3FrameHeader& header) {
    const uint8_t* side = frame + 4 + (header.crc ? 2 : 0);
    return static_cast<int>(Bits(side, 0, header.Lsf() ? 8 : 9));
}

int64_t MainDataBits(const uint8_t* frame, const Mp3FrameHeader& header) {
    const uint8_t* side = frame + 4 + (header.crc ? 2 : 0);
    const int granules = header.Lsf() ? 1 : 2;
    int64_t bits = 0;
    int64_t at = SideInfoLeadBits(header);
    for (int g = 0; g < granules * header.Channels(); ++g, at += GranuleFieldBits(header))
        bits += Bits(side, at, 12);
    return bits;
}

void SetMainDataBegin(uint8_t* sideInfo, const Mp3FrameHeader& header, int value) {
    if (header.Lsf()) {
        sideInfo[0] = static_cast<uint8_t>(value);
        return;
    }
    sideInfo[0] = static_cast<uint8_t>(value >> 1);
    sideInfo[1] = static_cast<uint8_t>((sideInfo[1] & 0x7f) | ((value & 1) << 7));
}

}  // namespace quillet
