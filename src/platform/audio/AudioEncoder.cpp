#include "platform/audio/AudioEncoder.h"

#include <fcntl.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/FfmpegPtr.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace quillet {

namespace {

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

// Average bit rates of LAME's VBR levels -V0..-V9 at 44.1 kHz stereo, from LAME's own
// documentation of its presets. The VBR bit rate caps the expected average: a level whose
// average lies above it is stepped down (FFmpeg's wrapper offers no per-frame maximum).
constexpr std::array<int, 10> kLameVbrAverageKbps{245, 225, 190, 175, 165, 130, 115, 100, 85, 65};

int Mp3VbrLevel(int vbrQuality, int vbrKbps) {
    int level = std::clamp(vbrQuality, 0, 9);
    while (level < 9 && kLameVbrAverageKbps[static_cast<size_t>(level)] > vbrKbps) ++level;
    return level;
}

// The WMA profiles of the settings dialog and what FFmpeg's wmav2 encoder makes of each.
// wmav2 takes at most 2 channels, at most 48 kHz and no less than 24 kbit/s, and has no VBR
// or lossless mode: rates and channel counts are kept, lower bit rates are raised to 24, the
// VBR quality levels become the CBR rate of similar quality, lossless the highest CBR rate.
constexpr std::array<AudioEncoder::WmaConfig, AudioEncoder::WmaProfileCount> kWmaProfiles{{
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

constexpr int kMaxRate = 768000;
constexpr int kMaxChannels = 8;
constexpr int kIoBufferSize = 64 * 1024;
constexpr int kPcmFrameSize = 4096;  // PCM has no codec frame; this bounds one frame's memory

const char* MuxerName(OutputKind kind) {
    switch (kind) {
        case OutputKind::Mp3:
            return "mp3";
        case OutputKind::Wav:
            return "wav";
        case OutputKind::Wma:
            return "asf";
        case OutputKind::Ogg:
            return "ogg";
    }
    return "";
}

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

ff::CodecContextPtr NewCodecContext(const char* name, const AVCodec** codec) {
    *codec = avcodec_find_encoder_by_name(name);
    if (!*codec) return nullptr;
    return ff::CodecContextPtr(avcodec_alloc_context3(*codec));
}

// Dirty data beyond this is handed to the disk while writing, so that the sync of the commit
// (which runs on the window's thread) waits for little more than the last stretch.
constexpr int64_t kWritebackBytes = 4 << 20;

// The output file as libavformat sees it.
struct OutputFile {
    explicit OutputFile(const QString& path) : file(path) {}
    QSaveFile file;
    int64_t writebackFrom = 0;  // the start of what has been written but not handed to the disk

    void StartWriteback() {
        const int64_t end = file.pos();
        if (end - writebackFrom < kWritebackBytes) return;
        // Only starts the writing and does not wait for it; a failure here changes nothing, the
        // commit's sync still covers the whole file.
        ::sync_file_range(file.handle(), writebackFrom, end - writebackFrom, SYNC_FILE_RANGE_WRITE);
        writebackFrom = end;
    }
};

int WriteToFile(void* opaque, uint8_t* data, int size) {
    auto* out = static_cast<OutputFile*>(opaque);
    errno = 0;
    if (out->file.write(reinterpret_cast<const char*>(data), size) != size)
        return AVERROR(errno ? errno : EIO);
    out->StartWriteback();
    return size;
}

int64_t SeekInFile(void* opaque, int64_t offset, int whence) {
    QSaveFile* file = &static_cast<OutputFile*>(opaque)->file;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return file->size();
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += file->pos();
            break;
        case SEEK_END:
            offset += file->size();
            break;
        default:
            return AVERROR(EINVAL);
    }
    return file->seek(offset) ? offset : AVERROR(EIO);
}

QString KindName(OutputKind kind) {
    switch (kind) {
        case OutputKind::Mp3:
            return QStringLiteral("MP3");
        case OutputKind::Wav:
            return QStringLiteral("WAV");
        case OutputKind::Wma:
            return QStringLiteral("WMA");
        case OutputKind::Ogg:
            return QStringLiteral("OGG");
    }
    return {};
}

}  // namespace

struct AudioEncoder::Impl {
    Impl(const QString& p, OutputKind k, const OutputSettings& s)
        : path(p), kind(k), settings(s), output(p) {}

    QString path;
    OutputKind kind;
    OutputSettings settings;

