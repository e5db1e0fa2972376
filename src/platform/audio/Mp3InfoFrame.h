#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/audio/Mp3FrameHeader.h"

namespace quillet {

// The LAME tag fields that describe how a stream was encoded (encoder, lowpass, flags, preset),
// carried from a source's Info frame into a copy of its frames. The fields that describe the
// source as a whole (peak, gains, lengths, CRCs, delays) are not carried.
struct LameEncoding {
    std::array<uint8_t, 9> encoder{};
    uint8_t revisionAndMethod = 0;
    uint8_t lowpass = 0;
    uint8_t flagsAndAth = 0;
    uint8_t bitrate = 0;
    uint8_t misc = 0;
    std::array<uint8_t, 2> presetAndSurround{};
};

// Where "Xing" or "Info" stands in a frame of header h, or -1 when it is no Xing/Info frame.
int XingTagOffset(const uint8_t* frame, const Mp3FrameHeader& h);

// The LAME tag of a Xing/Info frame (the whole frame), when it has one that gapless decoders
// read: FFmpeg honours the delays only after "LAME", "Lavf" or "Lavc".
std::optional<LameEncoding> ReadLameEncoding(const uint8_t* frame, int size);

// What the Info frame of a copy says.
struct Mp3InfoFields {
    int64_t frames = 0;                 // audio frames after the Info frame
    int64_t audioBytes = 0;             // their bytes
    int encoderDelay = 0;               // samples to drop at the start (12 bits)
    int padding = 0;                    // samples to drop at the end (12 bits)
    uint16_t musicCrc = 0;              // CRC-16 of the audio frames' bytes
    bool sameBitrate = true;            // "Info" (constant bitrate) rather than "Xing"
    std::vector<int64_t> frameOffsets;  // of every audio frame, from the first, for the TOC
    std::optional<LameEncoding> encoding;
};

// The delays a LAME tag can hold.
constexpr int kMaxLameDelay = 4095;

// A Xing/Info frame with a LAME tag, of the stream of `like` (version, rate, channel mode), at
// the bitrate of `like` when the tag fits in such a frame, else at the lowest bitrate it fits in.
std::vector<uint8_t> MakeInfoFrame(const Mp3FrameHeader& like, const Mp3InfoFields& fields);

// The CRC of the LAME tag and of its music CRC field: CRC-16 with polynomial 0x8005, bits taken
// least significant first, starting from crc.
uint16_t LameCrc16(const uint8_t* data, size_t size, uint16_t crc = 0);

}  // namespace quillet
