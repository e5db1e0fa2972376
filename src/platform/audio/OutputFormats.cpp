#include "platform/audio/OutputFormats.h"

#include <QFileInfo>
#include <algorithm>
#include <array>

#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/FfmpegPtr.h"

namespace quillet {

namespace {

[[noreturn]] void Refuse(const QString& path, const QString& why) {
    throw EngineError(QStringLiteral("write"), path, why);
}

// --- MP3 -------------------------------------------------------------------------------------

// Read-only data of the MPEG audio layer III tables. LAME rounds an illegal bit rate to the
// nearest legal one without a word, so the check has to know them itself.
constexpr std::array<int, 14> kMpeg1Kbps{32,  40,  48,  56,  64,  80,  96,
                                         112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 14> kMpeg2Kbps{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr std::array<int, 8> kMpeg25Kbps{8, 16, 24, 32, 40, 48, 56, 64};

template <size_t N>
bool Contains(const std::array<int, N>& table, int value) {
    return std::find(table.begin(), table.end(), value) != table.end();
}

bool IsMpeg1Rate(int hz) { return hz == 32000 || hz == 44100 || hz == 48000; }
bool IsMpeg2Rate(int hz) { return hz == 16000 || hz == 22050 || hz == 24000; }
bool IsMpeg25Rate(int hz) { return hz == 8000 || hz == 11025 || hz == 12000; }
bool IsMp3Rate(int hz) { return IsMpeg1Rate(hz) || IsMpeg2Rate(hz) || IsMpeg25Rate(hz); }

// Variable bit rate: the VBR quality is LAME's level (-V0 .. -V9), each making its own file. The
// VBR bit rate does not change the output: FFmpeg's LAME wrapper has no bound on the bit rate of
// VBR frames to give it, and stepping the level down to meet it made most levels alike.
int Mp3VbrLevel(int vbrQuality) { return std::clamp(vbrQuality, 0, 9); }

void ValidateMp3(const OutputSettings& settings, const QString& path) {
    const auto& m = settings.mp3;
    if (m.constantBitrate && !CanMakeMp3(m.sampleRate, m.bitrate, m.channels))
        Refuse(path, QStringLiteral("MP3 cannot be made at %1 Hz, %2 kbit/s, %3 channel(s)")
                         .arg(m.sampleRate)
                         .arg(m.bitrate)
                         .arg(m.channels));
    if (!IsMp3Rate(m.sampleRate) || m.channels < 1 || m.channels > 2)
        Refuse(path, QStringLiteral("MP3 cannot be made at %1 Hz with %2 channel(s)")
                         .arg(m.sampleRate)
                         .arg(m.channels));
}

EncoderChoice ChooseMp3(const OutputSettings& settings, int, int) {
    return {"libmp3lame", AV_SAMPLE_FMT_FLTP, settings.mp3.sampleRate, settings.mp3.channels};
}

void ConfigureMp3(AVCodecContext* codec, const OutputSettings& settings) {
    const auto& m = settings.mp3;
    codec->compression_level = std::clamp(m.quality, 0, 9);
    if (m.constantBitrate) {
        codec->bit_rate = int64_t{m.bitrate} * 1000;
    } else {
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * Mp3VbrLevel(m.vbrQuality);
    }
}

// --- WAV -------------------------------------------------------------------------------------

struct PcmCodec {
    const char* name;
    AVSampleFormat format;
};

bool WavCodec(int bits, PcmCodec* out) {
    switch (bits) {
        case 8:
            *out = {"pcm_u8", AV_SAMPLE_FMT_U8};
            return true;
        case 16:
            *out = {"pcm_s16le", AV_SAMPLE_FMT_S16};
            return true;
        case 24:
            *out = {"pcm_s24le", AV_SAMPLE_FMT_S32};
            return true;
        default:
            return false;
    }
}

void ValidateWav(const OutputSettings& settings, const QString& path) {
    PcmCodec pcm{};
    if (!settings.wav) return;
    if (!WavCodec(settings.wav->bitsPerSample, &pcm))
        Refuse(path, QStringLiteral("WAV with %1 bits per sample is not supported (8, 16 or 24)")
                         .arg(settings.wav->bitsPerSample));
    if (settings.wav->sampleRate < 1 || settings.wav->sampleRate > kMaxOutputRate ||
        settings.wav->channels < 1 || settings.wav->channels > kMaxOutputChannels)
        Refuse(path, QStringLiteral("WAV cannot be made at %1 Hz with %2 channel(s)")
                         .arg(settings.wav->sampleRate)
                         .arg(settings.wav->channels));
}

EncoderChoice ChooseWav(const OutputSettings& settings, int firstRate, int firstChannels) {
    WavFormat wav{firstRate, firstChannels, 16};  // the writer's own choice
    if (settings.wav) wav = *settings.wav;
    PcmCodec pcm{};
    if (!WavCodec(wav.bitsPerSample, &pcm)) return {};
    return {pcm.name, pcm.format, wav.sampleRate, wav.channels};
}

void ConfigureNothing(AVCodecContext*, const OutputSettings&) {}

// --- WMA -------------------------------------------------------------------------------------

// The WMA profiles of the settings dialog and what FFmpeg's wmav2 encoder makes of each.
// wmav2 takes at most 2 channels, at most 48 kHz and no less than 24 kbit/s, and has no VBR
// or lossless mode: rates and channel counts are kept, lower bit rates are raised to 24, the
// VBR quality levels become the CBR rate of similar quality, lossless the highest CBR rate.
constexpr std::array<WmaConfig, kWmaProfileCount> kWmaProfiles{{
    {48000, 2, 192},  // 1  "WMA9 48KHz, 192Kbps, Stereo, CBR"
    {48000, 2, 160},  // 2  "WMA9 48KHz, 160Kbps, Stereo, CBR"
    {48000, 2, 128},  // 3  "WMA9 48KHz, 128Kbps, Stereo, CBR"
    {48000, 2, 96},   // 4  "WMA9 48KHz, 96Kbps, Stereo, CBR"
    {48000, 2, 64},   // 5  "WMA9 48KHz, 64Kbps, Stereo, CBR"
    {44100, 2, 320},  // 6  "WMA9 44KHz, 320Kbps, Stereo, CBR"
    {44100, 2, 256},  // 7  "WMA9 44KHz, 256Kbps, Stereo, CBR"
    {44100, 2, 192},  // 8  "WMA9 44KHz, 192Kbps, Stereo, CBR"
    {44100, 2, 160},  // 9  "WMA9 44KHz, 160Kbps, Stereo, CBR"
    {44100, 2, 128},  // 10 "WMA9 44KHz, 128Kbps, Stereo, CBR"
    {44100, 2, 96},   // 11 "WMA9 44KHz, 96Kbps, Stereo, CBR"
    {44100, 2, 80},   // 12 "WMA9 44KHz, 80Kbps, Stereo, CBR"
    {44100, 2, 64},   // 13 "WMA9 44KHz, 64Kbps, Stereo, CBR"
    {44100, 2, 48},   // 14 "WMA9 44KHz, 48Kbps, Stereo, CBR"
    {44100, 2, 32},   // 15 "WMA9 44KHz, 32Kbps, Stereo, CBR"
    {44100, 1, 48},   // 16 "WMA9 44KHz, 48Kbps, Mono, CBR"
    {44100, 1, 32},   // 17 "WMA9 44KHz, 32Kbps, Mono, CBR"
    {44100, 1, 24},   // 18 "WMA9 44KHz, 20Kbps, Mono, CBR"          20 -> 24
    {32000, 2, 48},   // 19 "WMA9 32KHz, 48Kbps, Stereo, CBR"
    {32000, 2, 40},   // 20 "WMA9 32KHz, 40Kbps, Stereo, CBR"
    {32000, 2, 32},   // 21 "WMA9 32KHz, 32Kbps, Stereo, CBR"
    {32000, 1, 24},   // 22 "WMA9 32KHz, 20Kbps, Mono, CBR"          20 -> 24
    {32000, 2, 32},   // 23 "WMA9 32KHz, 32Kbps, Stereo, CBR"
    {32000, 2, 24},   // 24 "WMA9 32KHz, 22Kbps, Stereo, CBR"        22 -> 24
    {22050, 2, 24},   // 25 "WMA9 22KHz, 20Kbps, Stereo, CBR"        20 -> 24
    {22050, 1, 24},   // 26 "WMA9 22KHz, 20Kbps, Mono, CBR"          20 -> 24
    {22050, 1, 24},   // 27 "WMA9 22KHz, 16Kbps, Mono, CBR"          16 -> 24
    {16000, 2, 24},   // 28 "WMA9 16KHz, 20Kbps, Stereo, CBR"        20 -> 24
    {16000, 2, 24},   // 29 "WMA9 16KHz, 16Kbps, Stereo, CBR"        16 -> 24
    {16000, 1, 24},   // 30 "WMA9 16KHz, 16Kbps, Mono, CBR"          16 -> 24
    {16000, 1, 24},   // 31 "WMA9 16KHz, 12Kbps, Mono, CBR"          12 -> 24
    {16000, 1, 24},   // 32 "WMA9 16KHz, 10Kbps, Mono, CBR"          10 -> 24
    {11025, 1, 24},   // 33 "WMA9 11KHz, 10Kbps, Mono, CBR"          10 -> 24
    {11025, 1, 24},   // 34 "WMA9 11KHz, 8Kbps, Mono, CBR"            8 -> 24
    {8000, 2, 24},    // 35 "WMA9 8KHz,  12Kbps, Stereo, CBR"        12 -> 24
    {8000, 1, 24},    // 36 "WMA9 8KHz,  8Kbps, Mono, CBR"            8 -> 24
    {8000, 1, 24},    // 37 "WMA9 8KHz,  6Kbps, Mono, CBR"            6 -> 24
    {8000, 1, 24},    // 38 "WMA9 8KHz,  5Kbps, Mono, CBR"            5 -> 24
    {48000, 2, 256},  // 39 "WMA9 48KHz, Stereo, VBR Quality 98"
    {48000, 2, 192},  // 40 "WMA9 48KHz, Stereo, VBR Quality 90"
    {44100, 2, 256},  // 41 "WMA9 44KHz, Stereo, VBR Quality 98"
    {44100, 2, 192},  // 42 "WMA9 44KHz, Stereo, VBR Quality 90"
    {44100, 2, 160},  // 43 "WMA9 44KHz, Stereo, VBR Quality 75"
    {44100, 2, 128},  // 44 "WMA9 44KHz, Stereo, VBR Quality 50"
    {44100, 2, 96},   // 45 "WMA9 44KHz, Stereo, VBR Quality 25"
    {44100, 2, 64},   // 46 "WMA9 44KHz, Stereo, VBR Quality 10"
    {44100, 2, 320},  // 47 "WMA9 44KHz, Stereo, Lossless"
}};

void ValidateWma(const OutputSettings& settings, const QString&) {
    WmaProfileConfig(settings.wmaProfile);
}

EncoderChoice ChooseWma(const OutputSettings& settings, int, int) {
    const WmaConfig wma = WmaProfileConfig(settings.wmaProfile);
    return {"wmav2", AV_SAMPLE_FMT_FLTP, wma.sampleRate, wma.channels};
}

void ConfigureWma(AVCodecContext* codec, const OutputSettings& settings) {
    codec->bit_rate = int64_t{WmaProfileConfig(settings.wmaProfile).kbps} * 1000;
}

// --- OGG -------------------------------------------------------------------------------------

// Vorbis quality from the writer's 0 (best) .. 1000 (lowest) scale to libvorbis' 0..10 scale,
// which FFmpeg takes as global_quality / FF_QP2LAMBDA: 0 -> 10, 300 -> 7, 1000 -> 0.
double VorbisQuality(int quality) { return (1000 - std::clamp(quality, 0, 1000)) / 100.0; }

// Bit-rate management of libvorbis: a minimum above the nominal rate or a maximum below it
// contradicts the nominal rate, so both bounds are widened to include it; 0 or less: no bound.
void SetVorbisBitrates(AVCodecContext* c, int kbps, int maxKbps, int minKbps) {
    c->bit_rate = int64_t{kbps} * 1000;
    c->rc_max_rate = maxKbps > 0 ? int64_t{std::max(maxKbps, kbps)} * 1000 : 0;
    c->rc_min_rate = minKbps > 0 ? int64_t{std::min(minKbps, kbps)} * 1000 : 0;
}

void ValidateOgg(const OutputSettings& settings, const QString& path) {
    const auto& o = settings.ogg;
    if (o.sampleRate < 1 || o.sampleRate > kMaxOutputRate || o.channels < 1 ||
        o.channels > kMaxOutputChannels)
        Refuse(path, QStringLiteral("OGG cannot be made at %1 Hz with %2 channel(s)")
                         .arg(o.sampleRate)
                         .arg(o.channels));
}

EncoderChoice ChooseOgg(const OutputSettings& settings, int, int) {
    return {"libvorbis", AV_SAMPLE_FMT_FLTP, settings.ogg.sampleRate, settings.ogg.channels};
}

void ConfigureOgg(AVCodecContext* codec, const OutputSettings& settings) {
    const auto& o = settings.ogg;
    if (o.quality != -1) {
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = static_cast<int>(FF_QP2LAMBDA * VorbisQuality(o.quality));
    } else {
        SetVorbisBitrates(codec, o.kbps, o.maxKbps, o.minKbps);
    }
}

}  // namespace

const std::vector<OutputFormatInfo>& OutputFormats() {
    static const std::vector<OutputFormatInfo> formats{
        {OutputKind::Mp3, ".mp3", "MP3", "MP3 Files(*.mp3)", "mp3", TagKind::Mpeg, ValidateMp3,
         ChooseMp3, ConfigureMp3, false, false},
        // Without bit-exact mode the WAV muxer puts a LIST chunk naming the encoder in front of
        // the audio data, and saving tags later makes TagLib drop that chunk by moving the whole
        // audio forward. With it the tags go to chunks after the data, written in place.
        {OutputKind::Wav, ".wav", "WAV", "WAV Files(*.wav)", "wav", TagKind::Wav, ValidateWav,
         ChooseWav, ConfigureNothing, false, true},
        // FFmpeg's WMA decoder drops the first frame of output (it only primes the overlap),
        // which would cost the first frame_size samples of the audio.
        {OutputKind::Wma, ".wma", "WMA", "WMA Files(*.wma)", "asf", TagKind::Asf, ValidateWma,
         ChooseWma, ConfigureWma, true, false},
        {OutputKind::Ogg, ".ogg", "OGG", "OGG Files(*.ogg)", "ogg", TagKind::Vorbis, ValidateOgg,
         ChooseOgg, ConfigureOgg, false, false},
    };
    return formats;
}

const OutputFormatInfo* OutputFormatAt(int index) {
    const auto& formats = OutputFormats();
    if (index < 0 || index >= static_cast<int>(formats.size())) return nullptr;
    return &formats[static_cast<size_t>(index)];
}

const OutputFormatInfo& OutputFormatOf(OutputKind kind) {
    for (const OutputFormatInfo& format : OutputFormats())
        if (format.kind == kind) return format;
    throw AudioError(QStringLiteral("No output format is known for this kind."));
}

const OutputFormatInfo* OutputFormatOfPath(const QString& path) {
    const QString suffix = QLatin1Char('.') + QFileInfo(path).suffix();
    for (const OutputFormatInfo& format : OutputFormats())
        if (suffix.compare(QLatin1String(format.extension), Qt::CaseInsensitive) == 0)
            return &format;
    return nullptr;
}

QStringList OutputFormatNames() {
    QStringList names;
    for (const OutputFormatInfo& format : OutputFormats()) names << QLatin1String(format.name);
    return names;
}

QStringList OutputSaveFilters() {
    QStringList filters;
    for (const OutputFormatInfo& format : OutputFormats())
        filters << QLatin1String(format.saveFilter);
    return filters;
}

QString OutputExtensionsText() {
    QStringList extensions;
    for (const OutputFormatInfo& format : OutputFormats())
        extensions << QLatin1String(format.extension);
    const QString last = extensions.takeLast();
    return extensions.isEmpty() ? last : extensions.join(QStringLiteral(", ")) + " or " + last;
}

bool CanMakeMp3(int sampleRate, int kbps, int channels) {
    if (channels < 1 || channels > 2) return false;
    if (IsMpeg1Rate(sampleRate)) return Contains(kMpeg1Kbps, kbps);
    if (IsMpeg2Rate(sampleRate)) return Contains(kMpeg2Kbps, kbps);
    if (IsMpeg25Rate(sampleRate)) return Contains(kMpeg25Kbps, kbps);
    return false;
}

bool CanMakeOgg(int sampleRate, int channels, int kbps, int maxKbps, int minKbps) {
    if (sampleRate < 1 || sampleRate > kMaxOutputRate || channels < 1 ||
        channels > kMaxOutputChannels || kbps < 1)
        return false;
    const AVCodec* encoder = avcodec_find_encoder_by_name("libvorbis");
    if (!encoder) return false;
    ff::CodecContextPtr c(avcodec_alloc_context3(encoder));
    if (!c) return false;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = sampleRate;
    c->time_base = AVRational{1, sampleRate};
    av_channel_layout_default(&c->ch_layout, channels);
    SetVorbisBitrates(c.get(), kbps, maxKbps, minKbps);
    return avcodec_open2(c.get(), encoder, nullptr) >= 0;
}

WmaConfig WmaProfileConfig(int profile) {
    if (profile < 1 || profile > kWmaProfileCount)
        throw AudioError(QStringLiteral("There is no WMA profile %1; profiles run from 1 to %2.")
                             .arg(profile)
                             .arg(kWmaProfileCount));
    return kWmaProfiles[static_cast<size_t>(profile - 1)];
}

}  // namespace quillet
