#include "platform/audio/AudioEncoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "common/FileNames.h"
#include "common/WorkerThread.h"
#include "platform/audio/AsfHeader.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/FfmpegPtr.h"
#include "platform/audio/OutputFormats.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace quillet {

namespace {

constexpr int kIoBufferSize = 64 * 1024;
constexpr int kPcmFrameSize = 4096;  // PCM has no codec frame; this bounds one frame's memory
// Converted audio waiting for the encoding stage: under a second of it, so that a Stop, which
// waits for it, is not held up.
constexpr size_t kStageQueueBytes = 256 << 10;
constexpr size_t kStageBatchBytes = 96 << 10;

ff::CodecContextPtr NewCodecContext(const char* name, const AVCodec** codec) {
    *codec = avcodec_find_encoder_by_name(name);
    if (!*codec) return nullptr;
    return ff::CodecContextPtr(avcodec_alloc_context3(*codec));
}

// The speaker positions of an array of n channels: the usual layout for n speakers (Vorbis'
// own), in the WAVE order the decoder delivers, so that channels pass through Cut and Join in
// place. FFmpeg's default layouts differ for 3 and 4 channels (2.1 and 4.0).
void CanonicalLayout(AVChannelLayout* layout, int channels) {
    static constexpr uint64_t kMasks[] = {AV_CH_LAYOUT_MONO,         AV_CH_LAYOUT_STEREO,
                                          AV_CH_LAYOUT_SURROUND,     AV_CH_LAYOUT_QUAD,
                                          AV_CH_LAYOUT_5POINT0_BACK, AV_CH_LAYOUT_5POINT1_BACK,
                                          AV_CH_LAYOUT_6POINT1,      AV_CH_LAYOUT_7POINT1};
    av_channel_layout_uninit(layout);
    if (channels >= 1 && channels <= 8)
        av_channel_layout_from_mask(layout, kMasks[channels - 1]);
    else
        av_channel_layout_default(layout, channels);
}

// Dirty data beyond this is handed to the disk while writing, so that the sync of the commit
// (which runs on the window's thread) waits for little more than the last stretch.
constexpr int64_t kWritebackBytes = 4 << 20;

// The output file as libavformat sees it: a pending file beside the target.
struct OutputFile {
    PendingFile file;
    int64_t pos = 0;            // where the next write goes
    int64_t size = 0;           // bytes written so far, up to the furthest
    int error = 0;              // errno of the first failed write
    int64_t writebackFrom = 0;  // the start of what has been written but not handed to the disk

    void StartWriteback() {
        if (size - writebackFrom < kWritebackBytes) return;
        // Only starts the writing and does not wait for it; a failure here changes nothing, the
        // commit's sync still covers the whole file.
        ::sync_file_range(file.Handle(), writebackFrom, size - writebackFrom,
                          SYNC_FILE_RANGE_WRITE);
        writebackFrom = size;
    }
};

int WriteToFile(void* opaque, uint8_t* data, int size) {
    auto* out = static_cast<OutputFile*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n = ::pwrite(out->file.Handle(), data + done,
                                   static_cast<size_t>(size - done), out->pos + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            out->error = n < 0 ? errno : EIO;
            return AVERROR(out->error);
        }
        done += static_cast<int>(n);
    }
    out->pos += size;
    out->size = std::max(out->size, out->pos);
    out->StartWriteback();
    return size;
}

int64_t SeekInFile(void* opaque, int64_t offset, int whence) {
    auto* out = static_cast<OutputFile*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return out->size;
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += out->pos;
            break;
        case SEEK_END:
            offset += out->size;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    out->pos = offset;
    return offset;
}

}  // namespace

struct AudioEncoder::Impl {
    Impl(const QString& p, OutputKind k, const OutputSettings& s)
        : path(p), format(OutputFormatOf(k)), settings(s) {}

    QString path;
    const OutputFormatInfo& format;
    OutputSettings settings;

