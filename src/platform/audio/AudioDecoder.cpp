#include "platform/audio/AudioDecoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "common/FileNames.h"
#include "platform/audio/AsfHeader.h"
#include "platform/audio/DecodeTimeline.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/FfmpegPtr.h"
#include "platform/audio/Mp3FrameScanner.h"
#include "platform/audio/VorbisSource.h"
#include "platform/audio/WavSource.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace quillet {

namespace {

enum class Kind { Mp3, Pcm, Vorbis, Wma, Other };

// Hostile input: how much the demuxer may read and analyse before it must know the streams,
// and the largest frame a decoder may hand out (real frames hold at most a few thousand).
constexpr int64_t kProbeBytes = 5 << 20;
constexpr int64_t kAnalyzeMicroseconds = 5 * AV_TIME_BASE;
constexpr int64_t kMaxSamplesPerFrame = 1 << 20;
// No codec delivers more frames than this per byte of the file (a one-byte Vorbis packet
// yields at most 4096); a header that claims more is lying about the length.
constexpr int64_t kMaxFramesPerByte = 4096;
// Far beyond any position of a file this engine opens, and far from overflowing arithmetic.
constexpr int64_t kMaxPosition = int64_t(1) << 40;

// An MP3 frame may take up to 511 bytes of its main data from the frames before it (the 9-bit
// main_data_begin of the bit reservoir), so decoding must start that many bytes earlier.
constexpr int64_t kMp3ReservoirBytes = 511;
// The frame before the target must itself decode cleanly: its granules overlap the target's
// in the IMDCT and fill the synthesis filter's 512-sample window.
constexpr int64_t kMp3OverlapFrames = 2;

// After a seek the WMA decoder outputs nothing for the first frame and the second completes its
// MDCT overlap from the first; one more frame covers a landing a stamp's rounding early.
constexpr int64_t kWmaPrerollFrames = 3;

// A seek this short a way forward decodes through instead of repositioning the demuxer.
constexpr int64_t kForwardDecodeSeconds = 1;

bool IsAllowedContainer(const char* name) {
    for (const char* allowed : {"mp3", "wav", "asf", "ogg"}) {
        if (std::strcmp(name, allowed) == 0) return true;
    }
    return false;
}

// WAV, Ogg and ASF headers describe their audio streams completely; analysing the first
// seconds of decoded audio on top costs more than the rest of opening (tens of milliseconds,
// per file of a scanned folder).
bool HeaderDescribesAudio(const AVFormatContext* format) {
    bool audio = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0 ||
            par->ch_layout.nb_channels <= 0) {
            return false;
        }
        audio = true;
    }
    return audio;
}

Kind KindOf(const AVFormatContext* format, const AVCodecParameters* par) {
    const char* container = format->iformat->name;
    const AVCodecID id = par->codec_id;
    if (std::strcmp(container, "mp3") == 0 &&
        (id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP1)) {
        return Kind::Mp3;
    }
    if (std::strcmp(container, "wav") == 0 && av_get_exact_bits_per_sample(id) > 0 &&
        par->block_align > 0) {
        return Kind::Pcm;
    }
    if (std::strcmp(container, "ogg") == 0 && id == AV_CODEC_ID_VORBIS) return Kind::Vorbis;
    if (std::strcmp(container, "asf") == 0 &&
        (id == AV_CODEC_ID_WMAV1 || id == AV_CODEC_ID_WMAV2) && par->block_align > 0) {
        // With the bit reservoir a block holds a varying count of frames, which only decoding
        // tells; such files are counted and sought by decoding from the start.
        const int flagsAt = id == AV_CODEC_ID_WMAV1 ? 2 : 4;
        if (par->extradata_size < flagsAt + 2) return Kind::Other;
        const int flags2 = par->extradata[flagsAt] | (par->extradata[flagsAt + 1] << 8);
        return (flags2 & 2) ? Kind::Other : Kind::Wma;
    }
    return Kind::Other;
}

// Samples of one WMA (version 1 or 2) frame, as the decoder derives it from the sample rate.
int WmaFrameLength(AVCodecID id, int rate) {
    if (rate <= 16000) return 512;
    if (rate <= 22050 || (rate <= 32000 && id == AV_CODEC_ID_WMAV1)) return 1024;
    return 2048;
}

