#include "editor/ListStretchHost.h"

#include <algorithm>

#include "common/RunState.h"
#include "editor/PlaybackSession.h"
#include "editor/SegmentEdit.h"
#include "editor/SegmentEditor.h"
#include "tracks/TrackList.h"
#include "tracks/TrackProbe.h"

namespace quillet {

ListStretchHost::ListStretchHost(TrackList& tracks, const RunState& run, PlaybackSession& playback,
                                 SegmentEditor& editor, QObject* parent)
    : StretchEditorHost(parent), tracks_(tracks), run_(run), playback_(playback), editor_(editor) {
    // Whatever reshapes the list may change what CurrentTrack points at.
    const auto refresh = [this] { Refresh(); };
    connect(&tracks_, &TrackList::rowsInserted, this, refresh);
    connect(&tracks_, &TrackList::rowsRemoved, this, refresh);
    connect(&tracks_, &TrackList::rowsMoved, this, refresh);
    connect(&tracks_, &TrackList::modelReset, this, refresh);
    connect(&tracks_, &TrackList::layoutChanged, this, refresh);
    connect(&editor_, &SegmentEditor::CurrentRowChanged, this, refresh);
    connect(&tracks_, &TrackList::StretchChanged, this, [this](int row) {
        if (row == Row()) emit StretchChanged();
    });
    connect(&playback_, &PlaybackSession::Changed, this, &StretchEditorHost::PlaybackChanged);
    Refresh();
}

int ListStretchHost::Row() const {
    return tracks_.IsRow(run_.CurrentTrack) ? run_.CurrentTrack : -1;
}

void ListStretchHost::Refresh() {
    const int row = Row();
    const uint64_t id = row >= 0 ? tracks_.RowId(row) : 0;
    if (id == shownId_) return;
    shownId_ = id;
    cue_ = 0;
    if (row >= 0 && tracks_.SampleRate(row) <= 0) {
        // A file that is gone keeps no rate: the editor then says so of the waveform.
        const TrackProbe probe = ProbeTrack(probe_, tracks_.Record(row).FilePath);
        if (probe.outcome == TrackProbe::Outcome::Usable)
            tracks_.SetSampleRate(row, probe.sampleRate);
    }
    emit RowChanged();
}

QString ListStretchHost::FilePath() const {
    return HasRow() ? tracks_.Record(Row()).FilePath : QString();
}

int ListStretchHost::SampleRate() const { return HasRow() ? tracks_.SampleRate(Row()) : 0; }

int64_t ListStretchHost::LengthPos() const {
    return HasRow() ? tracks_.Record(Row()).LengthPos : 0;
}

int64_t ListStretchHost::StartPos() const { return HasRow() ? tracks_.Record(Row()).StartPos : 0; }

int64_t ListStretchHost::EndPos() const { return HasRow() ? tracks_.Record(Row()).EndPos : 0; }

bool ListStretchHost::SetStretch(int64_t startPos, int64_t endPos, const QString&) {
    return HasRow() && editor_.SetStretch(Row(), startPos, endPos, SampleRate());
}

bool ListStretchHost::PlaysRow() const {
    return HasRow() && playback_.IsPlaying() && playback_.PlayingTrack() == Row();
}

int64_t ListStretchHost::PlayHeadPos() const { return PlaysRow() ? playback_.HeadPos() : cue_; }

bool ListStretchHost::IsPlaying() const { return PlaysRow() && !playback_.IsPaused(); }

void ListStretchHost::SetPlayHead(int64_t pos) {
    if (!HasRow()) return;
    if (PlaysRow()) {
        playback_.SeekHead(pos);
        return;
    }
    cue_ = std::clamp<int64_t>(pos, 0, LengthPos());
    emit PlaybackChanged();
}

void ListStretchHost::Play() {
    if (HasRow()) playback_.PlayFrom(Row(), PlaysRow() ? playback_.HeadPos() : cue_);
}

void ListStretchHost::Pause() {
    if (PlaysRow()) playback_.PauseAtHead();
}

void ListStretchHost::PlayRange(int64_t fromPos, int64_t toPos) {
    const int rate = SampleRate();
    if (!HasRow() || rate <= 0 || toPos <= fromPos) return;
    // The times shown while it plays count from the file's start, in whole seconds as the
    // stretch's own.
    quillet::PlayRange range;
    range.StartPos = fromPos;
    range.StartSec = PositionToWholeSeconds(fromPos, rate);
    range.LengthPos = toPos - fromPos;
    range.LengthSec = PositionToWholeSeconds(toPos, rate) - range.StartSec;
    playback_.PlayOnce(Row(), range);
}

}  // namespace quillet