    // Written beside the target and renamed over it once complete: a failed or abandoned file
    // never replaces what was there, and an input being read is never truncated.
    OutputFile output;
    ff::CustomIoPtr io;
    ff::OutputContextPtr muxer;
    ff::CodecContextPtr codec;
    AVStream* stream = nullptr;
    ff::SwrPtr swr;
    ff::FifoPtr fifo;
    ff::FramePtr converted;
    ff::PacketPtr packet;
    int frameSize = 0;
    bool anyFrameSize = false;  // the encoder takes frames of any length (PCM)
    int sourceRate = 0;
    int sourceChannels = 0;
    int64_t nextPts = 0;
    int64_t audioFrames = 0;  // of a WMA file: what came in, without its silent frames
    bool finished = false;
    bool broken = false;  // an earlier failure left the pipeline in an unknown state

    // Frames converted and not yet handed to the encoding stage.
    std::vector<ff::FramePtr> batch;
    size_t batchBytes = 0;
    // The encoder and the muxer run here, behind the conversion, so that resampling and the
    // codec share the cores. Its tasks use codec, muxer, packet and output; the caller touches
    // them only after a Drain. Last: it ends before what it works on goes.
    std::unique_ptr<WorkerThread> stage;

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
        if (output.error != 0) throw SystemError(purpose, path, output.error);
        throw FfmpegError(purpose, path, code);
    }
    void Check(int code, const char* purpose) const {
        if (code < 0) Fail(QString::fromUtf8(purpose), code);
    }
    [[noreturn]] void Refuse(const QString& why) const {
        throw EngineError(QStringLiteral("write"), path, why);
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
    // Queues a converted frame for the encoding stage.
    void Queue(ff::FramePtr input);
    // Hands the queued frames to the encoding stage; raises what failed there meanwhile.
    void SubmitBatch();
    // Waits until the stage has encoded everything queued; raises its failure.
    void DrainStage();
    ff::FramePtr NewFrame(int samples);
    void Encode(AVFrame* input);
    void GiveEmptyFileASample();
    // Silence into the fifo, ahead of what comes after it.
    void QueueSilence(int samples);
    void RecordWmaLength();
};

// MP3 and Ogg Vorbis without a single sample are files no reader opens (LAME writes no frame,
// libvorbis no audio page): an empty stretch becomes one frame of silence.
void AudioEncoder::Impl::GiveEmptyFileASample() {
    if (nextPts != 0 || av_audio_fifo_size(fifo.get()) != 0) return;
    if (format.kind != OutputKind::Mp3 && format.kind != OutputKind::Ogg) return;
    QueueSilence(1);
}

void AudioEncoder::Impl::QueueSilence(int samples) {
    const ff::FramePtr silence = NewFrame(samples);
    Check(av_samples_set_silence(silence->data, 0, samples, codec->ch_layout.nb_channels,
                                 codec->sample_fmt),
          "encode");
    Check(av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(silence->data), samples),
          "encode");
}

// WMA is coded in whole frames, so the stream is longer than the audio; the exact length goes
// into the play duration of the header (in 100 ns units, after the preroll), which the muxer
// fills from millisecond stamps.
void AudioEncoder::Impl::RecordWmaLength() {
    if (format.kind != OutputKind::Wma) return;
    const std::optional<AsfDuration> where = ReadAsfDuration(output.file.Handle());
    if (!where || where->broadcast) return;
    const int64_t audio = std::max<int64_t>(audioFrames, 0);
    const int64_t exact =
        where->prerollMs * 10000 + av_rescale(audio, 10000000, codec->sample_rate);
    if (!WriteAsfPlayDuration(output.file.Handle(), *where, exact))
        throw SystemError(QStringLiteral("finish"), path, errno ? errno : EIO);
}

void AudioEncoder::Impl::ValidateSettings() const { format.validate(settings, path); }

