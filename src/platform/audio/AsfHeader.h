#pragma once

#include <cstdint>
#include <optional>

namespace quillet {

// The lengths an ASF file's File Properties Object records. The play duration (in 100 ns
// units) includes the preroll (in milliseconds); the rest of it is the audio's exact length,
// which the WMA writer records here since whole codec frames pad the stream itself.
struct AsfDuration {
    int64_t playDuration = 0;  // 100 ns units
    int64_t prerollMs = 0;
    bool broadcast = false;   // the lengths are not valid (a live stream)
    int64_t fieldOffset = 0;  // where the play duration is stored in the file
};

// Reads them from an open file; empty when it is not ASF or has no such object.
std::optional<AsfDuration> ReadAsfDuration(int fd);
// Stores a new play duration where ReadAsfDuration found it; false when the write fails.
bool WriteAsfPlayDuration(int fd, const AsfDuration& where, int64_t playDuration);

}  // namespace quillet
