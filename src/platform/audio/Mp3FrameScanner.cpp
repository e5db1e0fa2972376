#include "platform/audio/Mp3FrameScanner.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstring>

#include "common/FileNames.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/Mp3FrameHeader.h"

namespace quillet {

namespace {

// Frames whose sync word, version, layer and sample rate differ from the first belong to
// something else (a false sync inside junk or a tag).
constexpr uint32_t kSameHeaderMask = 0xffe00000u | (3u << 19) | (3u << 17) | (3u << 10);

// FFmpeg's mp3 decoder delivers the first sample of the stream 528 + 1 samples late; it adds
// this to the encoder delay of the LAME tag when it skips the start.
constexpr int64_t kDecoderDelay = 528 + 1;

// The demuxer looks this far past the tags for the first frame.
constexpr int64_t kMaxLeadingJunk = 64 * 1024;
// Between frames, junk longer than this (tags aside) ends the audio: damage is shorter, and
// walking a big file of something else byte by byte would take seconds (about 20 ns a byte).
constexpr int64_t kMaxJunkBetweenFrames = 64 * 1024;

constexpr int64_t kId3v1Size = 128;

struct FrameHeader {
    int size = 0;
    int samples = 0;
    int sampleRate = 0;
    int layer = 0;
    bool lsf = false;  // MPEG-2 or 2.5
    bool mono = false;
};

bool ParseHeader(uint32_t h, FrameHeader& out) {
    // Free format (bitrate index 0) has no size in its header; the demuxer refuses it too.
    const std::optional<Mp3FrameHeader> parsed = Mp3FrameHeader::Parse(h);
    if (!parsed) return false;
    out.size = parsed->bytes;
    out.samples = parsed->samples;
    out.sampleRate = parsed->sampleRate;
    out.layer = parsed->layer;
    out.lsf = parsed->Lsf();
    out.mono = parsed->mono;
    return true;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Random access over the file through one window, so the walk costs one read per window.
class WindowReader {
  public:
    WindowReader(QFile& file, const QString& path) : file_(file), path_(path), size_(file.size()) {}
    int64_t Size() const { return size_; }

    // Up to n bytes at pos; fewer at the end of the file.
    const uint8_t* Peek(int64_t pos, int n, int& available) {
        if (pos < 0 || pos >= size_) {
            available = 0;
            return nullptr;
        }
        if (pos < start_ || pos + n > start_ + static_cast<int64_t>(window_.size())) Load(pos);
        available = static_cast<int>(
            std::min<int64_t>(n, start_ + static_cast<int64_t>(window_.size()) - pos));
        return window_.data() + (pos - start_);
    }

    bool Read(int64_t pos, int n, uint8_t* dst) {
        int available = 0;
        const uint8_t* p = Peek(pos, n, available);
        if (available < n) return false;
        std::memcpy(dst, p, static_cast<size_t>(n));
        return true;
    }

  private:
    static constexpr int64_t kWindow = 256 * 1024;

    void Load(int64_t pos) {
        window_.resize(static_cast<size_t>(std::min(kWindow, size_ - pos)));
        if (!file_.seek(pos) || file_.read(reinterpret_cast<char*>(window_.data()),
                                           window_.size()) != static_cast<qint64>(window_.size())) {
            throw EngineError(QStringLiteral("read"), path_, file_.errorString());
        }
        start_ = pos;
    }

    QFile& file_;
    const QString& path_;
    int64_t size_;
    int64_t start_ = 0;
    std::vector<uint8_t> window_;
};

// A header at pos that parses and agrees with reference (when given).
bool HeaderAt(WindowReader& in, int64_t pos, uint32_t reference, FrameHeader& header,
              uint32_t& raw) {
    uint8_t bytes[4];
    if (!in.Read(pos, 4, bytes)) return false;
    raw = BigEndian32(bytes);
    if (reference && (raw & kSameHeaderMask) != (reference & kSameHeaderMask)) return false;
    return ParseHeader(raw, header);
}

// A frame at pos that is followed by another like it (or by the end), as the demuxer demands
// before it trusts a sync word.
bool ConfirmedFrameAt(WindowReader& in, int64_t pos, int64_t end, uint32_t reference,
                      uint32_t& raw) {
    FrameHeader header, next;
    uint32_t nextRaw = 0;
    if (!HeaderAt(in, pos, reference, header, raw)) return false;
    if (pos + header.size == end) return true;
    return HeaderAt(in, pos + header.size, raw, next, nextRaw);
}

// Bytes of the ID3v2 tag at pos (with its footer), or 0 when none starts there.
int64_t Id3v2SizeAt(WindowReader& in, int64_t pos) {
    uint8_t tag[10];
    if (!in.Read(pos, 10, tag) || std::memcmp(tag, "ID3", 3) != 0 || tag[3] == 0xff ||
        tag[4] == 0xff || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) != 0) {
        return 0;
    }
    const int64_t body =
        (int64_t(tag[6]) << 21) | (int64_t(tag[7]) << 14) | (int64_t(tag[8]) << 7) | tag[9];
    return 10 + body + ((tag[5] & 0x10) ? 10 : 0);
}

int64_t SkipId3v2(WindowReader& in) {
    int64_t pos = 0;
    for (int64_t size; (size = Id3v2SizeAt(in, pos)) > 0;) pos += size;
    return pos;
}

struct VbrTag {
    bool present = false;  // the demuxer skips this frame rather than decoding it
    int64_t frames = 0;
    bool hasDelays = false;
    int startPad = 0;
    int endPad = 0;
};

// The Xing/Info (with a LAME extension) or VBRI tag in the first frame, read as FFmpeg's mp3
// demuxer reads it.
VbrTag ReadVbrTag(WindowReader& in, int64_t pos, const FrameHeader& header) {
    VbrTag tag;
    if (header.layer != 3) return tag;
    int available = 0;
    const uint8_t* frame = in.Peek(pos, header.size, available);
    if (available < header.size) return tag;
    // Offsets into the frame, checked against its size before every read: a tag's flags may
    // announce fields that the frame has no room for.
    const int size = header.size;
    const int sideInfo = header.lsf ? (header.mono ? 9 : 17) : (header.mono ? 17 : 32);
    int at = 4 + sideInfo;
    int64_t headerFileSize = 0;
    if (at + 8 <= size &&
        (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0)) {
        const uint32_t flags = BigEndian32(frame + at + 4);
        at += 8;
        if ((flags & 1) && at + 4 <= size) tag.frames = BigEndian32(frame + at), at += 4;
        if ((flags & 2) && at + 4 <= size) headerFileSize = BigEndian32(frame + at), at += 4;
        if (flags & 4) at += 100;  // table of contents, too coarse to seek with
        if (flags & 8) at += 4;    // quality
        // Encoder name (9), revision (1), lowpass (1), peak (4), two gains (2+2), flags (1),
        // bitrate (1), then the delays: 12 bits of start padding, 12 of end padding.
        const uint8_t* p = at + 24 <= size ? frame + at : nullptr;
        if (p && (std::memcmp(p, "LAME", 4) == 0 || std::memcmp(p, "Lavf", 4) == 0 ||
                  std::memcmp(p, "Lavc", 4) == 0)) {
            const uint8_t* d = p + 21;
            tag.hasDelays = true;
            tag.startPad = (d[0] << 4) | (d[1] >> 4);
            tag.endPad = ((d[1] & 0x0f) << 8) | d[2];
        }
    }
    const uint8_t* vbri = 4 + 32 + 18 <= size ? frame + 4 + 32 : nullptr;
    if (vbri && std::memcmp(vbri, "VBRI", 4) == 0 && vbri[4] == 0 && vbri[5] == 1) {
        headerFileSize = BigEndian32(vbri + 10);
        tag.frames = BigEndian32(vbri + 14);
    }
    tag.present = tag.frames || headerFileSize;
    return tag;
}

// Frames of another sample rate, MPEG version or layer that run on from pos: a stream whose
// format changes part-way, not a false sync (which is never followed by a run of frames).
bool OtherFormatRunsAt(WindowReader& in, int64_t pos, int64_t end, uint32_t first,
                       FrameHeader& header) {
    uint32_t raw = 0;
    if (!HeaderAt(in, pos, 0, header, raw) || (raw & kSameHeaderMask) == (first & kSameHeaderMask))
        return false;
    int64_t at = pos;
    for (int i = 0; i < 4; ++i) {
        FrameHeader next;
        uint32_t nextRaw = 0;
        if (!HeaderAt(in, at, raw, next, nextRaw)) return false;
        at += next.size;
        if (at >= end) return true;
    }
    return true;
}

}  // namespace

int64_t Mp3FrameIndex::FrameBytes(int64_t i) const {
    const int64_t next = i + 1 < FrameCount() ? offsets[static_cast<size_t>(i + 1)] : dataEnd;
    return next - offsets[static_cast<size_t>(i)];
}

int64_t Mp3FrameIndex::FrameAt(int64_t pos) const {
    const auto it = std::lower_bound(offsets.begin(), offsets.end(), pos);
    return it != offsets.end() && *it == pos ? it - offsets.begin() : -1;
}

Mp3FrameIndex Mp3FrameScanner::Scan(const QString& path) {
    QFile file;
    if (const int error = OpenForReading(file, path))
        throw SystemError(QStringLiteral("open"), path, error);
    WindowReader in(file, path);
    Mp3FrameIndex index;
    int64_t end = in.Size();
    uint8_t tail[3];
    if (end >= kId3v1Size && in.Read(end - kId3v1Size, 3, tail) && std::memcmp(tail, "TAG", 3) == 0)
        end -= kId3v1Size;

    const int64_t dataStart = SkipId3v2(in);
    uint32_t first = 0;
    int64_t pos = dataStart;
    while (pos < std::min(end, dataStart + kMaxLeadingJunk) &&
           !ConfirmedFrameAt(in, pos, end, 0, first)) {
        ++pos;
    }
    FrameHeader header;
    if (!first || !ParseHeader(first, header) || pos + header.size > end) return index;
    index.samplesPerFrame = header.samples;
    index.sampleRate = header.sampleRate;
    index.channels = header.mono ? 1 : 2;
    index.layer = header.layer;

    const VbrTag tag = ReadVbrTag(in, pos, header);
    if (tag.present) pos += header.size;

    // Past this many frames the file is longer than any position can say, and it is refused;
    // stopping here bounds the index (8 bytes a frame) however many tiny frames a file holds.
    const int64_t maxFrames = (int64_t(1) << 31) / index.samplesPerFrame + 2;
    while (pos < end) {
        if (index.FrameCount() >= maxFrames) break;
        uint32_t raw = 0;
        if (HeaderAt(in, pos, first, header, raw)) {
            if (pos + header.size > end) {
                // Cut off by the end of the file: kept when its side information is there.
                const int sideInfo = header.lsf ? (header.mono ? 9 : 17) : (header.mono ? 17 : 32);
                if (end - pos >= 4 + sideInfo) {
                    index.offsets.push_back(pos);
                    index.lastFrameMissing = static_cast<int>(pos + header.size - end);
                    index.dataEnd = end;
                }
                break;
            }
            // The Xing/Info frame of a file joined on at the end carries no audio.
            if (ReadVbrTag(in, pos, header).present) {
                pos += header.size;
                continue;
            }
            index.offsets.push_back(pos);
            pos += header.size;
            index.dataEnd = pos;
            continue;
        }
        // Files joined end to end carry the next one's tag here.
        for (int64_t size; (size = Id3v2SizeAt(in, pos)) > 0;) pos += size;
        FrameHeader other;
        if (OtherFormatRunsAt(in, pos, end, first, other)) {
            if (other.sampleRate != index.sampleRate)
                throw EngineError(QStringLiteral("open"), path,
                                  QStringLiteral("its sample rate changes part-way, from %1 Hz "
                                                 "to %2 Hz, which cannot be read as one stream")
                                      .arg(index.sampleRate)
                                      .arg(other.sampleRate));
            throw EngineError(QStringLiteral("open"), path,
                              QStringLiteral("its MPEG audio format changes part-way, which "
                                             "cannot be read as one stream"));
        }
        const int64_t giveUp = std::min(end, pos + kMaxJunkBetweenFrames);
        while (pos < giveUp && !ConfirmedFrameAt(in, pos, end, first, raw)) ++pos;
        if (pos >= giveUp) break;
    }

    const int64_t total = index.FrameCount() * index.samplesPerFrame;
    int64_t keepUntil = total;
    if (tag.hasDelays) {
        index.startSkip = tag.startPad + kDecoderDelay;
        if (tag.frames) {
            // The padding sits at the end of the frames the tag counts. When more frames
            // follow, they are audio too: only the padding is dropped, as mpg123 does.
            const int64_t declaredEnd = tag.frames * index.samplesPerFrame;
            const int64_t audioEnd = declaredEnd - tag.endPad + kDecoderDelay;
            if (index.FrameCount() <= tag.frames) {
                keepUntil = std::min(keepUntil, audioEnd);
            } else if (audioEnd < declaredEnd) {
                index.cutStart = std::max(audioEnd, index.startSkip) - index.startSkip;
                index.cutLength = declaredEnd - std::max(audioEnd, index.startSkip);
            }
        }
    }
    index.length = std::max<int64_t>(0, keepUntil - index.startSkip - index.cutLength);
    return index;
}

}  // namespace quillet
