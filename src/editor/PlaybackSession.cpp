#include "editor/PlaybackSession.h"

#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "common/FormatTime.h"
#include "common/RunState.h"
#include "editor/EditorView.h"
#include "editor/SegmentEdit.h"
#include "platform/audio/IAudioPlayer2.h"
#include "platform/audio/TAudioFile2.h"
#include "tracks/TrackList.h"

namespace quillet {

namespace {

const QString kPlaying = QStringLiteral("Playing");
const QString kPause = QStringLiteral("pause");
const QString kStop = QStringLiteral("Stop");
const QString kNoFile = QStringLiteral("No file is playing");
const QString kZeroTime = QStringLiteral("00:00:00");

}  // namespace

PlaybackSession::PlaybackSession(TrackList& tracks, const RunState& run, TAudioFile2& reader,
                                 IAudioPlayer2& player, EditorView& view,
                                 std::function<bool()> preListen, QObject* parent)
    : QObject(parent),
      tracks_(tracks),
      run_(run),
      reader_(reader),
      player_(player),
      view_(view),
      preListen_(std::move(preListen)) {
    // The playing row is an index: it follows its file when rows above it go or rows move.
    connect(&tracks_, &TrackList::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { RowsRemoved(first, last); });
    connect(&tracks_, &TrackList::rowsMoved, this,
            [this](const QModelIndex&, int first, int, const QModelIndex&, int destination) {
                RowsMoved(first, destination);
            });
}

PlaybackSession::~PlaybackSession() { StopReadAhead(); }

TAudioFile2& PlaybackSession::Reader() {
    StopReadAhead();
    return reader_;
}

void PlaybackSession::StopReadAhead() {
    if (!readingAhead_) return;
    blocks_.Stop();
    // At most the read under way: a tenth of a second of audio.
    reading_.Drain(Wait::Plain);
    readingAhead_ = false;
    readerDry_ = false;
}

void PlaybackSession::ReadAhead() {
    try {
        for (;;) {
            SampleArray block = reader_.ReadSamples(kBlockPositions);
            const bool empty = block.Empty();
            if (!blocks_.Push(std::move(block)) || empty) return;
        }
    } catch (...) {
        blocks_.Fail(std::current_exception());
    }
}

void PlaybackSession::Play() {
    freshPlay_ = true;
    onceRange_ = false;
    StartPlayback();
}

void PlaybackSession::StartPlayback() {
    if (run_.IsConverting) return;
    int selected = view_.SelectedRow();
    if (isPaused_ && selected == playingTrack_) {
        Resume();
        return;
    }
    if (selected < 0) {
        if (tracks_.Rows() == 0) return;
        selected = 0;
        view_.SelectRow(selected);
    }
    if (isPlaying_) {
        player_.Stop();
        tracks_.SetStatus(playingTrack_, kStop);
    }
    playingTrack_ = selected;
    const TrackInfo& track = tracks_.Record(playingTrack_);
    if (freshPlay_) {
        ShowHead(0, false);
        range_ = FreshPlayRange(track, PreListen());
    }
    const std::exception_ptr formatError = OpenPlayingFile();
    view_.ShowBar(EditorView::Bar::Current, true);
    PlayFromHead();
    view_.SetText(EditorView::Text::Filename, QFileInfo(track.FilePath).fileName());
    tracks_.SetStatus(playingTrack_, kPlaying);
    isPlaying_ = true;
    isPaused_ = false;
    QueueNextBlock();
    QueueNextBlock();
    view_.ShowBar(EditorView::Bar::Begin, false);
    view_.ShowBar(EditorView::Bar::End, false);
    view_.ShowPlayingMenus(true);
    emit Changed();
    if (formatError) std::rethrow_exception(formatError);
}

void PlaybackSession::Resume() {
    isPaused_ = false;
    const std::exception_ptr formatError = OpenPlayingFile();
    PlayFromHead();
    tracks_.SetStatus(playingTrack_, kPlaying);
    QueueNextBlock();
    QueueNextBlock();
    emit Changed();
    if (formatError) std::rethrow_exception(formatError);
    view_.ShowPauseMenus(true);
}

std::exception_ptr PlaybackSession::OpenPlayingFile() {
    TAudioFile2& reader = Reader();
    if (reader.IsOpen()) reader.Close();
    reader.OpenForRead(tracks_.Record(playingTrack_).FilePath, 0, 1);
    try {
        player_.SetFormat(reader.SampleRate(), reader.Channels());
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// Seeks to the head's place in the play range and starts the player. The range's own start is
// used rather than the row's: a mark may have moved the row's begin since the range was taken,
// and the timer measures from the range.
void PlaybackSession::PlayFromHead() {
    offsetPos_ = cueOffset_ ? *cueOffset_ : PlayOffsetAt(headBar_, range_.LengthPos);
    cueOffset_.reset();
    Reader().SeekPosition(PlaySeekTarget(range_.StartPos, offsetPos_, RangeInFile()), 3);
    player_.Play();
    // The reads go on past the range; what is heard ends with it.
    player_.EndAfter(range_.LengthPos - offsetPos_);
    heard_ = 0;
    heardValid_ = true;
}

void PlaybackSession::PausePlayback() {
    if (!isPlaying_ || isPaused_) return;
    player_.Stop();
    // The file stays open where the reading got to; a resume opens it anew.
    StopReadAhead();
    tracks_.SetStatus(playingTrack_, kPause);
    view_.ShowPauseMenus(false);
    isPaused_ = true;
    emit Changed();
}

void PlaybackSession::StopPlayback() {
    if (!isPlaying_) return;
    TAudioFile2& reader = Reader();
    if (reader.IsOpen()) reader.Close();
    player_.Stop();
    tracks_.SetStatus(playingTrack_, kStop);
    view_.SetText(EditorView::Text::Filename, kNoFile);
    view_.ShowBar(EditorView::Bar::Current, false);
    ShowHead(0, true);
    view_.SetText(EditorView::Text::CurrentTime, kZeroTime);
    view_.ShowBar(EditorView::Bar::Begin, true);
    view_.ShowBar(EditorView::Bar::End, true);
    isPlaying_ = false;
    isPaused_ = false;
    view_.ShowPlayingMenus(false);
    emit Changed();
}

void PlaybackSession::QueueNextBlock() {
    if (!readingAhead_) {
        // A request that arrives after playback stopped has no file to read from.
        if (!reader_.IsOpen()) return;
        blocks_.Reset();
        reading_.Post([this] { ReadAhead(); });
        readingAhead_ = true;
    }
    if (readerDry_) {
        player_.QueueSamples(SampleArray());
        return;
    }
    std::optional<SampleArray> block;
    try {
        // Waits only right after a start, for the first block's decode.
        block = blocks_.Pop(Wait::Plain);
    } catch (...) {
        // The read failed; the next request reads again from where it stopped.
        StopReadAhead();
        throw;
    }
    if (block->Empty()) readerDry_ = true;
    player_.QueueSamples(*block);
}

void PlaybackSession::Timer(int currentSamples) {
    // Only a running player moves the head; paused, seeking or stopped it stays where it is.
    if (!isPlaying_ || isPaused_) return;
    int n = PlayBarAt(currentSamples, offsetPos_, range_.LengthPos);
    if (n >= kBarMax) {
        n = kBarMax;
        StopPlayback();
    }
    // The end of the range stays on show after the stop.
    const int32_t s = PlaySecondsAt(n, range_.LengthSec, range_.StartSec, RangeInFile());
    ShowHead(n, true);
    heard_ = currentSamples;
    heardValid_ = isPlaying_;
    view_.SetText(EditorView::Text::CurrentTime, FormatTime(s));
    emit Changed();
}

void PlaybackSession::HeadPressed() { player_.Stop(); }

void PlaybackSession::HeadMoved(int newPos, bool hasRows) {
    headBar_ = ClampBar(newPos);
    cueOffset_.reset();
    heardValid_ = false;
    emit Changed();
    if (!hasRows || view_.SelectedRow() < 0 || !isPlaying_) return;
    // Measured from the play range, as the timer does, so the time does not jump on release.
    const int32_t s = PlaySecondsAt(headBar_, range_.LengthSec, range_.StartSec, RangeInFile());
    view_.SetText(EditorView::Text::CurrentTime, FormatTime(s));
}

void PlaybackSession::HeadReleased() {
    if (!isPlaying_ || isPaused_) return;
    isPlaying_ = false;
    freshPlay_ = false;
    StartPlayback();
}

void PlaybackSession::SetHead(int bar, bool redraw) {
    ShowHead(bar, redraw);
    emit Changed();
}

void PlaybackSession::Halt() {
    if (isPlaying_) player_.Stop();
}

void PlaybackSession::ShowHead(int bar, bool redraw) {
    headBar_ = bar;
    cueOffset_.reset();
    heardValid_ = false;
    view_.SetBar(EditorView::Bar::Current, bar, redraw);
}

// ---- Frame by frame ----

int64_t PlaybackSession::HeadPos() const {
    int64_t into = PlayOffsetAt(headBar_, range_.LengthPos);
    if (cueOffset_)
        into = *cueOffset_;
    else if (heardValid_)
        into = offsetPos_ + heard_;
    into = std::clamp<int64_t>(into, 0, std::max<int64_t>(range_.LengthPos, 0));
    return (RangeInFile() ? range_.StartPos : 0) + into;
}

void PlaybackSession::CueHead(int64_t pos, bool clamp) {
    const int64_t length = std::max<int64_t>(range_.LengthPos, 0);
    int64_t into = pos - (RangeInFile() ? range_.StartPos : 0);
    if (clamp)
        into = std::clamp<int64_t>(into, 0, length);
    else if (into < 0 || into >= length)
        into = 0;
    ShowHead(PositionsToBar(into, length), true);
    cueOffset_ = into;
}

void PlaybackSession::Select(int row) {
    if (view_.SelectedRow() != row) view_.SelectRow(row);
}

// With the range taken here, StartPlayback keeps it (FreshPlay off) and starts from the cued
// head; a pause of the row resumes in its own range.
void PlaybackSession::PlayFrom(int row, int64_t from) {
    if (run_.IsConverting || !tracks_.IsRow(row)) return;
    Select(row);
    if (isPaused_ && playingTrack_ == row) {
        CueHead(from, true);
    } else {
        onceRange_ = false;
        range_ = FreshPlayRange(tracks_.Record(row), PreListen());
        CueHead(from, false);
        freshPlay_ = false;
    }
    StartPlayback();
}

void PlaybackSession::PlayOnce(int row, const PlayRange& range) {
    if (run_.IsConverting || !tracks_.IsRow(row) || range.LengthPos <= 0) return;
    Select(row);
    onceRange_ = true;
    range_ = range;
    CueHead(range.StartPos, true);
    freshPlay_ = false;
    StartPlayback();
}

void PlaybackSession::SeekHead(int64_t pos) {
    if (!isPlaying_) return;
    CueHead(pos, true);
    if (isPaused_) {
        const int32_t s = PlaySecondsAt(headBar_, range_.LengthSec, range_.StartSec, RangeInFile());
        view_.SetText(EditorView::Text::CurrentTime, FormatTime(s));
        emit Changed();
        return;
    }
    player_.Stop();
    Resume();
}

void PlaybackSession::PauseAtHead() {
    if (!isPlaying_ || isPaused_) return;
    const int64_t into = HeadPos() - (RangeInFile() ? range_.StartPos : 0);
    PausePlayback();
    cueOffset_ = into;
}

void PlaybackSession::RowsRemoved(int first, int last) {
    if (first >= playingTrack_) return;
    playingTrack_ -= std::min(last, playingTrack_ - 1) - first + 1;
}

void PlaybackSession::RowsMoved(int first, int destination) {
    // One row moved from `first` to before `destination`: a neighbour exchange.
    const int to = destination > first ? destination - 1 : destination;
    if (playingTrack_ == first) {
        playingTrack_ = to;
    } else if (playingTrack_ == to) {
        playingTrack_ = first;
    }
}

}  // namespace quillet
