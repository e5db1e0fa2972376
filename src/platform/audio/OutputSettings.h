#pragma once

#include <cstdint>
#include <optional>

#include "platform/audio/TAudioFile2LameEnc.h"

namespace quillet {

enum class OutputKind { Mp3, Wav, Wma, Ogg };

struct WavFormat {
    int sampleRate = 44100;
    int channels = 2;
    int bitsPerSample = 16;
};

struct OggFormat {
    int sampleRate = 44100;
    int channels = 2;
    int kbps = 128;
    int maxKbps = 128;
    int minKbps = 128;
    int16_t quality = -1;  // -1: no quality target, bitrates rule
};

// What a writer was last told for each kind; kept across CreateForWrite calls.
struct OutputSettings {
    TAudioFile2LameEnc::Settings mp3;
    std::optional<WavFormat> wav;  // empty: the writer chooses (the source's rate and channels)
    int wmaProfile = 10;           // 1..47
    OggFormat ogg;
};

}  // namespace quillet