    // Written beside the target and renamed over it by Finish: a failed or abandoned file
    // never replaces what was there, and an input being read is never truncated.
    OutputFile output;
    QSaveFile& file = output.file;
    ff::CustomIoPtr io;
    ff::OutputContextPtr muxer;
    ff::CodecContextPtr codec;
    AVStream* stream = nullptr;
    ff::SwrPtr swr;
    ff::FifoPtr fifo;
    ff::FramePtr frame;
    ff::FramePtr converted;
    ff::PacketPtr packet;
    int frameSize = 0;
    bool anyFrameSize = false;  // the encoder takes frames of any length (PCM)
    int sourceRate = 0;
    int sourceChannels = 0;
    int64_t nextPts = 0;
    bool finished = false;
    bool broken = false;  // an earlier failure left the pipeline in an unknown state

    // Runs one step of the public interface; after a failure every later step refuses.
    template <typename Step>
    void Guarded(Step step) {
        if (broken) Refuse(QStringLiteral("an earlier error stopped the writing"));
        try {
            step();
        } catch (...) {
            broken = true;
            throw;
        }
    }

    [[noreturn]] void Fail(const QString& purpose, int code) const {
        if (file.error() != QFileDevice::NoError)
            throw AudioError(
                QStringLiteral("Unable to %1 \"%2\": %3.").arg(purpose, path, file.errorString()));
        throw FfmpegError(purpose, path, code);
    }
    void Check(int code, const char* purpose) const {
        if (code < 0) Fail(QString::fromUtf8(purpose), code);
    }
    [[noreturn]] void Refuse(const QString& why) const {
        throw AudioError(QStringLiteral("Unable to write \"%1\": %2.").arg(path, why));
    }