AudioError OpenError(const QString& path, const QString& reason) {
    return EngineError(QStringLiteral("open"), path, reason);
}

}  // namespace

class FfmpegSource : public DecoderSource {
  public:
    explicit FfmpegSource(const QString& p);
    int64_t Length() const override { return length; }
    int SampleRate() const override { return rate; }
    int Channels() const override { return channels; }
    void Seek(int64_t frame) override { SeekTo(frame); }
    int64_t Read(float* out, int64_t frames) override;

    QString path;
    Kind kind = Kind::Other;
    ff::InputContextPtr format;
    AVStream* stream = nullptr;
    ff::CodecContextPtr codec;
    ff::PacketPtr packet{av_packet_alloc()};
    ff::FramePtr frame{av_frame_alloc()};
    ff::SwrPtr swr;
    int swrFormat = -1;
    AVChannelLayout swrLayout{};
    int swrRate = 0;

    int rate = 0;
    int channels = 0;
    int64_t length = 0;
    int64_t startTs = 0;  // the stream's first timestamp, position 0
    int64_t pcmDataStart = 0;
    Mp3FrameIndex mp3;
    int wmaFrame = 0;  // samples per WMA frame; every decoded frame starts at a multiple of it
    int64_t wmaFirstTs = AV_NOPTS_VALUE;  // timestamp of the first decoded WMA frame
    int64_t mp3NextFrame = 0;  // frame of the next packet when its byte offset is unknown

    DecodeTimeline timeline;
    int64_t openedSize = -1;  // the file's size when it was first opened

    ~FfmpegSource() override { av_channel_layout_uninit(&swrLayout); }

    void Open();
    void OpenInput();
    void DescribeMp3();
    void OpenDecoder();
    int64_t ComputeLength();
    int64_t CountByDecoding();
    int64_t WmaLength();
    int64_t RecordedWmaLength(int64_t coded) const;

    bool ReceiveFrame();
    void PreparePacket();
    bool DecodeChunk(float* direct = nullptr, int64_t room = 0);
    int64_t Convert(int64_t frames, float* out);
    void ResetDecodeState(int64_t position, bool anchoredAtPosition);
    void CheckStillWhole() const;

    void SeekTo(int64_t target);

    void SeekMp3(int64_t target);
    bool SeekByTimestamp(int64_t target, int64_t from);
    void Rewind();

    // Stamps come from the file and may be anything: one that is out of reach of any position
    // (or whose arithmetic would overflow) tells nothing, like a missing one.
    int64_t TsToPos(int64_t ts) const {
        int64_t offset = 0;
        if (ts == AV_NOPTS_VALUE || __builtin_sub_overflow(ts, startTs, &offset))
            return AV_NOPTS_VALUE;
        const int64_t pos = av_rescale_q(offset, stream->time_base, AVRational{1, rate});
        if (pos < -kMaxPosition || pos > kMaxPosition) return AV_NOPTS_VALUE;
        if (wmaFrame == 0) return pos;
        // ASF stamps are whole milliseconds; WMA frames start at multiples of the frame length.
        const int64_t shifted = pos + wmaFrame / 2;
        const int64_t frames =
            shifted >= 0 ? shifted / wmaFrame : -((-shifted + wmaFrame - 1) / wmaFrame);
        return frames * wmaFrame;
    }
    int64_t PosToTs(int64_t pos) const {
        int64_t ts = 0;
        if (__builtin_add_overflow(av_rescale_q(pos, AVRational{1, rate}, stream->time_base),
                                   startTs, &ts)) {
            return AV_NOPTS_VALUE;
        }
        return ts;
    }
};

void FfmpegSource::Open() {
    OpenInput();
    OpenDecoder();
    length = std::max<int64_t>(ComputeLength(), 0);
}

