#pragma once

#include <cstdint>

#include "tracks/TrackTable.h"

namespace quillet {

// The chosen stretch of a row is changed through the bar scale (0..1000 over the whole file),
// whole seconds and positions. Every conversion is a MulDiv on 32-bit operands: a 64-bit
// position takes part with its low 32 bits and a result is sign-extended back.

constexpr int kBarMax = 1000;

// The bars run from 0 to 1000; anything outside is taken as the nearer end.
int ClampBar(int newPos);

int64_t BarToPositions(int bar, int64_t lengthPos);
int32_t BarToSeconds(int bar, int32_t lengthSec);
int32_t SecondsToBar(int32_t seconds, int32_t lengthSec);
int64_t SecondsToPositions(int32_t seconds, int64_t lengthPos, int32_t lengthSec);
// The bar of an exact position: MulDiv(position, 1000, LengthPos), as a mark turns a position
// into the whole-file scale; a file of no length has its bar at 0.
int PositionsToBar(int64_t position, int64_t lengthPos);

// The whole seconds of an exact position, as the program keeps them beside every position it
// sets to the frame: the position's time in milliseconds, truncated (position * 1000 / rate, as
// the engine gives a file's length in milliseconds), divided by 1000, truncating. So a stretch
// ending at the file's end ends at its LengthSec, and 00:00:03.500 is second 3. 0 without a rate.
int32_t PositionToWholeSeconds(int64_t position, int sampleRate);

// Which end of the stretch a command moves.
enum class SegmentEnd { Begin = 1, End = 2 };

// A bar drag to newPos: accepted when the begin stays before the end.
struct DragPlan {
    bool accepted = false;
    int64_t position = 0;
    int32_t seconds = 0;
};
DragPlan PlanDrag(const TrackInfo& track, SegmentEnd end, int newPos);

// A refused drag puts that end back where the bar was at mouse-down.
void RestoreEnd(TrackInfo& track, SegmentEnd end, int savedBarPos);

// A one-second step of one end by delta (+1 or -1).
enum class StepOutcome { Accepted, Refused, AtLimit };
struct StepPlan {
    StepOutcome outcome = StepOutcome::AtLimit;
    int32_t seconds = 0;
    int bar = 0;
    int64_t position = 0;
};
StepPlan PlanStep(const TrackInfo& track, SegmentEnd end, int delta);

// The refusal texts of a begin at or after the end, and of an end at or before the begin.
inline constexpr const char* kBeginRefused = "Start-time must be smaller than end-time.";
inline constexpr const char* kEndRefused = "End-time must be larger than start-time.";

}  // namespace quillet