    void ValidateSettings() const;
    void CreateFile();
    void OpenEncoder(int firstRate, int firstChannels);
    void LeadWithSilentFrame();
    void ConfigureCodec(int firstRate, int firstChannels);
    void MakeResampler(int rate, int channels);
    void DrainResampler();
    void Convert(const float* interleaved, int frames);
    void EncodeFromFifo(bool all);
    void Encode(AVFrame* input);
};

void AudioEncoder::Impl::ValidateSettings() const {
    switch (kind) {
        case OutputKind::Mp3: {
            const auto& m = settings.mp3;
            if (m.constantBitrate && !CheckMp3(m.sampleRate, m.bitrate, m.channels))
                Refuse(QStringLiteral("MP3 cannot be made at %1 Hz, %2 kbit/s, %3 channel(s)")
                           .arg(m.sampleRate)
                           .arg(m.bitrate)
                           .arg(m.channels));
            if (!IsMp3Rate(m.sampleRate) || m.channels < 1 || m.channels > 2)
                Refuse(QStringLiteral("MP3 cannot be made at %1 Hz with %2 channel(s)")
                           .arg(m.sampleRate)
                           .arg(m.channels));
            break;
        }
        case OutputKind::Wav: {
            PcmCodec pcm{};
            if (!settings.wav) break;
            if (!WavCodec(settings.wav->bitsPerSample, &pcm))
                Refuse(QStringLiteral("WAV with %1 bits per sample is not supported (8, 16 or 24)")
                           .arg(settings.wav->bitsPerSample));
            if (settings.wav->sampleRate < 1 || settings.wav->sampleRate > kMaxRate ||
                settings.wav->channels < 1 || settings.wav->channels > kMaxChannels)
                Refuse(QStringLiteral("WAV cannot be made at %1 Hz with %2 channel(s)")
                           .arg(settings.wav->sampleRate)
                           .arg(settings.wav->channels));
            break;
        }
        case OutputKind::Wma:
            WmaProfile(settings.wmaProfile);
            break;
        case OutputKind::Ogg: {
            const auto& o = settings.ogg;
            if (o.sampleRate < 1 || o.sampleRate > kMaxRate || o.channels < 1 ||
                o.channels > kMaxChannels)
                Refuse(QStringLiteral("OGG cannot be made at %1 Hz with %2 channel(s)")
                           .arg(o.sampleRate)
                           .arg(o.channels));
            break;
        }
    }
}

void AudioEncoder::Impl::CreateFile() {
    const QFileInfo info(path);
    if (!info.dir().exists())
        Refuse(QStringLiteral("the folder \"%1\" does not exist").arg(info.absolutePath()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw AudioError(
            QStringLiteral("Unable to create \"%1\": %2.").arg(path, file.errorString()));

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) Fail(QStringLiteral("create"), AVERROR(ENOMEM));
    io.reset(
        avio_alloc_context(buffer, kIoBufferSize, 1, &output, nullptr, WriteToFile, SeekInFile));
    if (!io) {
        av_free(buffer);
        Fail(QStringLiteral("create"), AVERROR(ENOMEM));
    }

    AVFormatContext* raw = nullptr;
    Check(avformat_alloc_output_context2(&raw, nullptr, MuxerName(kind), nullptr),
          "prepare the output of");
    muxer.reset(raw);
    muxer->pb = io.get();
    muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Without it the WAV muxer puts a LIST chunk naming the encoder in front of the audio data,
    // and saving tags later makes TagLib drop that chunk by moving the whole audio forward.
    // With it the tags go to chunks after the data, written in place.
    if (kind == OutputKind::Wav) muxer->flags |= AVFMT_FLAG_BITEXACT;
}

void AudioEncoder::Impl::ConfigureCodec(int firstRate, int firstChannels) {
    const AVCodec* encoder = nullptr;
    AVSampleFormat format = AV_SAMPLE_FMT_FLTP;
    int rate = 0;
    int channels = 0;
    switch (kind) {
        case OutputKind::Mp3: {
            const auto& m = settings.mp3;
            codec = NewCodecContext("libmp3lame", &encoder);
            if (!codec) break;
            rate = m.sampleRate;
            channels = m.channels;
            codec->compression_level = std::clamp(m.quality, 0, 9);
            if (m.constantBitrate) {
                codec->bit_rate = int64_t{m.bitrate} * 1000;
            } else {
                codec->flags |= AV_CODEC_FLAG_QSCALE;
                codec->global_quality = FF_QP2LAMBDA * Mp3VbrLevel(m.vbrQuality, m.vbrBitrate);
            }
            break;
        }
        case OutputKind::Wav: {
            WavFormat wav{firstRate, firstChannels, 16};  // the writer's own choice
            if (settings.wav) wav = *settings.wav;
            PcmCodec pcm{};
            WavCodec(wav.bitsPerSample, &pcm);
            codec = NewCodecContext(pcm.name, &encoder);
            format = pcm.format;
            rate = wav.sampleRate;
            channels = wav.channels;
            break;
        }
        case OutputKind::Wma: {
            const WmaConfig wma = WmaProfile(settings.wmaProfile);
            codec = NewCodecContext("wmav2", &encoder);
            if (!codec) break;
            rate = wma.sampleRate;
            channels = wma.channels;
            codec->bit_rate = int64_t{wma.kbps} * 1000;
            break;
        }
        case OutputKind::Ogg: {
            const auto& o = settings.ogg;
            codec = NewCodecContext("libvorbis", &encoder);
            if (!codec) break;
            rate = o.sampleRate;
            channels = o.channels;
            if (o.quality != -1) {
                codec->flags |= AV_CODEC_FLAG_QSCALE;
                codec->global_quality = static_cast<int>(FF_QP2LAMBDA * VorbisQuality(o.quality));
            } else {
                SetVorbisBitrates(codec.get(), o.kbps, o.maxKbps, o.minKbps);
            }
            break;
        }
    }
    if (!codec) Refuse(QStringLiteral("no %1 encoder is available").arg(KindName(kind)));

    codec->sample_fmt = format;
    codec->sample_rate = rate;
    codec->time_base = AVRational{1, rate};
    av_channel_layout_default(&codec->ch_layout, channels);
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(codec.get(), encoder, nullptr), "start the encoder for");
}

void AudioEncoder::Impl::OpenEncoder(int firstRate, int firstChannels) {
    ConfigureCodec(firstRate, firstChannels);

    stream = avformat_new_stream(muxer.get(), nullptr);
    if (!stream) Fail(QStringLiteral("prepare the output of"), AVERROR(ENOMEM));
    stream->time_base = codec->time_base;
    Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "prepare the output of");
    Check(avformat_write_header(muxer.get(), nullptr), "write the header of");

    frameSize = codec->frame_size > 0 ? codec->frame_size : kPcmFrameSize;
    anyFrameSize = codec->frame_size <= 0;
    fifo.reset(av_audio_fifo_alloc(codec->sample_fmt, codec->ch_layout.nb_channels, frameSize));
    frame.reset(av_frame_alloc());
    converted.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!fifo || !frame || !converted || !packet) Fail(QStringLiteral("encode"), AVERROR(ENOMEM));
    if (kind == OutputKind::Wma) LeadWithSilentFrame();
}