void FfmpegSource::OpenInput() {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) throw FfmpegError("open", path, AVERROR(ENOMEM));
    raw->probesize = kProbeBytes;
    raw->max_analyze_duration = kAnalyzeMicroseconds;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // "file:" keeps a colon in the name from being taken for another protocol.
    const QByteArray url = "file:" + NativePath(path);
    int ret = avformat_open_input(&raw, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (ret < 0) throw FfmpegError("open", path, ret);
    format.reset(raw);
    CheckStillWhole();
    if (openedSize < 0) openedSize = avio_size(format->pb);
    if (!IsAllowedContainer(format->iformat->name))
        throw OpenError(path, "it is not an MP3, WAV, WMA or OGG file");
    pcmDataStart = avio_tell(format->pb);
    if (std::strcmp(format->iformat->name, "mp3") == 0) {
        DescribeMp3();
    } else if (!HeaderDescribesAudio(format.get())) {
        ret = avformat_find_stream_info(format.get(), nullptr);
        if (ret < 0) throw FfmpegError("read the streams of", path, ret);
    }
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) throw OpenError(path, "it holds no audio");
    stream = format->streams[index];
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    }
    startTs = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (wmaFirstTs != AV_NOPTS_VALUE) startTs = wmaFirstTs;
}

// MPEG audio has no header that describes the stream, but its frame headers do. FFmpeg's
// analysis would decode frames to learn the same, and after the last frame it walks whatever
// follows to the end of the file: seconds for a few frames followed by a large file of junk.
void FfmpegSource::DescribeMp3() {
    if (mp3.FrameCount() == 0) mp3 = Mp3FrameScanner::Scan(path);  // once; Rewind keeps it
    if (mp3.FrameCount() == 0) throw OpenError(path, "it holds no audio");
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        par->codec_id = mp3.layer == 1   ? AV_CODEC_ID_MP1
                        : mp3.layer == 2 ? AV_CODEC_ID_MP2
                                         : AV_CODEC_ID_MP3;
        par->sample_rate = mp3.sampleRate;
        av_channel_layout_uninit(&par->ch_layout);
        av_channel_layout_default(&par->ch_layout, mp3.channels);
    }
}

void FfmpegSource::OpenDecoder() {
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) throw OpenError(path, "its audio coding is not supported");
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec) throw FfmpegError("open", path, AVERROR(ENOMEM));
    int ret = avcodec_parameters_to_context(codec.get(), par);
    if (ret < 0) throw FfmpegError("open the decoder of", path, ret);
    kind = KindOf(format.get(), par);
    codec->pkt_timebase = stream->time_base;
    codec->max_samples = kMaxSamplesPerFrame;
    codec->thread_count = 1;
    if (kind == Kind::Mp3) {
        // Our own frame index places every MP3 frame and drops the encoder delay and padding,
        // so the decoder must not do it a second time.
        codec->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
        codec->pkt_timebase = AVRational{1, par->sample_rate > 0 ? par->sample_rate : 1};
    }
    ret = avcodec_open2(codec.get(), decoder, nullptr);
    if (ret < 0) throw FfmpegError("open the decoder of", path, ret);
    rate = codec->sample_rate;
    channels = codec->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0 || channels > AV_NUM_DATA_POINTERS)
        throw OpenError(path, "its audio format is not valid");
    timeline.SetChannels(channels);
}

int64_t FfmpegSource::ComputeLength() {
    switch (kind) {
        case Kind::Mp3:
            return mp3.length;
        case Kind::Pcm: {
            // A cut-off file holds fewer blocks than its header claims.
            const int64_t size = avio_size(format->pb);
            const int64_t blocks =
                std::max<int64_t>(0, size - pcmDataStart) / stream->codecpar->block_align;
            if (stream->duration == AV_NOPTS_VALUE) return blocks;
            return std::min(blocks,
                            av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate}));
        }
        case Kind::Vorbis: {
            // The demuxer takes the duration from the granule position of the last page, which
            // a damaged file may set to anything.
            const int64_t limit = std::max<int64_t>(avio_size(format->pb), 0) * kMaxFramesPerByte;
            if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
                const int64_t frames =
                    av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate});
                if (frames > 0 && frames <= limit) return frames;
            }
            return CountByDecoding();
        }
        case Kind::Wma:
            return WmaLength();
        case Kind::Other:
            return CountByDecoding();
    }
    return 0;
}

