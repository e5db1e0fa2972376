#include "widgets/StretchOverview.h"

#include <QVector>
#include <algorithm>

#include "editor/PeakBuilder.h"
#include "editor/StretchEditorHost.h"
#include "editor/WaveformPeaks.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

StretchOverview::StretchOverview(StretchEditorHost& host, QObject* parent)
    : QObject(parent), host_(host), builder_(new PeakBuilder(this)) {
    connect(&host_, &StretchEditorHost::RowChanged, this, &StretchOverview::LoadRow);
    connect(&host_, &StretchEditorHost::StretchChanged, this, &StretchOverview::DrawSpan);
    connect(builder_, &PeakBuilder::Progress, this, &StretchOverview::DrawPeaks);
    connect(builder_, &PeakBuilder::Finished, this, &StretchOverview::DrawPeaks);
    connect(builder_, &PeakBuilder::Failed, this, &StretchOverview::DrawPeaks);
}

void StretchOverview::Attach(std::vector<ISkinWave*> waves) {
    waves_.clear();
    for (ISkinWave* wave : waves)
        if (wave) waves_.push_back(wave);
    LoadRow();
}

void StretchOverview::LoadRow() {
    if (!host_.HasRow()) {
        builder_->Cancel();
        stamp_.reset();
        DrawPeaks();
        return;
    }
    const QString path = host_.FilePath();
    std::optional<SourceStamp> stamp = SourceStamp::Of(path);
    // The builder may be on this file already (the editor opened it, or the row came back):
    // it is read again only when it was replaced on disk or could not be read.
    const bool same = builder_->Path() == path && stamp == stamp_ &&
                      (builder_->IsRunning() || builder_->Peaks().Complete());
    stamp_ = std::move(stamp);
    if (!same) builder_->Start(path, host_.LengthPos());
    DrawPeaks();
}

void StretchOverview::DrawPeaks() {
    const WaveformPeaks& peaks = builder_->Peaks();
    const int64_t frames = host_.HasRow() ? host_.LengthPos() : 0;
    for (ISkinWave* wave : waves_) {
        QVector<float> low, high;
        const int columns = wave->Columns();
        if (!peaks.Empty() && frames > 0 && columns > 0 && builder_->Path() == host_.FilePath()) {
            const int level = peaks.LevelFor(static_cast<double>(frames) / columns);
            const int64_t ready = peaks.ReadyFrames();
            for (int x = 0; x < columns; ++x) {
                const int64_t first = frames * x / columns;
                const int64_t last = std::max(first + 1, frames * (x + 1) / columns);
                if (last > ready && !peaks.Complete()) break;
                PeakValue v;
                if (!peaks.Summary(level, -1, first, last, v)) break;
                low.append(v.min);
                high.append(v.max);
            }
        }
        wave->SetEnvelope(low, high);
    }
    DrawSpan();
}

void StretchOverview::DrawSpan() {
    const int64_t frames = host_.HasRow() ? host_.LengthPos() : 0;
    for (ISkinWave* wave : waves_) {
        if (frames <= 0) {
            wave->SetSpan(0, 0);
            continue;
        }
        // On the bars' scale: 1000 is the whole file.
        wave->SetSpan(static_cast<int>(host_.StartPos() * 1000 / frames),
                      static_cast<int>(host_.EndPos() * 1000 / frames));
    }
}

}  // namespace quillet