// FFmpeg's WMA decoder drops the first frame of output (it only primes the overlap), which
// would cost the first frame_size samples of the audio: a frame of silence goes first instead.
void AudioEncoder::Impl::LeadWithSilentFrame() {
    av_frame_unref(frame.get());
    frame->format = codec->sample_fmt;
    frame->nb_samples = frameSize;
    Check(av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout), "encode");
    Check(av_frame_get_buffer(frame.get(), 0), "encode");
    Check(av_samples_set_silence(frame->data, 0, frameSize, codec->ch_layout.nb_channels,
                                 codec->sample_fmt),
          "encode");
    Check(av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(frame->data), frameSize),
          "encode");
}

void AudioEncoder::Impl::MakeResampler(int rate, int channels) {
    AVChannelLayout in{};
    av_channel_layout_default(&in, channels);
    SwrContext* raw = nullptr;
    Check(swr_alloc_set_opts2(&raw, &codec->ch_layout, codec->sample_fmt, codec->sample_rate, &in,
                              AV_SAMPLE_FMT_FLT, rate, 0, nullptr),
          "prepare the conversion for");
    ff::SwrPtr next(raw);
    av_channel_layout_uninit(&in);
    // A downmix never exceeds full scale; mono spreads to every output channel at full level
    // (the default would lower it by 3 dB).
    av_opt_set_double(next.get(), "rematrix_maxval", 1.0, 0);
    const int outChannels = codec->ch_layout.nb_channels;
    if (channels == 1 && outChannels > 1) {
        std::vector<double> matrix(static_cast<size_t>(outChannels), 1.0);
        Check(swr_set_matrix(next.get(), matrix.data(), 1), "prepare the conversion for");
    }
    Check(swr_init(next.get()), "prepare the conversion for");
    swr = std::move(next);
    sourceRate = rate;
    sourceChannels = channels;
}

// Converts into the fifo; null input drains what the resampler still holds. PCM takes frames of
// any length, so there the conversion goes straight into the frame the encoder gets.
void AudioEncoder::Impl::Convert(const float* interleaved, int frames) {
    const int capacity = swr_get_out_samples(swr.get(), frames);
    Check(capacity, "convert the audio for");
    if (capacity == 0) return;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(interleaved);
    if (anyFrameSize && av_audio_fifo_size(fifo.get()) == 0) {
        av_frame_unref(frame.get());
        frame->format = codec->sample_fmt;
        frame->nb_samples = capacity;
        frame->sample_rate = codec->sample_rate;
        Check(av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout), "encode");
        Check(av_frame_get_buffer(frame.get(), 0), "encode");
        const int made = swr_convert(swr.get(), frame->data, capacity, interleaved ? &in : nullptr,
                                     interleaved ? frames : 0);
        Check(made, "convert the audio for");
        if (made == 0) return;
        frame->nb_samples = made;
        frame->pts = nextPts;
        nextPts += made;
        Encode(frame.get());
        return;
    }
    if (converted->nb_samples < capacity) {
        av_frame_unref(converted.get());
        converted->format = codec->sample_fmt;
        converted->nb_samples = capacity;
        Check(av_channel_layout_copy(&converted->ch_layout, &codec->ch_layout),
              "convert the audio for");
        Check(av_frame_get_buffer(converted.get(), 0), "convert the audio for");
    }
    const int made = swr_convert(swr.get(), converted->data, capacity, interleaved ? &in : nullptr,
                                 interleaved ? frames : 0);
    Check(made, "convert the audio for");
    if (made > 0)
        Check(av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted->data), made),
              "convert the audio for");
}

void AudioEncoder::Impl::DrainResampler() {
    if (!swr) return;
    Convert(nullptr, 0);
}

void AudioEncoder::Impl::EncodeFromFifo(bool all) {
    while (av_audio_fifo_size(fifo.get()) >= frameSize ||
           (all && av_audio_fifo_size(fifo.get()) > 0)) {
        // The last frame may be short: encoders that need whole frames get it padded by
        // libavcodec, the others (LAME, Vorbis) record the true end in the container.
        const int count = std::min(av_audio_fifo_size(fifo.get()), frameSize);
        av_frame_unref(frame.get());
        frame->format = codec->sample_fmt;
        frame->nb_samples = count;
        frame->sample_rate = codec->sample_rate;
        Check(av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout), "encode");
        Check(av_frame_get_buffer(frame.get(), 0), "encode");
        Check(av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), count),
              "encode");
        frame->pts = nextPts;
        nextPts += count;
        Encode(frame.get());
    }
}