// Without the bit reservoir every block_align bytes are one frame, and the decoder outputs
// nothing for the first (it only primes the MDCT overlap): n blocks decode to n - 1 frames, which
// a demuxer pass tells without decoding. The first decoded frame's timestamp is position 0.
int64_t FfmpegSource::WmaLength() {
    wmaFrame = WmaFrameLength(stream->codecpar->codec_id, rate);
    const int64_t blockAlign = stream->codecpar->block_align;
    int64_t blocks = 0;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream->index) blocks += packet->size / blockAlign;
        av_packet_unref(packet.get());
    }
    Rewind();
    // A file of two blocks gives its one frame only when the decoder is drained, without a
    // stamp; seeking in it decodes from the start.
    const bool decoded = ReceiveFrame();
    if (decoded && frame->best_effort_timestamp != AV_NOPTS_VALUE)
        wmaFirstTs = frame->best_effort_timestamp;
    Rewind();
    if (!decoded) return 0;
    const int64_t coded = std::max<int64_t>(0, (blocks - 1) * wmaFrame);
    return std::min(coded, RecordedWmaLength(coded));
}

// The audio's length as the header's play duration records it, where that is a length our
// writer (or another exact one) stored: shorter than the coded frames by less than two of them,
// and either finer than a millisecond or short by more than one. FFmpeg's own muxer records
// millisecond stamps of whole frames, which this leaves alone. `coded` when there is none.
int64_t FfmpegSource::RecordedWmaLength(int64_t coded) const {
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return coded;
    const std::optional<AsfDuration> asf = ReadAsfDuration(fd);
    ::close(fd);
    if (!asf || asf->broadcast) return coded;
    const int64_t audio = asf->playDuration - asf->prerollMs * 10000;
    if (audio <= 0 || audio > INT64_MAX / rate) return coded;
    const int64_t recorded = av_rescale(audio, rate, 10000000);
    const bool fine = audio % 10000 != 0 || coded - recorded > rate / 1000;
    if (recorded >= coded || coded - recorded >= 2 * wmaFrame || !fine) return coded;
    return recorded;
}

int64_t FfmpegSource::CountByDecoding() {
    int64_t total = 0;
    while (ReceiveFrame()) total += frame->nb_samples;
    Rewind();
    return total;
}

void FfmpegSource::PreparePacket() {
    if (kind != Kind::Mp3) return;
    int64_t index = packet->pos >= 0 ? mp3.FrameAt(packet->pos) : -1;
    if (index < 0) index = mp3NextFrame;
    mp3NextFrame = index + 1;
    const int64_t pts = index * mp3.samplesPerFrame - mp3.startSkip;
    packet->pts = packet->dts = pts;
    packet->duration = mp3.samplesPerFrame;
    if (index == mp3.FrameCount() - 1 && mp3.lastFrameMissing > 0) {
        const int had = packet->size;
        if (av_grow_packet(packet.get(), mp3.lastFrameMissing) == 0)
            std::memset(packet->data + had, 0, static_cast<size_t>(mp3.lastFrameMissing));
    }
}

// The next decoded frame into `frame`; false once the stream has ended. As in FFmpeg's own
// examples only EAGAIN asks for more input: any other answer of the decoder ends the stream.
// A damaged packet is reported by send_packet, which has dropped it, and decoding goes on.
bool FfmpegSource::ReceiveFrame() {
    for (;;) {
        int ret = avcodec_receive_frame(codec.get(), frame.get());
        if (ret == 0) return true;
        if (ret == AVERROR(ENOMEM)) throw FfmpegError("decode", path, ret);
        if (ret != AVERROR(EAGAIN)) return false;
        if (timeline.IsInputEnded()) return false;
        ret = av_read_frame(format.get(), packet.get());
        if (ret < 0) {
            if (ret == AVERROR(ENOMEM) || ret == AVERROR(EIO)) throw FfmpegError("read", path, ret);
            // End of file, or data so damaged that the demuxer gives up: the stream ends here.
            timeline.InputEnded();
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == stream->index) {
            PreparePacket();
            ret = avcodec_send_packet(codec.get(), packet.get());
            if (ret == AVERROR(ENOMEM)) throw FfmpegError("decode", path, ret);
        }
        av_packet_unref(packet.get());
    }
}

