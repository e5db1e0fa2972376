#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/audio/PendingFile.h"

namespace quillet {

// A stretch of an MP3 file (positions as the engine counts them).
struct Mp3Stretch {
    QString path;
    int64_t start = 0;
    int64_t end = 0;
};

// Stretches of MP3 files of one rate and channel count joined into one MP3, continuous to the
// sample: the source's frames copied where they can be, and only the few frames around each
// join re-encoded (LAME, through the engine's own writer) from the decoded audio.
//
// An MP3 frame always decodes to the same number of samples, so a copied frame keeps its place
// on the frame grid: a stretch's frames can be copied only when the samples joined before it
// put its first sample where its own frame grid has it. The grid of the output is chosen to suit
// the most audio; a stretch that does not fit it is re-encoded whole. Each re-encoded run starts
// its bit reservoir afresh and ends with the reservoir of the copied frame after it, and is
// encoded from a few frames earlier so that the encoder's state matches the copied audio before.
class Mp3SpliceJoin {
  public:
    struct Hooks {
        std::function<bool()> stillGoing;  // asked between the parts of the output
        // The stretches finished so far, and the joined positions written so far.
        std::function<void(int stretchesDone, int64_t positionsDone)> progress;
    };

    // Writes the join into out. Returns why the stretches cannot be joined this way (out then
    // holds nothing useful), or an empty text once they are. Stopped by stillGoing, out holds
    // what was joined until then. Throws AudioError when a file cannot be read or written.
    static QString Join(const std::vector<Mp3Stretch>& stretches, PendingFile& out,
                        const Hooks& hooks);
};

}  // namespace quillet
