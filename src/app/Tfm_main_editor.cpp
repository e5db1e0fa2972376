// Segment selection and playback: the bars, the one-second steps, the marks and the player.
#include <QFileInfo>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

#include "app/Tfm_main.h"
#include "common/FormatTime.h"
#include "editor/PlayRange.h"
#include "editor/SegmentEdit.h"
#include "tracks/TrackRowText.h"

namespace quillet {

namespace {

const QString kBeginBar = QStringLiteral("Begin bar");
const QString kEndBar = QStringLiteral("End bar");
const QString kPlaying = QStringLiteral("Playing");
const QString kPause = QStringLiteral("pause");
const QString kStop = QStringLiteral("Stop");
const QString kNoFile = QStringLiteral("No file is playing");

// Every read asks the file for this many positions: a tenth of a second at 44.1 kHz.
constexpr int32_t kBlockPositions = 4410;

// Read at every use, so that the stored switch is the only truth. After the window closed
// the settings are gone and a late player event plays on without pre-listen.
bool PreListen(const Tfm_main& w) {
    return w.SettingsFile && w.SettingsFile->ReadBool(kCut, kPreListen, false);
}

void ShowSegment(Tfm_main& w, int row) {
    const TrackInfo& t = w.TrackTable[row];
    if (QTreeWidgetItem* item = w.lv->topLevelItem(row))
        item->setText(1, SegmentText(t.StartSec, t.EndSec));
}

void ShowTotalByPositions(Tfm_main& w) {
    SetText(w.TotalTime, FormatTime(TotalSecondsByPositions(w.TrackTable, w.TrackCount)));
}

PlayRange CurrentPlayRange(const Tfm_main& w) {
    return {w.PlayStartPos, w.PlayStartSec, w.PlayLengthPos, w.PlayLengthSec};
}

// Opens the playing row's file and tells the player its format. A format the player refuses
// does not keep playback from being set up: the error is handed back to be raised once the
// window is in step with the player.
std::exception_ptr OpenPlayingFile(Tfm_main& w) {
    if (w.AudioFileRead.IsOpen()) w.AudioFileRead.Close();
    w.AudioFileRead.OpenForRead(w.TrackTable[w.PlayingTrack].FilePath, 0, 1);
    try {
        w.AudioPlayer->SetFormat(w.AudioFileRead.SampleRate(), w.AudioFileRead.Channels());
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// Seeks to the "Current bar" place in the play range and starts the player. The range's own
// start is used rather than the row's: a mark may have moved the row's begin since the range
// was taken, and the timer measures from the range.
void PlayFromBar(Tfm_main& w, int bar) {
    const bool preListen = PreListen(w);
    w.PlayOffsetPos = PlayOffsetAt(bar, w.PlayLengthPos);
    w.AudioFileRead.SeekPosition(PlaySeekTarget(w.PlayStartPos, w.PlayOffsetPos, preListen), 3);
    w.AudioPlayer->Play();
}

void ResumePlayback(Tfm_main& w) {
    w.IsPaused = false;
    const int bar = w.CurrentBar.slider->GetPosition();
    const std::exception_ptr formatError = OpenPlayingFile(w);
    PlayFromBar(w, bar);
    w.SetRowStatus(w.PlayingTrack, kPlaying);
    w.QueueNextBlock();
    w.QueueNextBlock();
    if (formatError) std::rethrow_exception(formatError);
    w.SetPauseMenus(true);
}

// The begin or end of the playing row at the play position ("Begin" and "End").
void Mark(Tfm_main& w, SegmentEnd end) {
    if (w.IsConverting || !w.IsPlaying || w.SelectedRow() < 0) return;
    const int k = w.PlayingTrack;
    TrackInfo& t = w.TrackTable[k];
    const MarkPlan plan =
        PlanMark(w.CurrentBar.slider->GetPosition(), CurrentPlayRange(w), t, PreListen(w));
    if (end == SegmentEnd::Begin) {
        if (!(plan.position < t.EndPos)) {
            w.Prompts().Information(QString::fromLatin1(kBeginRefused));
            return;
        }
        w.BeginBar.slider->SetPosition(plan.bar);
        t.StartPos = plan.position;
        t.StartSec = plan.seconds;
        SetText(w.BeginTime, FormatTime(t.StartSec));
    } else {
        if (!(plan.position > t.StartPos)) {
            w.Prompts().Information(QString::fromLatin1(kEndRefused));
            return;
        }
        w.EndBar.slider->SetPosition(plan.bar);
        t.EndPos = plan.position;
        t.EndSec = plan.seconds;
        SetText(w.EndTime, FormatTime(t.EndSec));
    }
    ShowSegment(w, k);
    w.ShowTotalTime();
}

// A one-second step of the current row's begin or end.
void Step(Tfm_main& w, SegmentEnd end, int delta) {
    if (w.SelectedRow() < 0 || w.IsPlaying) return;
    const int t = w.CurrentTrack;
    if (t < 0 || t >= w.RowCount()) return;
    TrackInfo& track = w.TrackTable[t];
    const StepPlan plan = PlanStep(track, end, delta);
    if (plan.outcome == StepOutcome::Refused) {
        w.Prompts().Information(
            QString::fromLatin1(end == SegmentEnd::Begin ? kBeginRefused : kEndRefused));
    } else if (plan.outcome == StepOutcome::Accepted) {
        SkinBar& bar = end == SegmentEnd::Begin ? w.BeginBar : w.EndBar;
        SkinText& time = end == SegmentEnd::Begin ? w.BeginTime : w.EndTime;
        if (end == SegmentEnd::Begin) {
            track.StartSec = plan.seconds;
            track.StartPos = plan.position;
        } else {
            track.EndSec = plan.seconds;
            track.EndPos = plan.position;
        }
        bar.slider->SetPosition(plan.bar);
        bar.element->Redraw();
        SetText(time, FormatTime(plan.seconds));
        ShowSegment(w, t);
    }
    w.ShowTotalTime();
}

}  // namespace

// Playback

void Tfm_main::StartPlayback() {
    if (IsConverting) return;
    int selected = SelectedRow();
    if (IsPaused && selected == PlayingTrack) {
        ResumePlayback(*this);
        return;
    }
    if (selected < 0) {
        if (RowCount() == 0) return;
        selected = 0;
        SelectRow(selected);
    }
    if (IsPlaying) {
        AudioPlayer->Stop();
        SetRowStatus(PlayingTrack, kStop);
    }
    PlayingTrack = selected;
    const TrackInfo& track = TrackTable[PlayingTrack];
    if (FreshPlay) {
        CurrentBar.slider->SetPosition(0);
        const PlayRange range = FreshPlayRange(track, PreListen(*this));
        PlayStartSec = range.StartSec;
        PlayStartPos = range.StartPos;
        PlayLengthPos = range.LengthPos;
        PlayLengthSec = range.LengthSec;
    }
    const int bar = CurrentBar.slider->GetPosition();
    const std::exception_ptr formatError = OpenPlayingFile(*this);
    CurrentBar.element->SetVisible(true);
    PlayFromBar(*this, bar);
    SetText(Filename, QFileInfo(track.FilePath).fileName());
    SetRowStatus(PlayingTrack, kPlaying);
    IsPlaying = true;
    IsPaused = false;
    QueueNextBlock();
    QueueNextBlock();
    BeginBar.element->SetVisible(false);
    EndBar.element->SetVisible(false);
    SetPlayingMenus(true);
    if (formatError) std::rethrow_exception(formatError);
}

void Tfm_main::PausePlayback() {
    if (!IsPlaying || IsPaused) return;
    AudioPlayer->Stop();
    SetRowStatus(PlayingTrack, kPause);
    SetPauseMenus(false);
    IsPaused = true;
}

void Tfm_main::StopPlayback() {
    if (!IsPlaying) return;
    if (AudioFileRead.IsOpen()) AudioFileRead.Close();
    AudioPlayer->Stop();
    SetRowStatus(PlayingTrack, kStop);
    SetText(Filename, kNoFile);
    CurrentBar.element->SetVisible(false);
    CurrentBar.slider->SetPosition(0);
    CurrentBar.element->Redraw();
    SetText(CurrentTime, kZeroTime);
    BeginBar.element->SetVisible(true);
    EndBar.element->SetVisible(true);
    IsPlaying = false;
    IsPaused = false;
    SetPlayingMenus(false);
}

void Tfm_main::QueueNextBlock() {
    // A request that arrives after playback stopped has no file to read from.
    if (!AudioFileRead.IsOpen()) return;
    const SampleArray block = AudioFileRead.ReadSamples(kBlockPositions);
    AudioPlayer->QueueSamples(block);
}

void Tfm_main::AudioPlayerEndArrayPlay() { QueueNextBlock(); }

void Tfm_main::AudioPlayerRequestOnLoadArray() { QueueNextBlock(); }

void Tfm_main::AudioPlayerEndPlay() { StopPlayback(); }

void Tfm_main::AudioPlayerTimer(int currentSamples, int, int) {
    // Only a running player moves the bar; paused, seeking or stopped it stays where it is.
    if (!IsPlaying || IsPaused) return;
    int n = PlayBarAt(currentSamples, PlayOffsetPos, PlayLengthPos);
    if (n >= kBarMax) {
        n = kBarMax;
        StopPlayback();
    }
    // The end of the range stays on show after the stop.
    const int32_t s = PlaySecondsAt(n, PlayLengthSec, PlayStartSec, PreListen(*this));
    CurrentBar.slider->SetPosition(n);
    CurrentBar.element->Redraw();
    SetText(CurrentTime, FormatTime(s));
}

void Tfm_main::CurrentBarScrollTrack(int newPos) {
    if (RowCount() == 0 || SelectedRow() < 0 || !IsPlaying) return;
    // Measured from the play range, as the timer does, so the time does not jump on release.
    const int32_t s =
        PlaySecondsAt(ClampBar(newPos), PlayLengthSec, PlayStartSec, PreListen(*this));
    SetText(CurrentTime, FormatTime(s));
}

void Tfm_main::MarkBegin() { Mark(*this, SegmentEnd::Begin); }

void Tfm_main::MarkEnd() { Mark(*this, SegmentEnd::End); }

// Segment selection while nothing plays

void Tfm_main::IncreaseTime(int which) {
    Step(*this, which == 1 ? SegmentEnd::Begin : SegmentEnd::End, +1);
}

void Tfm_main::DecreaseTime(int which) {
    Step(*this, which == 1 ? SegmentEnd::Begin : SegmentEnd::End, -1);
}

void Tfm_main::SegmentScrollTrack(const QString& sourceName, int newPos) {
    if (RowCount() == 0 || IsPlaying) return;
    const bool begin = sourceName == kBeginBar;
    if (begin || sourceName == kEndBar) {
        const int i = SelectedRow();
        if (i < 0) return;
        const SegmentEnd end = begin ? SegmentEnd::Begin : SegmentEnd::End;
        TrackInfo& t = TrackTable[i];
        SkinText& time = begin ? BeginTime : EndTime;
        const DragPlan plan = PlanDrag(t, end, newPos);
        if (!plan.accepted) {
            Prompts().Information(QString::fromLatin1(begin ? kBeginRefused : kEndRefused));
            // The bar is put back by the restore timer, after the box has gone.
            RestoreBeginBar = begin;
            Timer->start();
            SetText(time, SavedTimeText);
            if (QTreeWidgetItem* item = lv->topLevelItem(i)) {
                item->setText(1, begin ? QStringLiteral("  ") + SavedTimeText +
                                             QStringLiteral(" - ") + FormatTime(t.EndSec)
                                       : QStringLiteral("  ") + FormatTime(t.StartSec) +
                                             QStringLiteral(" - ") + SavedTimeText);
            }
            RestoreEnd(t, end, SavedBarPos);
            return;
        }
        if (begin) {
            t.StartSec = plan.seconds;
            SetText(time, FormatTime(t.StartSec));
            t.StartPos = plan.position;
        } else {
            t.EndSec = plan.seconds;
            SetText(time, FormatTime(t.EndSec));
            t.EndPos = plan.position;
        }
        ShowSegment(*this, i);
    }
    ShowTotalByPositions(*this);
}

}  // namespace quillet
