#pragma once

#include <cstdint>

#include "tracks/TrackTable.h"

namespace quillet {

// What one playback covers: the chosen stretch with pre-listen on, the whole file with it off.
// The "Current bar" runs from 0 to 1000 over it. Scaling is MulDiv on 32-bit operands, as for
// the stretch itself.
struct PlayRange {
    int64_t StartPos = 0;
    int32_t StartSec = 0;
    int64_t LengthPos = 0;
    int32_t LengthSec = 0;
};

PlayRange FreshPlayRange(const TrackInfo& track, bool preListen);

// Offset into the range, in positions, of a "Current bar" place.
int64_t PlayOffsetAt(int bar, int64_t lengthPos);

// Where the file is read from for an offset: inside the stretch with pre-listen on, from the
// start of the file with it off. The engine's positions are 32-bit.
int32_t PlaySeekTarget(int64_t trackStartPos, int64_t offsetPos, bool preListen);

// "Current bar" place of the player's position (positions played since Play, plus the offset
// Play started at). 1000 means the end of the range has been reached; a range without length
// is over at once.
int PlayBarAt(int currentSamples, int64_t offsetPos, int64_t lengthPos);

// Seconds shown for a "Current bar" place: into the range, and from the start of the file
// with pre-listen on.
int32_t PlaySecondsAt(int bar, int32_t lengthSec, int32_t startSec, bool preListen);

// Where a mark made at a "Current bar" place puts the begin or end of the stretch: a position
// in the file and the matching place on the whole-file bars.
struct MarkPlan {
    int64_t position = 0;
    int bar = 0;
    int32_t seconds = 0;
};
MarkPlan PlanMark(int currentBar, const PlayRange& range, const TrackInfo& track, bool preListen);

}  // namespace quillet