// Converts the decoded frame to interleaved float at out (room for frames); returns the frames
// made.
int64_t FfmpegSource::Convert(int64_t frames, float* out) {
    const AVChannelLayout& in = frame->ch_layout;
    if (!swr || swrFormat != frame->format || swrRate != frame->sample_rate ||
        av_channel_layout_compare(&swrLayout, &in) != 0) {
        AVChannelLayout inLayout{}, outLayout{};
        if (in.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&in) == 0)
            av_channel_layout_default(&inLayout, in.nb_channels > 0 ? in.nb_channels : channels);
        else
            av_channel_layout_copy(&inLayout, &in);
        // The file's channels come through as they are, in its order; only a frame with another
        // channel count than the stream's (MP3 may switch between mono and stereo) is mixed.
        if (inLayout.nb_channels == channels)
            av_channel_layout_copy(&outLayout, &inLayout);
        else
            av_channel_layout_default(&outLayout, channels);
        SwrContext* raw = nullptr;
        // Same rate on both sides: swresample only interleaves and converts the sample format.
        int ret = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, frame->sample_rate,
                                      &inLayout, static_cast<AVSampleFormat>(frame->format),
                                      frame->sample_rate, 0, nullptr);
        swr.reset(raw);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        if (ret >= 0) ret = swr_init(swr.get());
        if (ret < 0) throw FfmpegError("convert the samples of", path, ret);
        swrFormat = frame->format;
        swrRate = frame->sample_rate;
        av_channel_layout_uninit(&swrLayout);
        av_channel_layout_copy(&swrLayout, &in);
    }
    auto* bytes = reinterpret_cast<uint8_t*>(out);
    const int done =
        swr_convert(swr.get(), &bytes, static_cast<int>(frames),
                    const_cast<const uint8_t**>(frame->extended_data), static_cast<int>(frames));
    if (done < 0) throw FfmpegError("convert the samples of", path, done);
    // Float PCM holds whatever its bytes say, and decoders fed garbage can overflow: a NaN or
    // infinity would poison every filter, meter and encoder downstream.
    for (float *sample = out, *end = out + int64_t{done} * channels; sample != end; ++sample) {
        if (!std::isfinite(*sample)) *sample = 0.0f;
    }
    return done;
}

// Decodes the next frame and places it on the timeline; false at the end. A frame that starts
// at the reading position and fits in room frames goes straight to direct; any other frame is
// held on the timeline.
bool FfmpegSource::DecodeChunk(float* direct, int64_t room) {
    while (ReceiveFrame()) {
        const int64_t frames = frame->nb_samples;
        if (frames <= 0 || frame->sample_rate <= 0) continue;
        int64_t pos = timeline.NextPos();
        if (kind == Kind::Mp3 && frame->pts != AV_NOPTS_VALUE) {
            pos = frame->pts;
            const int64_t cutEnd = mp3.cutStart + mp3.cutLength;
            if (mp3.cutLength > 0 && pos >= cutEnd) {
                pos -= mp3.cutLength;
            } else if (mp3.cutLength > 0 && pos + frames > mp3.cutStart) {
                // The encoder's padding inside the stream: the frame without it.
                const int64_t head = std::max<int64_t>(mp3.cutStart - pos, 0);
                const int64_t tailFrom = std::min<int64_t>(cutEnd - pos, frames);
                const int64_t kept = head + frames - tailFrom;
                if (kept <= 0) continue;
                float* held = timeline.Hold(head > 0 ? pos : mp3.cutStart, frames);
                const int64_t made = Convert(frames, held);
                const int64_t tail = std::max<int64_t>(made - tailFrom, 0);
                std::memmove(held + head * channels, held + tailFrom * channels,
                             static_cast<size_t>(tail * channels) * sizeof(float));
                timeline.Held(std::min(head, made) + tail);
                return true;
            }
        } else if (!timeline.Anchored()) {
            pos = TsToPos(frame->best_effort_timestamp);
            if (pos == AV_NOPTS_VALUE) {
                // No usable stamp tells where the seek landed: count from the start instead.
                const int64_t target = timeline.ReadPos();
                Rewind();
                timeline.SkipTo(target);
                continue;
            }
        }
        if (direct && timeline.FitsDirect(pos, frames, room)) {
            timeline.TookDirect(pos, Convert(frames, direct));
            return true;
        }
        float* held = timeline.Hold(pos, frames);
        timeline.Held(Convert(frames, held));
        return true;
    }
    return false;
}

