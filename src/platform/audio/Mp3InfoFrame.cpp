#include "platform/audio/Mp3InfoFrame.h"

#include <algorithm>
#include <cstring>

namespace quillet {

namespace {

// A Xing/Info frame: "Xing" or "Info", flags, frames, bytes, a 100-entry table of contents and
// the quality (flags 0x0f: all four present), then the 36 bytes of the LAME tag.
constexpr int kXingBytes = 4 + 4 + 4 + 4 + 100 + 4;
constexpr int kLameBytes = 36;
constexpr uint32_t kAllXingFields = 0x0f;

// Offsets in the LAME tag.
constexpr int kEncoderAt = 0;
constexpr int kRevisionAt = 9;
constexpr int kLowpassAt = 10;
constexpr int kFlagsAt = 19;
constexpr int kBitrateAt = 20;
constexpr int kDelaysAt = 21;
constexpr int kMiscAt = 24;
constexpr int kPresetAt = 26;
constexpr int kMusicLengthAt = 28;
constexpr int kMusicCrcAt = 32;
constexpr int kTagCrcAt = 34;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xa001) : c >> 1;
        table[static_cast<size_t>(i)] = c;
    }
    return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

void WriteBigEndian16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

// Where the Xing fields start in a frame of header h: after the header and the side information
// (a CRC is never written into an Info frame).
int XingOffset(const Mp3FrameHeader& h) { return 4 + (h.crc ? 2 : 0) + h.SideInfoBytes(); }

Mp3FrameHeader InfoHeader(const Mp3FrameHeader& like) {
    const int needed = 4 + like.SideInfoBytes() + kXingBytes + kLameBytes;
    if (const auto same = like.WithBitrate(like.bitrateIndex); same && same->bytes >= needed)
        return *same;
    for (int index = 1; index <= 14; ++index)
        if (const auto h = like.WithBitrate(index); h && h->bytes >= needed) return *h;
    return *like.WithBitrate(14);  // every stream's largest frame holds the tag
}

void WriteToc(uint8_t* toc, int64_t infoBytes, int64_t totalBytes, const Mp3InfoFields& fields) {
    const auto frames = static_cast<int64_t>(fields.frameOffsets.size());
    for (int i = 0; i < 100; ++i) {
        const int64_t frame = frames > 0 ? std::min(frames - 1, i * frames / 100) : 0;
        const int64_t at =
            infoBytes + (frames > 0 ? fields.frameOffsets[static_cast<size_t>(frame)] : 0);
        toc[i] = static_cast<uint8_t>(
            std::min<int64_t>(255, at * 256 / std::max<int64_t>(1, totalBytes)));
    }
}

}  // namespace

int XingTagOffset(const uint8_t* frame, const Mp3FrameHeader& h) {
    // LAME leaves the CRC out of the offset when its frames carry one, and FFmpeg reads it so.
    for (int at : {4 + h.SideInfoBytes(), 4 + (h.crc ? 2 : 0) + h.SideInfoBytes()}) {
        if (at + 8 > h.bytes) continue;
        if (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0)
            return at;
    }
    return -1;
}

uint16_t LameCrc16(const uint8_t* data, size_t size, uint16_t crc) {
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xff]);
    return crc;
}

std::optional<LameEncoding> ReadLameEncoding(const uint8_t* frame, int size) {
    const std::optional<Mp3FrameHeader> h = Mp3FrameHeader::Parse(frame);
    if (!h || h->layer != 3 || size < h->bytes) return std::nullopt;
    int at = XingTagOffset(frame, *h);
    if (at < 0) return std::nullopt;
    const uint32_t flags = ReadBigEndian32(frame + at + 4);
    at += 8;
    if (flags & 1) at += 4;
    if (flags & 2) at += 4;
    if (flags & 4) at += 100;
    if (flags & 8) at += 4;
    if (at + kLameBytes > h->bytes) return std::nullopt;
    const uint8_t* tag = frame + at;
    if (std::memcmp(tag, "LAME", 4) != 0 && std::memcmp(tag, "Lavf", 4) != 0 &&
        std::memcmp(tag, "Lavc", 4) != 0)
        return std::nullopt;
    LameEncoding e;
    std::memcpy(e.encoder.data(), tag + kEncoderAt, e.encoder.size());
    e.revisionAndMethod = tag[kRevisionAt];
    e.lowpass = tag[kLowpassAt];
    e.flagsAndAth = tag[kFlagsAt];
    e.bitrate = tag[kBitrateAt];
    e.misc = tag[kMiscAt];
    e.presetAndSurround = {tag[kPresetAt], tag[kPresetAt + 1]};
    return e;
}

std::vector<uint8_t> MakeInfoFrame(const Mp3FrameHeader& like, const Mp3InfoFields& fields) {
    const Mp3FrameHeader h = InfoHeader(like);
    std::vector<uint8_t> frame(static_cast<size_t>(h.bytes), 0);
    uint8_t* p = frame.data();
    WriteBigEndian32(p, h.raw);
    // All-zero side information: a decoder that does not know the tag plays a silent frame.
    uint8_t* x = p + XingOffset(h);
    std::memcpy(x, fields.sameBitrate ? "Info" : "Xing", 4);
    WriteBigEndian32(x + 4, kAllXingFields);
    const int64_t total = h.bytes + fields.audioBytes;
    WriteBigEndian32(x + 8, static_cast<uint32_t>(fields.frames));
    WriteBigEndian32(x + 12, static_cast<uint32_t>(total));
    WriteToc(x + 16, h.bytes, total, fields);
    WriteBigEndian32(x + 116, 0);

    uint8_t* tag = x + kXingBytes;
    // A copy without a tag of its source still needs "LAME" for FFmpeg to honour the delays.
    static constexpr std::array<uint8_t, 9> kUnknownEncoder = {'L', 'A', 'M', 'E', ' ',
                                                               ' ', ' ', ' ', ' '};
    const LameEncoding e = fields.encoding.value_or(LameEncoding{kUnknownEncoder});
    std::memcpy(tag + kEncoderAt, e.encoder.data(), e.encoder.size());
    tag[kRevisionAt] = e.revisionAndMethod;
    tag[kLowpassAt] = e.lowpass;
    tag[kFlagsAt] = e.flagsAndAth;
    tag[kBitrateAt] = e.bitrate;
    const int delay = std::clamp(fields.encoderDelay, 0, kMaxLameDelay);
    const int padding = std::clamp(fields.padding, 0, kMaxLameDelay);
    tag[kDelaysAt] = static_cast<uint8_t>(delay >> 4);
    tag[kDelaysAt + 1] = static_cast<uint8_t>(((delay & 0x0f) << 4) | (padding >> 8));
    tag[kDelaysAt + 2] = static_cast<uint8_t>(padding & 0xff);
    tag[kMiscAt] = e.misc;
    tag[kPresetAt] = e.presetAndSurround[0];
    tag[kPresetAt + 1] = e.presetAndSurround[1];
    WriteBigEndian32(tag + kMusicLengthAt, static_cast<uint32_t>(total));
    WriteBigEndian16(tag + kMusicCrcAt, fields.musicCrc);
    // The tag's own CRC covers the frame from its first byte up to the CRC field.
    const auto covered = static_cast<size_t>(tag + kTagCrcAt - p);
    WriteBigEndian16(tag + kTagCrcAt, LameCrc16(p, covered));
    return frame;
}

}  // namespace quillet
