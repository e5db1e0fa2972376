#include "platform/audio/Mp3StreamWriter.h"

#include "platform/audio/Mp3SourceFrames.h"

namespace quillet {

namespace {

constexpr int64_t kCopyBytes = 1 << 20;

}  // namespace

Mp3StreamWriter::Mp3StreamWriter(PendingFile& file, const Mp3FrameHeader& like)
    : out_(file), like_(like) {
    // The Info frame's size does not depend on what it says.
    const std::vector<uint8_t> placeholder = MakeInfoFrame(like_, fields_);
    infoBytes_ = static_cast<int64_t>(placeholder.size());
    out_.Append(placeholder);
}

void Mp3StreamWriter::Note(const Mp3FrameHeader& h, int64_t offset) {
    if (h.bitrateIndex != like_.bitrateIndex) fields_.sameBitrate = false;
    fields_.frameOffsets.push_back(offset);
}

void Mp3StreamWriter::AppendFrames(const std::vector<uint8_t>& frames) {
    const int64_t base = out_.Size() - infoBytes_;
    for (size_t at = 0; at + 4 <= frames.size();) {
        const Mp3FrameHeader h = *Mp3FrameHeader::Parse(frames.data() + at);
        Note(h, base + static_cast<int64_t>(at));
        at += static_cast<size_t>(h.bytes);
    }
    crc_ = LameCrc16(frames.data(), frames.size(), crc_);
    out_.Append(frames);
}

QString Mp3StreamWriter::AppendSource(Mp3SourceFrames& source, int64_t first, int64_t last) {
    const std::vector<int64_t>& offsets = source.Index().offsets;
    const Mp3FrameHeader& stream = *source.First();
    const auto endOf = [&](int64_t k) {
        return k + 1 < source.Count() ? offsets[static_cast<size_t>(k + 1)]
                                      : source.Index().dataEnd;
    };
    std::vector<uint8_t> chunk;
    for (int64_t i = first; i <= last;) {
        // Whole frames only, about a megabyte at a time.
        const int64_t chunkStart = offsets[static_cast<size_t>(i)];
        int64_t j = i;
        while (j < last && endOf(j + 1) - chunkStart <= kCopyBytes) ++j;
        chunk.resize(static_cast<size_t>(endOf(j) - chunkStart));
        source.Read(chunkStart, endOf(j) - chunkStart, chunk.data());
        const int64_t base = out_.Size() - infoBytes_;
        for (int64_t k = i; k <= j; ++k) {
            const int64_t at = offsets[static_cast<size_t>(k)] - chunkStart;
            const std::optional<Mp3FrameHeader> h = at + 4 <= static_cast<int64_t>(chunk.size())
                                                        ? Mp3FrameHeader::Parse(chunk.data() + at)
                                                        : std::nullopt;
            if (!h || !h->SameStream(stream))
                return QStringLiteral("the stream changes its format inside the stretch");
            if (h->bytes != endOf(k) - offsets[static_cast<size_t>(k)])
                return QStringLiteral("frames inside the stretch are damaged");
            Note(*h, base + at);
        }
        crc_ = LameCrc16(chunk.data(), chunk.size(), crc_);
        out_.Append(chunk);
        i = j + 1;
    }
    return QString();
}

void Mp3StreamWriter::Finish(int encoderDelay, int padding,
                             const std::optional<LameEncoding>& encoding) {
    fields_.frames = Frames();
    fields_.audioBytes = out_.Size() - infoBytes_;
    fields_.encoderDelay = encoderDelay;
    fields_.padding = padding;
    fields_.musicCrc = crc_;
    fields_.encoding = encoding;
    out_.WriteAt(0, MakeInfoFrame(like_, fields_));
}

}  // namespace quillet