void FfmpegSource::ResetDecodeState(int64_t position, bool anchoredAtPosition) {
    timeline.Reset(position, position, anchoredAtPosition, false);
}

// Silence may stand in for damaged frames, never for audio that was there when the file was
// opened and has since been cut away.
void FfmpegSource::CheckStillWhole() const {
    if (openedSize < 0) return;
    const int64_t size = avio_size(format->pb);
    if (size >= 0 && size < openedSize)
        throw EngineError(QStringLiteral("read"), path,
                          QStringLiteral("the file became shorter while it was being read"));
}

void FfmpegSource::Rewind() {
    codec.reset();
    format.reset();
    OpenInput();
    OpenDecoder();
    ResetDecodeState(0, true);
    mp3NextFrame = 0;
}

void FfmpegSource::SeekMp3(int64_t target) {
    const int64_t spf = mp3.samplesPerFrame;
    // Where the target lies among the decoded samples (the padding cut inside the stream is
    // among them).
    const int64_t decoded =
        target + mp3.startSkip + (mp3.cutLength > 0 && target >= mp3.cutStart ? mp3.cutLength : 0);
    int64_t first = decoded / spf - kMp3OverlapFrames;
    for (int64_t bytes = 0; first > 0 && bytes < kMp3ReservoirBytes;) {
        --first;
        bytes += mp3.FrameBytes(first);
    }
    first = std::max<int64_t>(first, 0);
    if (mp3.FrameCount() == 0) first = 0;
    const int64_t offset = mp3.FrameCount() ? mp3.offsets[static_cast<size_t>(first)] : 0;
    const int ret = av_seek_frame(format.get(), stream->index, offset, AVSEEK_FLAG_BYTE);
    if (ret < 0) throw FfmpegError("seek in", path, ret);
    avcodec_flush_buffers(codec.get());
    int64_t firstPos = first * spf - mp3.startSkip;
    if (mp3.cutLength > 0 && firstPos >= mp3.cutStart)
        firstPos = std::max(firstPos - mp3.cutLength, mp3.cutStart);
    timeline.Reset(target, firstPos, true, false);
    mp3NextFrame = first;
}

bool FfmpegSource::SeekByTimestamp(int64_t target, int64_t from) {
    const int64_t ts = PosToTs(std::max<int64_t>(from, 0));
    if (ts == AV_NOPTS_VALUE) return false;
    const int ret = av_seek_frame(format.get(), stream->index, ts, AVSEEK_FLAG_BACKWARD);
    if (ret < 0) return false;
    avcodec_flush_buffers(codec.get());
    timeline.Reset(target, target, false, true);
    return true;
}

void FfmpegSource::SeekTo(int64_t target) {
    const int64_t readPos = timeline.ReadPos();
    if (target >= readPos && target - readPos <= kForwardDecodeSeconds * rate) {
        timeline.SkipTo(target);  // Read decodes through and drops what lies before
        return;
    }
    switch (kind) {
        case Kind::Mp3:
            SeekMp3(target);
            return;
        case Kind::Pcm:
        case Kind::Vorbis:
            if (SeekByTimestamp(target, target)) return;
            break;
        case Kind::Wma:
            if (SeekByTimestamp(target, target - kWmaPrerollFrames * wmaFrame)) return;
            break;
        case Kind::Other:
            break;
    }
    // Timestamps that cannot be trusted to the sample: decode from the start and count.
    if (target < readPos) Rewind();
    timeline.SkipTo(target);
}

FfmpegSource::FfmpegSource(const QString& p) : path(p) {
    if (!packet || !frame) throw FfmpegError("open", path, AVERROR(ENOMEM));
    Open();
}

