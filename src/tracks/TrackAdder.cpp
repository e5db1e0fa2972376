#include "tracks/TrackAdder.h"

#include <QFileInfo>
#include <memory>
#include <vector>

#include "common/RunState.h"
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

    bool AcceptedEntry(const QString& path, const QString& name) override {
        if (adder_.AddOne(probe_, path, name) == TrackAdder::Outcome::ListFull) return false;
        view_.PumpMessages();
        view_.PumpMessages();
        return !view_.Closed();
    }

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
    TAudioFile2 probe_;
    std::vector<std::unique_ptr<Adding>> levels_;
};

}  // namespace

TrackAdder::Outcome TrackAdder::AddOne(TAudioFile2& file, const QString& path,
                                       const QString& caption) {
    if (!tracks_.HasRoom()) {
        view_.Message(ListFullMessage());
        return Outcome::ListFull;
    }
    const TrackProbe probe = ProbeTrack(file, path);
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
}

}  // namespace quillet
