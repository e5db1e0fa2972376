#include "platform/audio/Mp3SpliceJoin.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "platform/audio/Mp3FrameCopy.h"
#include "platform/audio/Mp3ReservoirLayout.h"
#include "platform/audio/Mp3SourceFrames.h"
#include "platform/audio/Mp3StreamWriter.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"

namespace quillet {

namespace {

// FFmpeg and mpg123 drop 528 + 1 samples more than the LAME tag's delay.
constexpr int64_t kDecoderDelay = 529;
// Frames re-encoded on each side of a join, besides the frame that holds it.
constexpr int64_t kMargin = 1;
// Frames encoded before a re-encoded run and dropped: LAME's first frames after its start are
// primed from silence, the later ones from the audio before, as the copied frames are.
constexpr int64_t kEncoderLead = 3;
// Frames encoded after the run, so that LAME's look-ahead sees the audio that follows it.
constexpr int64_t kEncoderTail = 2;
// LAME (through FFmpeg) delays its output by 576 samples; decoders drop 529 more.
constexpr int64_t kLameSkip = 576 + kDecoderDelay;
// LAME's quality for the few frames it makes: the best, as there are few.
constexpr int kLameQuality = 0;

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t Mod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

struct Source {
    Mp3Stretch stretch;
    std::unique_ptr<Mp3SourceFrames> frames;
    std::unique_ptr<TAudioFile2> reader;  // opened when its audio is needed
    int64_t rawStart = 0;                 // start + the source's start skip
    int64_t length = 0;
    int64_t outStart = 0;  // output sample index of its first sample (before the start skip)
    // Its copied frames: output frame = source frame + shift, for output frames [first, last].
    bool copied = false;
    int64_t shift = 0;
    int64_t first = 0;
    int64_t last = -1;
};

// A part of the output: source frames copied, or output frames re-encoded.
struct Part {
    bool copy = false;
    int source = 0;  // for a copy
    int64_t first = 0;
    int64_t last = 0;  // output frames, inclusive
};

class Joiner {
  public:
    Joiner(const std::vector<Mp3Stretch>& stretches, const Mp3SpliceJoin::Hooks& hooks)
        : hooks_(hooks) {
        int64_t joined = 0;
        for (const Mp3Stretch& s : stretches) {
            if (s.end > s.start) stretches_.push_back(s);
            joined += std::max<int64_t>(0, s.end - s.start);
            ends_.push_back(joined);
        }
    }

    QString Join(PendingFile& file);

  private:
    QString Load();
    void ChooseGrid();
    void PlanParts();
    QString Write(PendingFile& file);
    QString WriteRun(const Part& part, Mp3StreamWriter& out);
    std::optional<std::vector<Mp3FrameDraft>> Encode(int64_t first, int64_t last);
    std::vector<float> Samples(int64_t from, int64_t count);
    // The stretches finished and the joined positions covered once `done` of them are.
    void Report(int64_t done);
    void ReadSource(Source& s, int64_t from, int64_t count, float* out);
    int Kbps() const;