int64_t FfmpegSource::Read(float* dst, int64_t maxFrames) {
    FfmpegSource& d = *this;
    DecodeTimeline& timeline = d.timeline;
    const int64_t wanted = std::min(std::max<int64_t>(maxFrames, 0), d.length - timeline.ReadPos());
    if (wanted <= 0) return 0;
    int64_t done = 0;
    while (done < wanted) {
        const DecodeTimeline::Next next = timeline.Plan(wanted - done);
        switch (next.step) {
            case DecodeTimeline::Step::Restart: {
                // The demuxer landed past the target: count from the start instead.
                const int64_t target = timeline.ReadPos();
                Rewind();
                timeline.SkipTo(target);
                break;
            }
            case DecodeTimeline::Step::End:
                CheckStillWhole();
                [[fallthrough]];
            case DecodeTimeline::Step::Gap:
                // Silence keeps the timeline over damaged frames and a stream that ends early.
                std::fill(dst + done * channels, dst + (done + next.frames) * channels, 0.0f);
                timeline.Advance(next.frames);
                done += next.frames;
                break;
            case DecodeTimeline::Step::Copy:
                timeline.CopyOut(dst + done * channels, next.frames);
                done += next.frames;
                break;
            case DecodeTimeline::Step::Decode: {
                const int64_t before = timeline.ReadPos();
                if (!DecodeChunk(dst + done * channels, wanted - done)) timeline.StreamEnded();
                done += timeline.ReadPos() - before;  // what went straight to dst
                break;
            }
        }
    }
    return done;
}

struct AudioDecoder::Impl {
    std::unique_ptr<DecoderSource> source;
};

// No single allocation of FFmpeg's may be larger than this: the sizes a hostile file's headers
// give (a chunk, a packet, an extradata) otherwise reach gigabytes. Real ones stay far below.
constexpr size_t kMaxFfmpegAllocation = 64 << 20;

AudioDecoder::AudioDecoder(const QString& path) : d_(std::make_unique<Impl>()) {
    static std::once_flag bounded;
    std::call_once(bounded, [] { av_max_alloc(kMaxFfmpegAllocation); });
    const FileStatus info = StatFile(path);
    if (!info.Exists()) throw FfmpegError("open", path, AVERROR(ENOENT));
    if (info.IsFolder()) throw FfmpegError("open", path, AVERROR(EISDIR));
    if (!info.IsFile()) throw OpenError(path, "it is not a regular file");
    // Uncompressed WAVE and Ogg Vorbis have readers of their own; the rest goes through FFmpeg.
    d_->source = WavSource::Open(path);
    if (!d_->source) d_->source = VorbisSource::Open(path);
    if (!d_->source) d_->source = std::make_unique<FfmpegSource>(path);
    // Positions are 32-bit where the program meets the engine.
    if (d_->source->Length() > std::numeric_limits<int32_t>::max())
        throw OpenError(path, "it is longer than 2147483647 sample frames");
}

AudioDecoder::~AudioDecoder() = default;

int64_t AudioDecoder::Length() const { return d_->source->Length(); }

int64_t AudioDecoder::DurationMs() const {
    const int rate = d_->source->SampleRate();
    return rate > 0 ? d_->source->Length() * 1000 / rate : 0;
}

int AudioDecoder::SampleRate() const { return d_->source->SampleRate(); }

int AudioDecoder::Channels() const { return d_->source->Channels(); }

void AudioDecoder::Seek(int64_t frame) {
    d_->source->Seek(std::clamp<int64_t>(frame, 0, d_->source->Length()));
}

int64_t AudioDecoder::Read(std::vector<float>& out, int64_t maxFrames) {
    DecoderSource& source = *d_->source;
    const int64_t wanted = std::max<int64_t>(maxFrames, 0);
    if (wanted == 0) return 0;
    const size_t base = out.size();
    const int channels = source.Channels();
    // Room for what is asked, but never more than the file has left.
    int64_t room = wanted;
    if (const int64_t left = source.Length(); left < room) room = left;
    out.resize(base + static_cast<size_t>(room * channels));
    const int64_t got = source.Read(out.data() + base, room);
    out.resize(base + static_cast<size_t>(got * channels));
    return got;
}

}  // namespace quillet
