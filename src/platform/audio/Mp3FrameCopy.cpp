#include "platform/audio/Mp3FrameCopy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/audio/Mp3InfoFrame.h"
#include "platform/audio/Mp3ReservoirLayout.h"
#include "platform/audio/Mp3SourceFrames.h"
#include "platform/audio/PendingFileWriter.h"

namespace quillet {

namespace {

// FFmpeg and mpg123 drop 528 + 1 samples more than the LAME tag's delay: the delay of the
// synthesis filterbank.
constexpr int64_t kDecoderDelay = 529;
// mpg123 starts decoding this many frames before the first frame it plays (its IGNORESHIFT).
constexpr int64_t kMpg123Preroll = 2;
constexpr int64_t kCopyBytes = 1 << 20;

struct Refused {
    QString reason;
};

// The frames written before the first copied frame.
struct Lead {
    std::vector<uint8_t> bytes;
    int frames = 0;

    void Add(const std::vector<uint8_t>& frameBytes, int count) {
        bytes.insert(bytes.end(), frameBytes.begin(), frameBytes.end());
        frames += count;
    }
};

bool AddOriginal(Mp3SourceFrames& source, int64_t i, Lead& lead) {
    const std::optional<Mp3SourceFrames::Frame> frame = source.At(i);
    if (!frame) return false;
    lead.Add(frame->bytes, 1);
    return true;
}

bool AddLaidOut(const std::vector<Mp3FrameDraft>& drafts, const std::vector<uint8_t>& reservoir,
                Lead& lead) {
    const std::optional<Mp3Layout> layout = LayOutFrames(drafts, reservoir);
    if (!layout) return false;
    lead.Add(layout->bytes, layout->frames);
    return true;
}

// The stretch starts in one of the first frames: they go as they are, from the stream's start.
std::optional<Lead> FromStart(Mp3SourceFrames& source, int64_t first) {
    Lead lead;
    for (int64_t i = 0; i < first; ++i)
        if (!AddOriginal(source, i, lead)) return std::nullopt;
    return lead;
}

// MPEG-1, one frame: the frame before the first, whole in its own slot, with the first frame's
// reservoir at the end of it.
std::optional<Lead> OneFrameLead(Mp3SourceFrames& source, int64_t first) {
    const std::optional<Mp3FrameDraft> before = source.Draft(first - 1);
    const std::optional<std::vector<uint8_t>> reservoir = source.Reservoir(first);
    Lead lead;
    if (!before || !reservoir || !AddLaidOut({*before}, *reservoir, lead)) return std::nullopt;
    return lead;
}

// MPEG-1, two frames: the frame before the first as it is, after a frame that holds its
// reservoir: the source's own frame when its slot does, else a silent one laid out for it.
std::optional<Lead> TwoFrameLead(Mp3SourceFrames& source, int64_t first) {
    const std::optional<std::vector<uint8_t>> reservoir = source.Reservoir(first - 1);
    if (!reservoir) return std::nullopt;
    Lead lead;
    const std::optional<Mp3SourceFrames::Frame> carrier = source.At(first - 2);
    if (carrier && reservoir->size() <= static_cast<size_t>(carrier->header.MainDataBytes()))
        lead.Add(carrier->bytes, 1);
    else if (!AddLaidOut({SilentDraft(*source.First())}, *reservoir, lead))
        return std::nullopt;
    if (!AddOriginal(source, first - 1, lead)) return std::nullopt;
    return lead;
}

// MPEG-2 and 2.5: the second frame before the first whole in its own slot, with the reservoir
// of the frame after it, then that frame as it is.
std::optional<Lead> LsfLead(Mp3SourceFrames& source, int64_t first) {
    const std::optional<Mp3FrameDraft> early = source.Draft(first - 2);
    const std::optional<std::vector<uint8_t>> reservoir = source.Reservoir(first - 1);
    Lead lead;
    if (early && reservoir && AddLaidOut({*early}, *reservoir, lead) &&
        AddOriginal(source, first - 1, lead))
        return lead;
    // Too much data for the largest frame: both frames as they are, after a silent frame that
    // holds the reservoir. FFmpeg decodes them whole; mpg123 starts one frame late.
    const std::optional<std::vector<uint8_t>> earlier = source.Reservoir(first - 2);
    lead = Lead{};
    if (earlier && AddLaidOut({SilentDraft(*source.First())}, *earlier, lead) &&
        AddOriginal(source, first - 2, lead) && AddOriginal(source, first - 1, lead))
        return lead;
    return std::nullopt;
}

std::optional<Lead> MakeLead(Mp3SourceFrames& source, int64_t first) {
    const Mp3FrameHeader& h = *source.First();
    if (first <= (h.Lsf() ? 2 : 1)) return FromStart(source, first);
    if (h.Lsf()) return LsfLead(source, first);
    // The frames mpg123 decodes before `first` in the source: all of them, unless the source's
    // own delay makes it start later.
    const int64_t skippedBySource =
        std::max<int64_t>(0, source.Index().startSkip / h.samples - kMpg123Preroll);
    if ((first - skippedBySource) % 2 == 1)
        if (std::optional<Lead> lead = OneFrameLead(source, first)) return lead;
    return TwoFrameLead(source, first);
}

// Frame starts in the lead, from its first byte (the first audio frame of the copy).
std::vector<int64_t> FrameOffsets(const std::vector<uint8_t>& bytes) {
    std::vector<int64_t> offsets;
    for (size_t at = 0; at + 4 <= bytes.size();) {
        offsets.push_back(static_cast<int64_t>(at));
        at += static_cast<size_t>(Mp3FrameHeader::Parse(bytes.data() + at)->bytes);
    }
    return offsets;
}

int BitrateOf(const std::vector<uint8_t>& bytes, int64_t at) {
    return Mp3FrameHeader::Parse(bytes.data() + at)->bitrateIndex;
}

// Copies the source's frames [first, last] after what out already holds, checking that each is
// whole, of the stream, and followed right away by the next. Gives the music CRC on.
void CopyFrames(Mp3SourceFrames& source, int64_t first, int64_t last, int64_t leadBytes,
                PendingFileWriter& out, Mp3InfoFields& fields, uint16_t& crc) {
    const std::vector<int64_t>& offsets = source.Index().offsets;
    const Mp3FrameHeader& stream = *source.First();
    const int64_t from = offsets[static_cast<size_t>(first)];
    std::vector<uint8_t> chunk;
    for (int64_t i = first; i <= last;) {
        // Whole frames only, about a megabyte at a time.
        int64_t j = i;
        const int64_t chunkStart = offsets[static_cast<size_t>(i)];
        auto endOf = [&](int64_t k) {
            return k + 1 < source.Count() ? offsets[static_cast<size_t>(k + 1)]
                                          : source.Index().dataEnd;
        };
        while (j < last && endOf(j + 1) - chunkStart <= kCopyBytes) ++j;
        const int64_t chunkEnd = endOf(j);
        chunk.resize(static_cast<size_t>(chunkEnd - chunkStart));
        source.Read(chunkStart, chunkEnd - chunkStart, chunk.data());
        for (int64_t k = i; k <= j; ++k) {
            const int64_t at = offsets[static_cast<size_t>(k)] - chunkStart;
            const std::optional<Mp3FrameHeader> h = at + 4 <= static_cast<int64_t>(chunk.size())
                                                        ? Mp3FrameHeader::Parse(chunk.data() + at)
                                                        : std::nullopt;
            if (!h || !h->SameStream(stream))
                throw Refused{QStringLiteral("the stream changes its format inside the stretch")};
            if (h->bytes != endOf(k) - offsets[static_cast<size_t>(k)])
                throw Refused{QStringLiteral("frames inside the stretch are damaged")};
            if (h->bitrateIndex != stream.bitrateIndex) fields.sameBitrate = false;
            fields.frameOffsets.push_back(leadBytes + offsets[static_cast<size_t>(k)] - from);
        }
        crc = LameCrc16(chunk.data(), chunk.size(), crc);
        out.Append(chunk);
        i = j + 1;
    }
}

QString CopyOrRefuse(Mp3SourceFrames& source, int64_t start, int64_t end, PendingFile& file) {
    if (!source.First()) return QStringLiteral("no MPEG audio frames were found in it");
    const Mp3FrameHeader& stream = *source.First();
    if (stream.layer != 3)
        return QStringLiteral("it holds MPEG Layer %1 audio, not MP3")
            .arg(stream.layer == 1 ? "I" : "II");
    const Mp3FrameIndex& index = source.Index();
    const int64_t spf = stream.samples;
    if (start < 0 || end <= start || end > index.length)
        return QStringLiteral("the stretch lies outside the audio");
    const int64_t rawStart = start + index.startSkip;
    const int64_t rawEnd = end + index.startSkip;
    const int64_t first = rawStart / spf;
    const int64_t last = (rawEnd - 1) / spf;
    if (last >= source.Count()) return QStringLiteral("the stretch lies outside the audio");
    // FFmpeg forgets the rest of the start skip at the packet that carries the end's padding.
    if (first == last && rawStart % spf != 0)
        return QStringLiteral("the stretch starts and ends inside one MP3 frame");

    std::optional<Lead> lead = MakeLead(source, first);
    if (!lead) return QStringLiteral("frames before the stretch are damaged");
    int64_t skip = rawStart % spf + int64_t{lead->frames} * spf;
    if (skip < kDecoderDelay) {
        // A source without a delay of its own, cut from its first samples: two silent frames
        // make room for the decoders' delay (and leave mpg123's frame parity as it was).
        Lead silent;
        AddLaidOut({SilentDraft(stream), SilentDraft(stream)}, {}, silent);
        silent.Add(lead->bytes, lead->frames);
        lead = std::move(silent);
        skip += 2 * spf;
    }
    const int64_t frames = lead->frames + (last - first + 1);
    Mp3InfoFields fields;
    fields.frames = frames;
    fields.encoderDelay = static_cast<int>(skip - kDecoderDelay);
    fields.padding = static_cast<int>(frames * spf + kDecoderDelay - skip - (end - start));
    if (fields.encoderDelay > kMaxLameDelay || fields.padding > kMaxLameDelay)
        return QStringLiteral("the LAME tag cannot hold the delays");
    if (const std::optional<std::vector<uint8_t>> info = source.InfoFrame())
        fields.encoding = ReadLameEncoding(info->data(), static_cast<int>(info->size()));
    const std::optional<Mp3SourceFrames::Frame> head = source.At(first);
    if (!head) return QStringLiteral("frames inside the stretch are damaged");

    PendingFileWriter out(file);
    // The Info frame's size does not depend on what it says: it is written again at the end.
    const std::vector<uint8_t> placeholder = MakeInfoFrame(head->header, fields);
    out.Append(placeholder);
    fields.frameOffsets = FrameOffsets(lead->bytes);
    for (int64_t at : fields.frameOffsets)
        if (BitrateOf(lead->bytes, at) != stream.bitrateIndex) fields.sameBitrate = false;
    uint16_t crc = LameCrc16(lead->bytes.data(), lead->bytes.size());
    out.Append(lead->bytes);
    CopyFrames(source, first, last, static_cast<int64_t>(lead->bytes.size()), out, fields, crc);
    fields.audioBytes = out.Size() - static_cast<int64_t>(placeholder.size());
    fields.musicCrc = crc;
    out.WriteAt(0, MakeInfoFrame(head->header, fields));
    return QString();
}

}  // namespace

QString Mp3FrameCopy::Copy(Mp3SourceFrames& source, int64_t start, int64_t end, PendingFile& out) {
    try {
        return CopyOrRefuse(source, start, end, out);
    } catch (const Refused& refused) {
        return refused.reason;
    }
}

}  // namespace quillet
