#include "platform/audio/Mp3FrameCopy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/audio/Mp3InfoFrame.h"
#include "platform/audio/Mp3ReservoirLayout.h"
#include "platform/audio/Mp3SourceFrames.h"
#include "platform/audio/Mp3StreamWriter.h"

namespace quillet {

namespace {

// FFmpeg and mpg123 drop 528 + 1 samples more than the LAME tag's delay: the delay of the
// synthesis filterbank.
constexpr int64_t kDecoderDelay = 529;
// mpg123 starts decoding this many frames before the first frame it plays (its IGNORESHIFT).
constexpr int64_t kMpg123Preroll = 2;

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

QString CopyOrRefuse(Mp3SourceFrames& source, int64_t start, int64_t end, PendingFile& file) {
    if (!source.First()) return QStringLiteral("no MPEG audio frames were found in it");
    const Mp3FrameHeader& stream = *source.First();
    if (stream.layer != 3)
        return QStringLiteral("it holds MPEG Layer %1 audio, not MP3")
            .arg(stream.layer == 1 ? QStringLiteral("I") : QStringLiteral("II"));
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

    std::optional<Mp3LeadIn> lead = Mp3FrameCopy::LeadIn(source, first, rawStart % spf);
    const std::optional<Mp3SourceFrames::Frame> head = source.At(first);
    if (!lead || !head) return QStringLiteral("frames before the stretch are damaged");
    const int64_t skip = rawStart % spf + int64_t{lead->frames} * spf;
    const int64_t frames = lead->frames + (last - first + 1);
    const int delay = static_cast<int>(skip - kDecoderDelay);
    const int padding = static_cast<int>(frames * spf + kDecoderDelay - skip - (end - start));
    if (delay > kMaxLameDelay || padding > kMaxLameDelay)
        return QStringLiteral("the LAME tag cannot hold the delays");

    Mp3StreamWriter out(file, head->header);
    out.AppendFrames(lead->bytes);
    const QString damaged = out.AppendSource(source, first, last);
    if (!damaged.isEmpty()) return damaged;
    out.Finish(delay, padding, SourceEncoding(source));
    return QString();
}

}  // namespace

QString Mp3FrameCopy::Copy(Mp3SourceFrames& source, int64_t start, int64_t end, PendingFile& out) {
    return CopyOrRefuse(source, start, end, out);
}

std::optional<Mp3LeadIn> Mp3FrameCopy::LeadIn(Mp3SourceFrames& source, int64_t first,
                                              int64_t offset) {
    std::optional<Lead> lead = MakeLead(source, first);
    if (!lead) return std::nullopt;
    if (offset + int64_t{lead->frames} * source.First()->samples < kDecoderDelay) {
        // A source without a delay of its own, cut from its first samples: two silent frames
        // make room for the decoders' delay (and keep mpg123's frame parity).
        const Mp3FrameHeader& stream = *source.First();
        Lead silent;
        AddLaidOut({SilentDraft(stream), SilentDraft(stream)}, {}, silent);
        silent.Add(lead->bytes, lead->frames);
        lead = std::move(silent);
    }
    return Mp3LeadIn{std::move(lead->bytes), lead->frames};
}

std::optional<LameEncoding> SourceEncoding(Mp3SourceFrames& source) {
    const std::optional<std::vector<uint8_t>> info = source.InfoFrame();
    if (!info) return std::nullopt;
    return ReadLameEncoding(info->data(), static_cast<int>(info->size()));
}

}  // namespace quillet
