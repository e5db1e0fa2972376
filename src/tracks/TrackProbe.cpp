#include "tracks/TrackProbe.h"

#include <exception>

#include "common/FileNames.h"
#include "platform/audio/TAudioFile2.h"
#include "tracks/TrackTable.h"

namespace quillet {

namespace {

void CloseIfOpen(TAudioFile2& file) {
    if (file.IsOpen()) file.Close();
}

}  // namespace

TrackProbe ProbeTrack(TAudioFile2& file, const QString& path) {
    CloseIfOpen(file);
    TrackProbe probe;
    if (!StatFile(path).IsFile()) {
        probe.outcome = TrackProbe::Outcome::Removed;
        return probe;
    }
    try {
        file.OpenForRead(path, 0, 1);
        probe.length = file.Length();
        probe.durationMs = file.DurationMs();
        probe.sampleRate = file.SampleRate();
    } catch (const std::exception&) {
        // Any failure to open (not only the engine's own) means the file is not usable audio.
        CloseIfOpen(file);
        probe.outcome = TrackProbe::Outcome::Invalid;
        return probe;
    }
    CloseIfOpen(file);
    probe.outcome = probe.length == 0 ? TrackProbe::Outcome::Invalid : TrackProbe::Outcome::Usable;
    return probe;
}

QString RemovedMessage(const QString& path) { return path + QStringLiteral(" has been removed!"); }

QString InvalidMessage(const QString& path) {
    return path + QStringLiteral(" is an invalid audio file!");
}

QString ListFullMessage() {
    return QStringLiteral("The list is full: at most %1 files.").arg(TrackTable::kCapacity);
}

}  // namespace quillet