    const Mp3SpliceJoin::Hooks& hooks_;
    std::vector<Mp3Stretch> stretches_;
    std::vector<int64_t> ends_;  // joined positions at the end of each stretch given, empty or not
    std::vector<Source> sources_;
    Mp3FrameHeader stream_;
    int64_t spf_ = 0;
    int64_t skip_ = 0;   // output samples before the first joined one
    int64_t total_ = 0;  // joined samples
    int64_t frames_ = 0;
    std::optional<Mp3LeadIn> lead_;
    std::vector<Part> parts_;
    bool stopped_ = false;
    QTemporaryDir scratch_{QDir::tempPath() + QStringLiteral("/quillet-join-XXXXXX")};
};

QString Joiner::Load() {
    if (stretches_.empty()) return QStringLiteral("there is nothing to join");
    for (const Mp3Stretch& s : stretches_) {
        Source source;
        source.stretch = s;
        source.frames = std::make_unique<Mp3SourceFrames>(s.path);
        const std::optional<Mp3FrameHeader>& h = source.frames->First();
        if (!h || h->layer != 3) return QStringLiteral("%1 holds no MP3 audio").arg(s.path);
        if (!sources_.empty() && !h->SameStream(stream_))
            return QStringLiteral("the stretches differ in sample rate or channels");
        if (sources_.empty()) stream_ = *h;
        const Mp3FrameIndex& index = source.frames->Index();
        if (s.start < 0 || s.end > index.length)
            return QStringLiteral("a stretch lies outside the audio of %1").arg(s.path);
        source.rawStart = s.start + index.startSkip;
        source.length = s.end - s.start;
        sources_.push_back(std::move(source));
    }
    spf_ = stream_.samples;
    return QString();
}

// The output's frame grid: a stretch's frames can be copied only when its first sample falls
// where its own grid puts it; the grid that lets the most audio be copied wins.
void Joiner::ChooseGrid() {
    std::map<int64_t, int64_t> votes;
    int64_t before = 0;
    for (const Source& s : sources_) {
        votes[Mod(s.rawStart - before, spf_)] += s.length;
        before += s.length;
    }
    const int64_t grid =
        std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first;
    total_ = before;
    Source& head = sources_.front();
    if (Mod(head.rawStart, spf_) == grid)
        lead_ = Mp3FrameCopy::LeadIn(*head.frames, head.rawStart / spf_, head.rawStart % spf_);
    if (lead_) {
        skip_ = head.rawStart % spf_ + int64_t{lead_->frames} * spf_;
    } else {
        // The output starts with re-encoded frames: any delay on the grid will do.
        skip_ = grid;
        while (skip_ < kDecoderDelay) skip_ += spf_;
    }
    frames_ = (skip_ + total_ - 1) / spf_ + 1;
    int64_t at = skip_;
    for (Source& s : sources_) {
        s.outStart = at;
        at += s.length;
    }
}

void Joiner::PlanParts() {
    for (size_t i = 0; i < sources_.size(); ++i) {
        Source& s = sources_[i];
        const int64_t shift = s.outStart - s.rawStart;
        if (Mod(shift, spf_) != 0) continue;
        s.shift = shift / spf_;
        const bool isFirst = i == 0;
        const bool isLast = i + 1 == sources_.size();
        const int64_t rawEnd = s.rawStart + s.length;
        // Whole frames inside the stretch, less the margin at each join; the output's own first
        // and last frames are trimmed by the LAME tag instead.
        int64_t first = (s.rawStart + spf_ - 1) / spf_ + kMargin;
        int64_t last = rawEnd / spf_ - 1 - kMargin;
        if (isFirst && lead_) first = s.rawStart / spf_;
        if (isLast) last = std::min((rawEnd - 1) / spf_, s.frames->Count() - 1);
        s.first = first + s.shift;
        s.last = last + s.shift;
        s.copied = s.first <= s.last;
    }
    if (lead_ && !sources_.front().copied) lead_.reset();
    int64_t next = lead_ ? lead_->frames : 0;
    for (size_t i = 0; i < sources_.size(); ++i) {
        const Source& s = sources_[i];
        if (!s.copied) continue;
        if (s.first > next) parts_.push_back({false, 0, next, s.first - 1});
        parts_.push_back({true, static_cast<int>(i), s.first, s.last});
        next = s.last + 1;
    }
    if (next < frames_) parts_.push_back({false, 0, next, frames_ - 1});
}

// The joined audio of output samples [from, from + count): the stretches one after another,
// what lies before and after them taken from their sources (or silence), as the decoders drop it.
std::vector<float> Joiner::Samples(int64_t from, int64_t count) {
    const int channels = stream_.Channels();
    std::vector<float> out(static_cast<size_t>(count * channels), 0.0f);
    for (size_t i = 0; i < sources_.size(); ++i) {
        Source& s = sources_[i];
        int64_t lo = std::max(from, s.outStart);
        int64_t hi = std::min(from + count, s.outStart + s.length);
        if (i == 0) lo = from;
        if (i + 1 == sources_.size()) hi = from + count;
        if (lo >= hi) continue;
        // Source positions, limited to its audio.
        const int64_t position = s.stretch.start + (lo - s.outStart);
        const int64_t begin = std::max<int64_t>(position, 0);
        const int64_t end = std::min(position + (hi - lo), s.frames->Index().length);
        if (begin >= end) continue;
        ReadSource(s, begin, end - begin, out.data() + (lo + (begin - position) - from) * channels);
    }
    return out;
}

void Joiner::ReadSource(Source& s, int64_t from, int64_t count, float* out) {
    if (!s.reader) {
        s.reader = std::make_unique<TAudioFile2>();
        s.reader->OpenForRead(s.stretch.path, 0, 1);
    }
    s.reader->SeekPosition(static_cast<int32_t>(from), 3);
    const int channels = stream_.Channels();
    while (count > 0) {
        const SampleArray block = s.reader->ReadSamples(static_cast<int32_t>(count));
        if (block.Empty()) return;
        const auto positions = static_cast<int64_t>(block.SampleCount()) / channels;
        std::copy(block.Samples(), block.Samples() + positions * channels, out);
        out += positions * channels;
        count -= positions;
    }
}

// The average bitrate of the sources, rounded up to one of the stream's: the re-encoded frames
// should sound like the copied ones.
int Joiner::Kbps() const {
    int64_t bytes = 0;
    int64_t frames = 0;
    for (const Source& s : sources_) {
        bytes += s.frames->Index().dataEnd - s.frames->Index().offsets.front();
        frames += s.frames->Count();
    }
    const double kbps = frames > 0 ? 8.0 * bytes * stream_.sampleRate / (frames * spf_) / 1000 : 0;
    for (int index = 1; index <= 14; ++index)
        if (const auto h = stream_.WithBitrate(index); h && h->kbps >= kbps) return h->kbps;
    return stream_.WithBitrate(14)->kbps;
}

// Output frames [first, last] encoded by LAME from the joined audio, taken apart. A stop while
// encoding ends them early: the frames whose audio was all fed to the encoder are given.
std::optional<std::vector<Mp3FrameDraft>> Joiner::Encode(int64_t first, int64_t last) {
    if (!scratch_.isValid()) return std::nullopt;
    // Input sample 0 of the encoder is output sample `from`: the encoder's frame kEncoderLead
    // then covers output frame `first`.
    const int64_t from = (first - kEncoderLead) * spf_ + kLameSkip;
    const int64_t count = (last + 1 + kEncoderTail) * spf_ - from;
    const QString path = scratch_.filePath(QStringLiteral("splice.mp3"));
    int64_t fed = 0;
    {
        TAudioFile2LameEnc lame;
        lame.SetSampleRate(stream_.sampleRate);
        lame.SetChannels(stream_.Channels());
        lame.SetBitrate(Kbps());
        lame.SetQuality(kLameQuality);
        lame.SetConstantBitrate(true);
        TAudioFile2 writer;
        if (!writer.CheckMp3Format(lame.SampleRate(), lame.Bitrate(), lame.Channels()))
            return std::nullopt;
        writer.SetMp3Encoder(lame);
        writer.CreateForWrite(path, 0);
        writer.SetSourceFormat(stream_.sampleRate, stream_.Channels());
        // A second at a time: a whole stretch may have to be re-encoded.
        const int64_t block = stream_.sampleRate;
        while (fed < count) {
            const int64_t n = std::min(block, count - fed);
            writer.WriteSamples(SampleArray(Samples(from + fed, n)));
            fed += n;
            Report(std::clamp<int64_t>(from + fed - skip_, 0, total_));
            if (fed < count && hooks_.stillGoing && !hooks_.stillGoing()) {
                stopped_ = true;
                break;
            }
        }
        writer.Close();
    }
    Mp3SourceFrames encoded(path);
    if (!encoded.First() || !encoded.First()->SameStream(stream_) ||
        encoded.Index().startSkip != kLameSkip)
        return std::nullopt;
    // Encoder frame e holds input [e * spf - kLameSkip, (e + 1) * spf - kLameSkip).
    const int64_t lastFed = (fed + kLameSkip) / spf_ - 1;
    const int64_t lastFrame = std::min(kEncoderLead + (last - first),
                                       stopped_ ? lastFed : std::numeric_limits<int64_t>::max());
    std::vector<Mp3FrameDraft> drafts;
    for (int64_t e = kEncoderLead; e <= lastFrame; ++e) {
        std::optional<Mp3FrameDraft> d = encoded.Draft(e);
        if (!d) return std::nullopt;
        drafts.push_back(std::move(*d));
    }
    return drafts;
}

void Joiner::Report(int64_t done) {
    if (!hooks_.progress) return;
    const auto finished = std::upper_bound(ends_.begin(), ends_.end(), done) - ends_.begin();
    hooks_.progress(static_cast<int>(finished), done);
}

QString Joiner::WriteRun(const Part& part, Mp3StreamWriter& out) {
    Source& s = sources_[static_cast<size_t>(part.source)];
    return out.AppendSource(*s.frames, part.first - s.shift, part.last - s.shift);
}

QString Joiner::Write(PendingFile& file) {
    Mp3StreamWriter out(file, stream_);
    if (lead_) out.AppendFrames(lead_->bytes);
    int64_t joined = total_;  // what the output holds: all, unless stopped
    for (size_t p = 0; p < parts_.size(); ++p) {
        const Part& part = parts_[p];
        int64_t last = part.last;
        if (part.copy) {
            const QString damaged = WriteRun(part, out);
            if (!damaged.isEmpty()) return damaged;
        } else {
            const std::optional<std::vector<Mp3FrameDraft>> drafts = Encode(part.first, part.last);
            if (!drafts) return QStringLiteral("the frames around a join could not be re-encoded");
            last = part.first + static_cast<int64_t>(drafts->size()) - 1;
            // The copied frame after the run takes its reservoir from the run's last frame.
            std::vector<uint8_t> reservoir;
            if (!stopped_ && p + 1 < parts_.size()) {
                const Part& next = parts_[p + 1];
                Source& s = sources_[static_cast<size_t>(next.source)];
                const std::optional<std::vector<uint8_t>> r =
                    s.frames->Reservoir(next.first - s.shift);
                if (!r) return QStringLiteral("frames inside a stretch are damaged");
                reservoir = *r;
            }
            if (!drafts->empty()) {
                const std::optional<Mp3Layout> layout = LayOutFrames(*drafts, reservoir);
                if (!layout)
                    return QStringLiteral("the frames around a join could not be re-encoded");
                out.AppendFrames(layout->bytes);
            }
        }
        const int64_t done = std::clamp<int64_t>((last + 1) * spf_ - skip_, 0, total_);
        Report(done);
        if (!stopped_ && p + 1 < parts_.size() && hooks_.stillGoing && !hooks_.stillGoing())
            stopped_ = true;
        if (stopped_) {
            joined = done;
            break;
        }
    }
    if (!stopped_ && out.Frames() != frames_)
        return QStringLiteral("the join came out of another length than planned");
    const int64_t padding = out.Frames() * spf_ + kDecoderDelay - skip_ - joined;
    out.Finish(static_cast<int>(skip_ - kDecoderDelay), static_cast<int>(padding),
               SourceEncoding(*sources_.front().frames));
    return QString();
}

QString Joiner::Join(PendingFile& file) {
    const QString refusal = Load();
    if (!refusal.isEmpty()) return refusal;
    ChooseGrid();
    PlanParts();
    if (skip_ - kDecoderDelay > kMaxLameDelay)
        return QStringLiteral("the LAME tag cannot hold the delays");
    // FFmpeg forgets the rest of the start skip at the packet that carries the end's padding.
    if (skip_ > (frames_ - 1) * spf_ && skip_ % spf_ != 0)
        return QStringLiteral("the joined audio starts and ends inside one MP3 frame");
    return Write(file);
}

}  // namespace

QString Mp3SpliceJoin::Join(const std::vector<Mp3Stretch>& stretches, PendingFile& out,
                            const Hooks& hooks) {
    Joiner joiner(stretches, hooks);
    return joiner.Join(out);
}

}  // namespace quillet
