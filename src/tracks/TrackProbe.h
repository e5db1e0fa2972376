#pragma once

#include <QString>
#include <cstdint>

namespace quillet {

class TAudioFile2;

// What opening a chosen file through the engine told about it.
struct TrackProbe {
    enum class Outcome { Usable, Removed, Invalid };
    Outcome outcome = Outcome::Invalid;
    int32_t length = 0;
    int32_t durationMs = 0;
    int32_t sampleRate = 0;
};

// Closes file if open, then checks that path is an existing file and opens it for reading to
// take its length; the file object is closed again on every outcome. Engine errors are caught
// here: a file that cannot be opened, or has no length, is Invalid.
TrackProbe ProbeTrack(TAudioFile2& file, const QString& path);

// path + " has been removed!" and path + " is an invalid audio file!".
QString RemovedMessage(const QString& path);
QString InvalidMessage(const QString& path);
QString ListFullMessage();

}  // namespace quillet
