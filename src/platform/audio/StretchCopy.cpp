#include "platform/audio/StretchCopy.h"

#include <QFile>
#include <cstring>
#include <vector>

#include "common/FileNames.h"
#include "platform/audio/Mp3FrameCopy.h"
#include "platform/audio/Mp3FrameHeader.h"
#include "platform/audio/Mp3SourceFrames.h"
#include "platform/audio/OggVorbisCopy.h"

namespace quillet {

namespace {

// How far after its tags an MPEG stream may start (the demuxer's own limit).
constexpr int64_t kLeadingJunk = 64 * 1024;

int64_t Id3v2Size(const uint8_t* tag) {
    if (std::memcmp(tag, "ID3", 3) != 0 || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) != 0)
        return 0;
    const int64_t body =
        (int64_t(tag[6]) << 21) | (int64_t(tag[7]) << 14) | (int64_t(tag[8]) << 7) | tag[9];
    return 10 + body + ((tag[5] & 0x10) ? 10 : 0);
}

bool HasMpegFrames(const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at + 4 <= bytes.size(); ++at) {
        const std::optional<Mp3FrameHeader> h = Mp3FrameHeader::Parse(bytes.data() + at);
        if (!h || at + static_cast<size_t>(h->bytes) + 4 > bytes.size()) continue;
        // A sync word is trusted when another frame of the stream follows it.
        const std::optional<Mp3FrameHeader> next =
            Mp3FrameHeader::Parse(bytes.data() + at + h->bytes);
        if (next && next->SameStream(*h)) return true;
    }
    return false;
}

}  // namespace

StreamCoding CodingOf(const QString& path) {
    QFile file;
    if (OpenForReading(file, path) != 0) return StreamCoding::Other;
    std::vector<uint8_t> head(64);
    head.resize(static_cast<size_t>(
        std::max<qint64>(0, file.read(reinterpret_cast<char*>(head.data()), 64))));
    if (head.size() >= 35 && std::memcmp(head.data(), "OggS", 4) == 0) {
        // The first packet of the first page names the codec.
        const size_t body = 27 + head[26];
        return body + 7 <= head.size() && head[body] == 1 &&
                       std::memcmp(head.data() + body + 1, "vorbis", 6) == 0
                   ? StreamCoding::OggVorbis
                   : StreamCoding::Other;
    }
    int64_t at = 0;
    for (;;) {
        uint8_t tag[10];
        if (!file.seek(at) || file.read(reinterpret_cast<char*>(tag), 10) != 10) break;
        const int64_t size = Id3v2Size(tag);
        if (size == 0) break;
        at += size;
    }
    if (!file.seek(at)) return StreamCoding::Other;
    std::vector<uint8_t> bytes(static_cast<size_t>(kLeadingJunk) + 2 * 1441);
    const qint64 n =
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (n <= 0) return StreamCoding::Other;
    bytes.resize(static_cast<size_t>(n));
    // RIFF (WAV) and ASF (WMA) headers are no MPEG stream, whatever sync-like bytes they hold.
    static const uint8_t kAsf[4] = {0x30, 0x26, 0xb2, 0x75};
    if (at == 0 && bytes.size() >= 4 &&
        (std::memcmp(bytes.data(), "RIFF", 4) == 0 || std::memcmp(bytes.data(), kAsf, 4) == 0))
        return StreamCoding::Other;
    return HasMpegFrames(bytes) ? StreamCoding::Mp3 : StreamCoding::Other;
}

StretchCopy CopyStretch(const QString& source, StreamCoding coding, int64_t start, int64_t end,
                        const QString& target) {
    StretchCopy copy;
    if (coding == StreamCoding::Other) {
        copy.refusal = QStringLiteral("it is neither MP3 nor Ogg Vorbis");
        return copy;
    }
    copy.file = PendingFile::Create(target);
    if (coding == StreamCoding::Mp3) {
        Mp3SourceFrames frames(source);
        copy.refusal = Mp3FrameCopy::Copy(frames, start, end, copy.file);
    } else {
        copy.refusal = OggVorbisCopy::Copy(source, start, end, copy.file);
    }
    if (!copy.refusal.isEmpty()) copy.file.Discard();
    return copy;
}

}  // namespace quillet