void AudioEncoder::Impl::CreateFile() {
    const QString absolute = AbsoluteFilePath(path);
    const QString folder = absolute.left(std::max<qsizetype>(absolute.lastIndexOf('/'), 1));
    if (!StatFile(folder).IsFolder())
        Refuse(QStringLiteral("the folder \"%1\" does not exist").arg(folder));
    output.file = PendingFile::Create(path);

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) Fail(QStringLiteral("create"), AVERROR(ENOMEM));
    io.reset(
        avio_alloc_context(buffer, kIoBufferSize, 1, &output, nullptr, WriteToFile, SeekInFile));
    if (!io) {
        av_free(buffer);
        Fail(QStringLiteral("create"), AVERROR(ENOMEM));
    }

    AVFormatContext* raw = nullptr;
    Check(avformat_alloc_output_context2(&raw, nullptr, format.muxer, nullptr),
          "prepare the output of");
    muxer.reset(raw);
    muxer->pb = io.get();
    muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (format.bitExactMuxer) muxer->flags |= AVFMT_FLAG_BITEXACT;
}

void AudioEncoder::Impl::ConfigureCodec(int firstRate, int firstChannels) {
    const EncoderChoice choice = format.choose(settings, firstRate, firstChannels);
    const AVCodec* encoder = nullptr;
    if (choice.encoder) codec = NewCodecContext(choice.encoder, &encoder);
    if (!codec)
        Refuse(QStringLiteral("no %1 encoder is available").arg(QLatin1String(format.name)));
    format.configure(codec.get(), settings);
    codec->sample_fmt = static_cast<AVSampleFormat>(choice.sampleFormat);
    codec->sample_rate = choice.sampleRate;
    codec->time_base = AVRational{1, choice.sampleRate};
    CanonicalLayout(&codec->ch_layout, choice.channels);
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
    converted.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!fifo || !converted || !packet) Fail(QStringLiteral("encode"), AVERROR(ENOMEM));
    stage = std::make_unique<WorkerThread>(kStageQueueBytes);
    if (format.leadWithSilentFrame) LeadWithSilentFrame();
}

// For a decoder that drops its first frame of output: a frame of silence goes first.
void AudioEncoder::Impl::LeadWithSilentFrame() { QueueSilence(frameSize); }

void AudioEncoder::Impl::MakeResampler(int rate, int channels) {
    AVChannelLayout in{};
    CanonicalLayout(&in, channels);
    SwrContext* raw = nullptr;
    Check(swr_alloc_set_opts2(&raw, &codec->ch_layout, codec->sample_fmt, codec->sample_rate, &in,
                              AV_SAMPLE_FMT_FLT, rate, 0, nullptr),
          "prepare the conversion for");
    ff::SwrPtr next(raw);
    av_channel_layout_uninit(&in);
    // A downmix never exceeds full scale. Otherwise FFmpeg's standard matrix applies (mono is
    // the centre, and goes to the centre of 5.1, not to its LFE), except that mono to stereo
    // goes to both sides at full level (the standard would lower it by 3 dB).
    av_opt_set_double(next.get(), "rematrix_maxval", 1.0, 0);
    const int outChannels = codec->ch_layout.nb_channels;
    if (channels == 1 && outChannels == 2) {
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
        ff::FramePtr direct = NewFrame(capacity);
        const int made = swr_convert(swr.get(), direct->data, capacity, interleaved ? &in : nullptr,
                                     interleaved ? frames : 0);
        Check(made, "convert the audio for");
        if (made == 0) return;
        direct->nb_samples = made;
        direct->pts = nextPts;
        nextPts += made;
        Queue(std::move(direct));
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
        ff::FramePtr next = NewFrame(count);
        Check(av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(next->data), count),
              "encode");
        next->pts = nextPts;
        nextPts += count;
        Queue(std::move(next));
    }
}

ff::FramePtr AudioEncoder::Impl::NewFrame(int samples) {
    ff::FramePtr made(av_frame_alloc());
    if (!made) Fail(QStringLiteral("encode"), AVERROR(ENOMEM));
    made->format = codec->sample_fmt;
    made->nb_samples = samples;
    made->sample_rate = codec->sample_rate;
    Check(av_channel_layout_copy(&made->ch_layout, &codec->ch_layout), "encode");
    Check(av_frame_get_buffer(made.get(), 0), "encode");
    return made;
}

