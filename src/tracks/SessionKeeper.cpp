#include "tracks/SessionKeeper.h"

#include <algorithm>

#include "common/Guard.h"
#include "common/RunState.h"
#include "tracks/TrackAdder.h"
#include "tracks/TrackList.h"

namespace quillet {

namespace {

bool SameLength(const TrackInfo& now, const TrackInfo& kept) {
    return now.LengthPos == kept.LengthPos && now.LengthSec == kept.LengthSec;
}

// The restore is an add: IsAdding and the add's menus for its span, the count brought up to
// the rows on every way out.
class RestoreScope {
  public:
    RestoreScope(RunState& run, TrackList& tracks, AddView& view, bool& restoring)
        : adding_(run), tracks_(tracks), view_(view), restoring_(restoring) {
        restoring_ = true;
        if (adding_.Outer()) view_.ShowAdding(true);
    }
    ~RestoreScope() {
        tracks_.UpdateCount();
        if (adding_.Outer()) view_.ShowAdding(false);
        restoring_ = false;
    }
    RestoreScope(const RestoreScope&) = delete;
    RestoreScope& operator=(const RestoreScope&) = delete;

  private:
    AddingScope adding_;
    TrackList& tracks_;
    AddView& view_;
    bool& restoring_;
};

}  // namespace

SessionKeeper::SessionKeeper(TrackList& tracks, RunState& run, TrackAdder& adder, AddView& view,
                             std::function<void(int)> showRow, QObject* parent)
    : QObject(parent),
      tracks_(tracks),
      run_(run),
      adder_(adder),
      view_(view),
      showRow_(std::move(showRow)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kDelayMs);
    connect(&timer_, &QTimer::timeout, this, Guarded([this] { Write(true); }));
    const auto changed = Guarded([this] { Changed(); });
    connect(&tracks_, &TrackList::rowsInserted, this, changed);
    connect(&tracks_, &TrackList::rowsRemoved, this, changed);
    connect(&tracks_, &TrackList::rowsMoved, this, changed);
    connect(&tracks_, &TrackList::modelReset, this, changed);
    connect(&tracks_, &TrackList::layoutChanged, this, changed);
    // A stretch moved by less than a second changes no text.
    connect(&tracks_, &TrackList::StretchChanged, this, changed);
    connect(&tracks_, &TrackList::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                // Statuses are not kept.
                if (first.column() == TrackList::StatusColumn &&
                    last.column() == TrackList::StatusColumn)
                    return;
                Changed();
            });
}

SessionKeeper::~SessionKeeper() {
    if (timer_.isActive()) Write(false);
}

void SessionKeeper::SetFile(const QString& path) {
    file_.emplace(path);
    written_.clear();
}

void SessionKeeper::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (on) {
        Changed();
        return;
    }
    timer_.stop();
    written_.clear();
    if (file_) file_->Remove();
}

void SessionKeeper::Start(TAudioFile2& probe) {
    if (!file_) return;
    enabled_ = true;
    // An empty list needs no file: until the list changes nothing is written.
    written_ = SessionFile::Encode(Session{});
    const std::optional<Session> session = file_->Read();
    if (!session || session->rows.empty()) return;
    written_ = SessionFile::Encode(*session);

    const int first = tracks_.Rows();
    int current = -1;
    {
        RestoreScope scope(run_, tracks_, view_, restoring_);
        for (size_t i = 0; i < session->rows.size(); ++i) {
            view_.PumpMessages();
            if (view_.Closed()) break;
            const SessionRow& kept = session->rows[i];
            const auto outcome = adder_.AddOne(probe, kept.record.FilePath, kept.caption);
            if (outcome == TrackAdder::Outcome::ListFull) break;
            if (outcome != TrackAdder::Outcome::Added) continue;
            const int row = tracks_.Rows() - 1;
            if (SameLength(tracks_.Record(row), kept.record)) {
                tracks_.SetBegin(row, kept.record.StartPos, kept.record.StartSec);
                tracks_.SetEnd(row, kept.record.EndPos, kept.record.EndSec);
                tracks_.ShowSegment(row);
            }
            // The current row, or when its file has gone the next row that came back.
            if (current < 0 && static_cast<int>(i) >= session->current) current = row;
        }
    }
    // Closed before all came back: what the file holds is more than the list, and stays.
    if (view_.Closed()) {
        enabled_ = false;
        return;
    }
    if (tracks_.Rows() > first) {
        showRow_(current >= 0 ? current : tracks_.Rows() - 1);
        view_.ShowTotalTime();
    }
    // Rows that did not come back leave the file; an unchanged list is not written again.
    Changed();
}

void SessionKeeper::Changed() {
    if (!enabled_ || !file_ || restoring_) return;
    if (!timer_.isActive()) timer_.start();
}

void SessionKeeper::Flush() {
    if (!enabled_ || !file_) return;
    timer_.stop();
    Write(true);
}

Session SessionKeeper::Snapshot() const {
    Session session;
    const int rows = tracks_.Rows();
    session.rows.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row)
        session.rows.push_back({tracks_.Record(row), tracks_.Caption(row)});
    session.current = rows > 0 ? std::clamp(run_.CurrentTrack, 0, rows - 1) : 0;
    return session;
}

void SessionKeeper::Write(bool report) {
    if (!enabled_ || !file_ || restoring_) return;
    const QByteArray bytes = SessionFile::Encode(Snapshot());
    if (bytes == written_) return;
    const std::optional<QString> error = file_->WriteBytes(bytes);
    if (!error) {
        written_ = bytes;
        failureShown_ = false;
        return;
    }
    // Once until a write succeeds again: the list changes often.
    if (report && !failureShown_) {
        failureShown_ = true;
        view_.Message(*error);
    }
}

}  // namespace quillet
