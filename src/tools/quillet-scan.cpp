// Adds a folder the way "Add Path" does, without a window: the folder scan, each accepted file
// opened through the engine to take its length, the track table filled. Prints what it found.
//   quillet-scan [--no-sub] [--list] <folder>
// --list prints "milliseconds<TAB>path" for every added file. The last line gives the counts and
// the peak resident memory of this process.
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>

#include "common/FormatTime.h"
#include "platform/audio/TAudioFile2.h"
#include "tracks/FolderScan.h"
#include "tracks/TrackProbe.h"
#include "tracks/TrackTable.h"

namespace {

using quillet::TrackProbe;

class TableFiller : public quillet::FolderScanListener {
  public:
    bool EnterFolder(const QString&, int) override { return true; }
    void LeaveFolder(const QString&, int) override {}

    bool AcceptedEntry(const QString& path, const QString&) override {
        if (!quillet::TrackTable::HasRoom(rows)) {
            std::fprintf(stderr, "%s\n", qPrintable(quillet::ListFullMessage()));
            return false;
        }
        const TrackProbe probe = quillet::ProbeTrack(file_, path);
        switch (probe.outcome) {
            case TrackProbe::Outcome::Removed:
                ++removed;
                std::fprintf(stderr, "%s\n", qPrintable(quillet::RemovedMessage(path)));
                break;
            case TrackProbe::Outcome::Invalid:
                ++invalid;
                std::fprintf(stderr, "%s\n", qPrintable(quillet::InvalidMessage(path)));
                break;
            case TrackProbe::Outcome::Usable:
                table.FillNew(rows++, path, probe.length, probe.durationMs);
                if (list) std::printf("%d\t%s\n", probe.durationMs, qPrintable(path));
                break;
        }
        return true;
    }

    quillet::TrackTable table;
    int rows = 0;
    int invalid = 0;
    int removed = 0;
    bool list = false;

  private:
    quillet::TAudioFile2 file_;
};

// VmHWM of /proc/self/status, in kB; 0 when it cannot be read.
long PeakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool sub = !args.removeAll(QStringLiteral("--no-sub"));
    const bool list = args.removeAll(QStringLiteral("--list")) > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quillet-scan [--no-sub] [--list] <folder>\n");
        return 2;
    }
    TableFiller filler;
    filler.list = list;
    quillet::FolderScan scan(filler);
    scan.Run(args.front(), sub);
    std::printf("added %d invalid %d removed %d total %s peak_kb %ld\n", filler.rows,
                filler.invalid, filler.removed,
                qPrintable(quillet::FormatTime(filler.table.TotalSeconds(filler.rows))), PeakKb());
    return 0;
}