void AudioEncoder::Impl::Queue(ff::FramePtr input) {
    batchBytes += static_cast<size_t>(input->nb_samples) *
                  static_cast<size_t>(codec->ch_layout.nb_channels) *
                  static_cast<size_t>(av_get_bytes_per_sample(codec->sample_fmt));
    batch.push_back(std::move(input));
}

void AudioEncoder::Impl::SubmitBatch() {
    if (batch.empty()) return;
    // std::function copies what it holds; the frames are shared instead, and used once.
    auto frames = std::make_shared<std::vector<ff::FramePtr>>(std::move(batch));
    batch.clear();
    const size_t weight = std::exchange(batchBytes, 0);
    // Plain waits: this runs inside a write, which must not handle the window's events.
    stage->Post(
        [this, frames] {
            for (ff::FramePtr& input : *frames) {
                Encode(input.get());
                input.reset();
            }
        },
        weight, Wait::Plain);
}

void AudioEncoder::Impl::DrainStage() {
    SubmitBatch();
    stage->Drain(Wait::Plain);
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
    if (sampleRate < 1 || sampleRate > kMaxOutputRate || channels < 1 ||
        channels > kMaxOutputChannels)
        d.Refuse(QStringLiteral("the source format %1 Hz with %2 channel(s) is not supported")
                     .arg(sampleRate)
                     .arg(channels));
    d.Guarded([&] {
        if (!d.codec) d.OpenEncoder(sampleRate, channels);
        if (d.swr && sampleRate == d.sourceRate && channels == d.sourceChannels) return;
        d.DrainResampler();
        d.MakeResampler(sampleRate, channels);
        d.EncodeFromFifo(false);
        d.SubmitBatch();
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
            // In batches of some size: each hand-over is a wake-up of the other thread.
            if (d.batchBytes >= kStageBatchBytes) d.SubmitBatch();
            interleaved += n * d.sourceChannels;
            frames -= n;
        }
    });
}

void AudioEncoder::Flush() {
    Impl& d = *d_;
    if (d.finished) d.Refuse(QStringLiteral("the file is already complete"));
    d.Guarded([&] {
        if (d.stage) d.DrainStage();
    });
}

void AudioEncoder::Finish() {
    if (d_->finished) return;
    FinishPending().Commit();
}

PendingFile AudioEncoder::FinishPending() {
    Impl& d = *d_;
    if (d.finished) d.Refuse(QStringLiteral("the file is already complete"));
    d.Guarded([&] {
        d.finished = true;  // a failed finish is not retried; the destructor discards the file
        if (!d.codec) {
            const WavFormat fallback;
            d.OpenEncoder(fallback.sampleRate, fallback.channels);
        }
        d.DrainResampler();
        if (d.format.leadWithSilentFrame)
            d.audioFrames = d.nextPts + av_audio_fifo_size(d.fifo.get()) - d.frameSize;
        d.GiveEmptyFileASample();
        d.EncodeFromFifo(true);
        d.DrainStage();
        d.Encode(nullptr);
        d.Check(av_write_trailer(d.muxer.get()), "finish");
        avio_flush(d.io.get());
        d.Check(d.io->error, "write");
        d.RecordWmaLength();
    });
    return std::move(d.output.file);
}

bool AudioEncoder::CheckMp3(int sampleRate, int kbps, int channels) {
    return CanMakeMp3(sampleRate, kbps, channels);
}

bool AudioEncoder::CheckOgg(int sampleRate, int channels, int kbps, int maxKbps, int minKbps) {
    return CanMakeOgg(sampleRate, channels, kbps, maxKbps, minKbps);
}

AudioEncoder::WmaConfig AudioEncoder::WmaProfile(int profile) { return WmaProfileConfig(profile); }

}  // namespace quillet
