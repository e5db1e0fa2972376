#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/audio/OutputSettings.h"

struct AVCodecContext;

namespace quillet {

// How the tags of a kind of file are written (TAudioInformation2).
enum class TagKind { Mpeg, Wav, Asf, Vorbis, Other };

// What the encoder of an output file is opened with.
struct EncoderChoice {
    const char* encoder = nullptr;  // libavcodec's name
    int sampleFormat = -1;          // AVSampleFormat
    int sampleRate = 0;
    int channels = 0;
};

// Everything the engine knows of one output format. A new format is one more of these (and
// its parameters in OutputSettings).
struct OutputFormatInfo {
    OutputKind kind;
    const char* extension;   // ".mp3"
    const char* name;        // the format box's item: "MP3"
    const char* saveFilter;  // the save dialog's file type: "MP3 Files(*.mp3)"
    const char* muxer;       // libavformat's name
    TagKind tags;
    // Throws AudioError naming path when the settings cannot be made, before a file exists.
    void (*validate)(const OutputSettings& settings, const QString& path);
    // The encoder for the settings; a writer's own choice follows the first source format.
    EncoderChoice (*choose)(const OutputSettings& settings, int firstRate, int firstChannels);
    // The encoder's options (bit rate, quality), set before it is opened.
    void (*configure)(AVCodecContext* codec, const OutputSettings& settings);
    // Its decoder drops the first frame of output, so a silent one goes first.
    bool leadWithSilentFrame;
    // The muxer writes nothing of its own in front of the audio (tags go after it).
    bool bitExactMuxer;
};

// In the order of their index: 0 MP3, 1 WAV, 2 WMA, 3 OGG.
const std::vector<OutputFormatInfo>& OutputFormats();
// Null outside 0..count-1.
const OutputFormatInfo* OutputFormatAt(int index);
const OutputFormatInfo& OutputFormatOf(OutputKind kind);
// By the path's extension, in any case; null when it names no output format.
const OutputFormatInfo* OutputFormatOfPath(const QString& path);

// The format box's items, in index order.
QStringList OutputFormatNames();
// The save dialog's file types, in index order (filter index = format index + 1).
QStringList OutputSaveFilters();
// The extensions for a sentence: ".mp3, .wav, .wma or .ogg".
QString OutputExtensionsText();

// What the encoders can make.
constexpr int kMaxOutputRate = 768000;
constexpr int kMaxOutputChannels = 8;

// MPEG audio layer III: the rate, bit rate and channels are a legal combination.
bool CanMakeMp3(int sampleRate, int kbps, int channels);
// libvorbis accepts this configuration (asked, not guessed).
bool CanMakeOgg(int sampleRate, int channels, int kbps, int maxKbps, int minKbps);

// What a WMA profile number (1..kWmaProfileCount) selects; throws AudioError outside.
struct WmaConfig {
    int sampleRate;
    int channels;
    int kbps;
};
constexpr int kWmaProfileCount = 47;
WmaConfig WmaProfileConfig(int profile);

}  // namespace quillet
