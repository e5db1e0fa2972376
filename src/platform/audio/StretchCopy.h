#pragma once

#include <QString>
#include <cstdint>

#include "platform/audio/PendingFile.h"

namespace quillet {

// The compressed audio a file holds, by its bytes (not its name).
enum class StreamCoding { Mp3, OggVorbis, Other };

// MPEG audio (after any ID3v2 tags), Ogg Vorbis, or something else: WAV, WMA, another Ogg codec,
// a file that cannot be read.
StreamCoding CodingOf(const QString& path);

struct StretchCopy {
    PendingFile file;  // the copy beside its target, not yet in place; closed when refused
    QString refusal;   // why the stretch could not be copied exactly; empty once it is
};

// Copies [start, end) of source (of the given coding, positions as the engine counts them)
// into a file beside target, without decoding: MP3 frame by frame (Mp3FrameCopy), Ogg Vorbis
// packet by packet (OggVorbisCopy). Throws AudioError when a file cannot be read or written.
StretchCopy CopyStretch(const QString& source, StreamCoding coding, int64_t start, int64_t end,
                        const QString& target);

}  // namespace quillet
