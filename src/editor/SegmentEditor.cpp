#include "editor/SegmentEditor.h"

#include <algorithm>

#include "common/FormatTime.h"
#include "common/MulDiv.h"
#include "common/RunState.h"
#include "editor/EditorView.h"
#include "editor/PlaybackSession.h"
#include "tracks/TrackList.h"

namespace quillet {

namespace {

using Bar = EditorView::Bar;
using Text = EditorView::Text;

const QString kBeginBar = QStringLiteral("Begin bar");
const QString kEndBar = QStringLiteral("End bar");
const QString kZeroTime = QStringLiteral("00:00:00");

}  // namespace

SegmentEditor::SegmentEditor(TrackList& tracks, RunState& run, PlaybackSession& playback,
                             EditorView& view, QObject* parent)
    : QObject(parent), tracks_(tracks), run_(run), playback_(playback), view_(view) {}

void SegmentEditor::LoadCurrentRow() {
    const int rows = tracks_.Rows();
    if (rows == 0) return;
    const int selected = view_.SelectedRow();
    if (selected >= 0) {
        run_.CurrentTrack = selected;
    } else {
        run_.CurrentTrack = std::clamp(run_.CurrentTrack, 0, rows - 1);
        view_.SelectRow(run_.CurrentTrack);
    }
    const TrackInfo& t = tracks_.Record(run_.CurrentTrack);
    // A file shorter than one second has no scale: its bars stay at the ends.
    const auto barOf = [&](int32_t sec, int none) {
        const int32_t pos = SecondsToBar(sec, t.LengthSec);
        return pos < 0 ? none : std::min(pos, kBarMax);
    };
    view_.SetText(Text::BeginTime, FormatTime(t.StartSec));
    view_.SetBar(Bar::Begin, barOf(t.StartSec, 0), false);
    view_.SetText(Text::EndTime, FormatTime(t.EndSec));
    view_.SetBar(Bar::End, barOf(t.EndSec, kBarMax), false);
    view_.SetText(Text::CurrentTime, FormatTime(BarToSeconds(playback_.HeadBar(), t.LengthSec)));
    emit CurrentRowChanged();
}

void SegmentEditor::SelectFirstAppended(int row) {
    if (view_.SelectedRow() >= 0 || !tracks_.IsRow(row)) return;
    view_.SelectRow(row);
    // The editor's commands act on CurrentTrack: keep it on the row the editor now shows.
    run_.CurrentTrack = row;
    view_.SetText(Text::EndTime, FormatTime(tracks_.Record(row).LengthSec));
    view_.SetBar(Bar::Begin, 0, false);
    view_.ShowBar(Bar::Begin, true);
    view_.SetBar(Bar::End, kBarMax, false);
    view_.ShowBar(Bar::End, true);
    playback_.SetHead(0, false);
    view_.SetText(Text::CurrentTime, kZeroTime);
    emit CurrentRowChanged();
}

void SegmentEditor::Reset(bool withCurrentBar) {
    view_.SetText(Text::TotalTime, kZeroTime);
    if (withCurrentBar) playback_.SetHead(0, true);
    view_.SetBar(Bar::Begin, 0, true);
    view_.SetBar(Bar::End, 0, true);
    view_.SetText(Text::CurrentTime, kZeroTime);
    view_.SetText(Text::BeginTime, kZeroTime);
    view_.SetText(Text::EndTime, kZeroTime);
}

void SegmentEditor::ScrollTrack(const QString& sourceName, int newPos) {
    if (tracks_.Rows() == 0 || playback_.IsPlaying()) return;
    const bool begin = sourceName == kBeginBar;
    if (begin || sourceName == kEndBar) {
        const int row = view_.SelectedRow();
        if (row < 0) return;
        Drag(begin ? SegmentEnd::Begin : SegmentEnd::End, row, newPos);
        return;
    }
    ShowTotalByPositions();
}

void SegmentEditor::Drag(SegmentEnd end, int row, int newPos) {
    const bool begin = end == SegmentEnd::Begin;
    const TrackInfo& t = tracks_.Record(row);
    const Text time = begin ? Text::BeginTime : Text::EndTime;
    const DragPlan plan = PlanDrag(t, end, newPos);
    if (!plan.accepted) {
        view_.Information(QString::fromLatin1(begin ? kBeginRefused : kEndRefused));
        // The bar is put back by the restore timer, after the box has gone.
        run_.RestoreBeginBar = begin;
        view_.ArmRestoreTimer();
        view_.SetText(time, run_.SavedTimeText);
        tracks_.SetSegmentText(row, begin ? QStringLiteral("  ") + run_.SavedTimeText +
                                                QStringLiteral(" - ") + FormatTime(t.EndSec)
                                          : QStringLiteral("  ") + FormatTime(t.StartSec) +
                                                QStringLiteral(" - ") + run_.SavedTimeText);
        const int32_t seconds = BarToSeconds(run_.SavedBarPos, t.LengthSec);
        const int64_t position = BarToPositions(run_.SavedBarPos, t.LengthPos);
        if (begin)
            tracks_.SetBegin(row, position, seconds);
        else
            tracks_.SetEnd(row, position, seconds);
        return;
    }
    view_.SetText(time, FormatTime(plan.seconds));
    if (begin)
        tracks_.SetBegin(row, plan.position, plan.seconds);
    else
        tracks_.SetEnd(row, plan.position, plan.seconds);
    tracks_.ShowSegment(row);
    ShowTotalByPositions();
}

void SegmentEditor::Step(SegmentEnd end, int delta) {
    if (view_.SelectedRow() < 0 || playback_.IsPlaying()) return;
    const int t = run_.CurrentTrack;
    if (!tracks_.IsRow(t)) return;
    const StepPlan plan = PlanStep(tracks_.Record(t), end, delta);
    const bool begin = end == SegmentEnd::Begin;
    if (plan.outcome == StepOutcome::Refused) {
        view_.Information(QString::fromLatin1(begin ? kBeginRefused : kEndRefused));
    } else if (plan.outcome == StepOutcome::Accepted) {
        if (begin)
            tracks_.SetBegin(t, plan.position, plan.seconds);
        else
            tracks_.SetEnd(t, plan.position, plan.seconds);
        view_.SetBar(begin ? Bar::Begin : Bar::End, plan.bar, true);
        view_.SetText(begin ? Text::BeginTime : Text::EndTime, FormatTime(plan.seconds));
        tracks_.ShowSegment(t);
    }
    ShowTotalTime();
}

void SegmentEditor::Mark(SegmentEnd end) {
    if (run_.IsConverting || !playback_.IsPlaying() || view_.SelectedRow() < 0) return;
    const int k = playback_.PlayingTrack();
    const TrackInfo& t = tracks_.Record(k);
    // A range played once lies in the file as the stretch does with pre-listen on.
    const MarkPlan plan =
        PlanMark(playback_.HeadBar(), playback_.Range(), t, playback_.RangeInFile());
    const bool begin = end == SegmentEnd::Begin;
    if (begin ? !(plan.position < t.EndPos) : !(plan.position > t.StartPos)) {
        view_.Information(QString::fromLatin1(begin ? kBeginRefused : kEndRefused));
        return;
    }
    view_.SetBar(begin ? Bar::Begin : Bar::End, plan.bar, false);
    if (begin)
        tracks_.SetBegin(k, plan.position, plan.seconds);
    else
        tracks_.SetEnd(k, plan.position, plan.seconds);
    view_.SetText(begin ? Text::BeginTime : Text::EndTime, FormatTime(plan.seconds));
    tracks_.ShowSegment(k);
    ShowTotalTime();
}

bool SegmentEditor::SetStretch(int row, int64_t startPos, int64_t endPos, int sampleRate) {
    if (run_.IsConverting || !tracks_.IsRow(row) || sampleRate <= 0) return false;
    const TrackInfo& t = tracks_.Record(row);
    if (startPos < 0 || startPos >= endPos || endPos > t.LengthPos) return false;
    tracks_.SetStretch(row, startPos, PositionToWholeSeconds(startPos, sampleRate), endPos,
                       PositionToWholeSeconds(endPos, sampleRate));
    // The bars and times show the current row only; the list shows every row.
    if (row == run_.CurrentTrack) {
        view_.SetBar(Bar::Begin, PositionsToBar(t.StartPos, t.LengthPos), true);
        view_.SetText(Text::BeginTime, FormatTime(t.StartSec));
        view_.SetBar(Bar::End, PositionsToBar(t.EndPos, t.LengthPos), true);
        view_.SetText(Text::EndTime, FormatTime(t.EndSec));
    }
    tracks_.ShowSegment(row);
    ShowTotalTime();
    return true;
}

void SegmentEditor::ShowTotalTime() {
    view_.SetText(Text::TotalTime, FormatTime(tracks_.TotalSeconds()));
}

void SegmentEditor::ShowTotalByPositions() {
    view_.SetText(Text::TotalTime, FormatTime(tracks_.TotalSecondsByPositions()));
}

}  // namespace quillet
