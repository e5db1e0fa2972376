#pragma once

#include <cstdint>
#include <optional>

namespace quillet {

// The 32-bit header before every MPEG audio frame, and the few fields of the Layer III side
// information that copying frames must know: main_data_begin (how far back the frame's main
// data starts in the bit reservoir) and the lengths of its granules' data.
struct Mp3FrameHeader {
    uint32_t raw = 0;
    int versionBits = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0;
    int bitrateIndex = 0;
    int kbps = 0;
    int sampleRate = 0;
    bool padding = false;
    bool crc = false;  // a 16-bit CRC follows the header
    bool mono = false;
    int bytes = 0;    // the whole frame, header included
    int samples = 0;  // per channel

    // None for a header that is not one (free format included: it has no size of its own).
    static std::optional<Mp3FrameHeader> Parse(uint32_t raw);
    static std::optional<Mp3FrameHeader> Parse(const uint8_t* fourBytes);

    bool Lsf() const { return versionBits != 3; }
    int Channels() const { return mono ? 1 : 2; }
    int SideInfoBytes() const;
    // Where the main data slot starts in the frame, and its size.
    int MainDataOffset() const { return 4 + (crc ? 2 : 0) + SideInfoBytes(); }
    int MainDataBytes() const { return bytes - MainDataOffset(); }
    // The reach of main_data_begin: 9 bits for MPEG-1, 8 for MPEG-2 and 2.5.
    int MaxMainDataBegin() const { return Lsf() ? 255 : 511; }
    // The same frame (version, layer, rate, channel mode and its extension, the flags) at the
    // bitrate of index, without padding and without CRC. None for an index without a size.
    std::optional<Mp3FrameHeader> WithBitrate(int index) const;
    // Version, layer, rate and channel count agree: the frames belong to one stream.
    bool SameStream(const Mp3FrameHeader& other) const;
};

// Big-endian 32 bits at p.
uint32_t ReadBigEndian32(const uint8_t* p);
void WriteBigEndian32(uint8_t* p, uint32_t value);

// Layer III side information of a whole frame (its header parsed as header).
int MainDataBegin(const uint8_t* frame, const Mp3FrameHeader& header);
// The bits of main data the frame's granules take (the sum of their part2_3_length).
int64_t MainDataBits(const uint8_t* frame, const Mp3FrameHeader& header);
// Writes main_data_begin into side information that starts at sideInfo.
void SetMainDataBegin(uint8_t* sideInfo, const Mp3FrameHeader& header, int value);

}  // namespace quillet
