#include "tracks/TrackAdder.h"

#include <QFileInfo>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/RunState.h"
#include "common/WorkerThread.h"
#include "platform/audio/TAudioFile2.h"
#include "settings/SettingsKeys.h"
#include "tracks/FolderScan.h"
#include "tracks/TrackList.h"
#include "tracks/TrackProbe.h"

namespace quillet {

namespace {

// IsAdding and the six menu items for the span of one add; on every way out, an error
// included, the count is brought up to the rows and the outermost add gives the menus back.
class Adding {
  public:
    Adding(RunState& run, TrackList& tracks, AddView& view)
        : scope_(run), tracks_(tracks), view_(view) {
        if (scope_.Outer()) view_.ShowAdding(true);
    }
    ~Adding() {
        tracks_.UpdateCount();
        if (scope_.Outer()) view_.ShowAdding(false);
    }
    Adding(const Adding&) = delete;
    Adding& operator=(const Adding&) = delete;

  private:
    AddingScope scope_;
    TrackList& tracks_;
    AddView& view_;
};

// Probes files on a thread of its own with a file object of its own, one ahead of the row being
// added, so that opening a file (a long one is read through to count its length) never holds
// the window.
class ProbeAhead {
  public:
    // Probing path begins, unless it has.
    void Start(const QString& path) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (results_.count(path) > 0) return;
            results_.emplace(path, std::nullopt);
        }
        worker_.Post([this, path] {
            const TrackProbe probe = ProbeTrack(file_, path);
            std::unique_lock<std::mutex> lock(mutex_);
            results_[path] = probe;
            done_.notify_all();
            const bool wake = doneWaits_.Any();
            lock.unlock();
            if (wake) WakeWindow();
        });
    }

    // What probing path told, waiting for it with the window's events handled.
    TrackProbe Take(const QString& path) {
        Start(path);
        std::unique_lock<std::mutex> lock(mutex_);
        WaitUntil(lock, done_, doneWaits_, Wait::WithEvents,
                  [&] { return results_.at(path).has_value(); });
        TrackProbe probe = *results_.at(path);
        results_.erase(path);
        lock.unlock();
        // Probed a moment ago: the file may have gone or come since, which is what counts.
        const bool exists = QFileInfo(path).isFile();
        if (exists == (probe.outcome != TrackProbe::Outcome::Removed)) return probe;
        return worker_.Call([&] { return ProbeTrack(file_, path); });
    }

    void Finish() { worker_.Drain(); }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    EventWaits doneWaits_;
    // Begun probes, with their outcome once known.
    std::map<QString, std::optional<TrackProbe>> results_;
    TAudioFile2 file_;  // the worker's only
    WorkerThread worker_;
};

// One folder level at a time: the messages pumped, the rows appended, the count and total
// brought up to date as each level ends.
class ScanIntoList : public FolderScanListener {
  public:
    ScanIntoList(TrackAdder& adder, TrackList& tracks, RunState& run, AddView& view)
        : adder_(adder), tracks_(tracks), run_(run), view_(view) {}

    bool EnterFolder(const QString&, int) override {
        view_.PumpMessages();
        view_.PumpMessages();
        if (run_.IsConverting || view_.Closed()) return false;
        levels_.push_back(std::make_unique<Adding>(run_, tracks_, view_));
        return true;
    }

    void Upcoming(const QString& path) override { probes_.Start(path); }

    bool AcceptedEntry(const QString& path, const QString& name) override {
        const TrackProbe probe = probes_.Take(path);
        if (adder_.AddProbed(path, name, probe) == TrackAdder::Outcome::ListFull) return false;
        view_.PumpMessages();
        view_.PumpMessages();
        return !view_.Closed();
    }

    // The probe of the next file, when it still runs, ends with the window live.
    void Finish() { probes_.Finish(); }

    void LeaveFolder(const QString&, int) override {
        view_.SelectFirstAppended(tracks_.Count());
        tracks_.UpdateCount();
        view_.ShowTotalTime();
        levels_.pop_back();
    }

  private:
    TrackAdder& adder_;
    TrackList& tracks_;
    RunState& run_;
    AddView& view_;
    // The scan checks files with a file object of its own: the skin's "Play" stays live while
    // it pumps messages, and playback reads from the program's reader.
    ProbeAhead probes_;
    std::vector<std::unique_ptr<Adding>> levels_;
};

}  // namespace

TrackAdder::Outcome TrackAdder::AddOne(TAudioFile2& file, const QString& path,
                                       const QString& caption) {
    if (!tracks_.HasRoom()) {
        view_.Message(ListFullMessage());
        return Outcome::ListFull;
    }
    return AddProbed(path, caption, ProbeTrack(file, path));
}

TrackAdder::Outcome TrackAdder::AddProbed(const QString& path, const QString& caption,
                                          const TrackProbe& probe) {
    if (!tracks_.HasRoom()) {
        view_.Message(ListFullMessage());
        return Outcome::ListFull;
    }
    switch (probe.outcome) {
        case TrackProbe::Outcome::Removed:
            view_.Message(RemovedMessage(path));
            return Outcome::Skipped;
        case TrackProbe::Outcome::Invalid:
            view_.Message(InvalidMessage(path));
            return Outcome::Skipped;
        case TrackProbe::Outcome::Usable:
            break;
    }
    tracks_.Append(path, caption, probe.length, probe.durationMs, probe.sampleRate);
    return Outcome::Added;
}

void TrackAdder::AddFiles(TAudioFile2& file, const QStringList& paths, SettingsFile& settings) {
    if (paths.isEmpty()) return;
    Adding adding(run_, tracks_, view_);
    const int countBefore = tracks_.Count();
    WriteString(settings, keys::FilePath, QFileInfo(paths.front()).absolutePath());
    for (const QString& path : paths) {
        view_.PumpMessages();
        if (view_.Closed()) break;
        if (AddOne(file, path, QFileInfo(path).fileName()) == Outcome::ListFull) break;
    }
    view_.SelectFirstAppended(countBefore);
    tracks_.UpdateCount();
    view_.ShowTotalTime();
}

void TrackAdder::ScanFolder(const QString& folder, bool includeSubFolders) {
    ScanIntoList listener(*this, tracks_, run_, view_);
    FolderScan(listener).Run(folder, includeSubFolders);
    listener.Finish();
}

}  // namespace quillet