void AudioEncoder::Impl::Encode(AVFrame* input) {
    Check(avcodec_send_frame(codec.get(), input), "encode");
    for (;;) {
        const int got = avcodec_receive_packet(codec.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        Check(got, "encode");
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const int written = av_write_frame(muxer.get(), packet.get());
        av_packet_unref(packet.get());
        Check(written, "write");
    }
}

AudioEncoder::AudioEncoder(const QString& path, OutputKind kind, const OutputSettings& settings)
    : d_(std::make_unique<Impl>(path, kind, settings)) {
    d_->ValidateSettings();
    d_->CreateFile();
}

AudioEncoder::~AudioEncoder() = default;

void AudioEncoder::SetSourceFormat(int sampleRate, int channels) {
    Impl& d = *d_;
    if (d.finished) d.Refuse(QStringLiteral("the file is already complete"));
    if (sampleRate < 1 || sampleRate > kMaxRate || channels < 1 || channels > kMaxChannels)
        d.Refuse(QStringLiteral("the source format %1 Hz with %2 channel(s) is not supported")
                     .arg(sampleRate)
                     .arg(channels));
    d.Guarded([&] {
        if (!d.codec) d.OpenEncoder(sampleRate, channels);
        if (d.swr && sampleRate == d.sourceRate && channels == d.sourceChannels) return;
        d.DrainResampler();
        d.MakeResampler(sampleRate, channels);
        d.EncodeFromFifo(false);
    });
}

void AudioEncoder::Write(const float* interleaved, int64_t frames) {
    Impl& d = *d_;
    if (d.finished) d.Refuse(QStringLiteral("the file is already complete"));
    if (!d.swr) d.Refuse(QStringLiteral("no source format was announced"));
    d.Guarded([&] {
        // Chunks keep the conversion buffer bounded whatever the caller hands over.
        const int64_t chunk = d.anyFrameSize ? kPcmFrameSize : 1 << 16;
        while (frames > 0) {
            const int64_t n = std::min(frames, chunk);
            d.Convert(interleaved, static_cast<int>(n));
            d.EncodeFromFifo(false);
            interleaved += n * d.sourceChannels;
            frames -= n;
        }
    });
}

void AudioEncoder::Finish() {
    Impl& d = *d_;
    if (d.finished) return;
    d.Guarded([&] {
        d.finished = true;  // a failed Finish is not retried; the destructor discards the file
        if (!d.codec) {
            const WavFormat fallback;
            d.OpenEncoder(fallback.sampleRate, fallback.channels);
        }
        d.DrainResampler();
        d.EncodeFromFifo(true);
        d.Encode(nullptr);
        d.Check(av_write_trailer(d.muxer.get()), "finish");
        avio_flush(d.io.get());
        d.Check(d.io->error, "write");
        if (!d.file.commit())
            throw AudioError(
                QStringLiteral("Unable to save \"%1\": %2.").arg(d.path, d.file.errorString()));
    });
}

bool AudioEncoder::CheckMp3(int sampleRate, int kbps, int channels) {
    if (channels < 1 || channels > 2) return false;
    if (IsMpeg1Rate(sampleRate)) return Contains(kMpeg1Kbps, kbps);
    if (IsMpeg2Rate(sampleRate)) return Contains(kMpeg2Kbps, kbps);
    if (IsMpeg25Rate(sampleRate)) return Contains(kMpeg25Kbps, kbps);
    return false;
}

bool AudioEncoder::CheckOgg(int sampleRate, int channels, int kbps, int maxKbps, int minKbps) {
    if (sampleRate < 1 || sampleRate > kMaxRate || channels < 1 || channels > kMaxChannels ||
        kbps < 1)
        return false;
    const AVCodec* encoder = nullptr;
    ff::CodecContextPtr c = NewCodecContext("libvorbis", &encoder);
    if (!c) return false;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = sampleRate;
    c->time_base = AVRational{1, sampleRate};
    av_channel_layout_default(&c->ch_layout, channels);
    SetVorbisBitrates(c.get(), kbps, maxKbps, minKbps);
    return avcodec_open2(c.get(), encoder, nullptr) >= 0;
}

AudioEncoder::WmaConfig AudioEncoder::WmaProfile(int profile) {
    if (profile < 1 || profile > WmaProfileCount)
        throw AudioError(QStringLiteral("There is no WMA profile %1; profiles run from 1 to %2.")
                             .arg(profile)
                             .arg(WmaProfileCount));
    return kWmaProfiles[static_cast<size_t>(profile - 1)];
}

}  // namespace quillet
