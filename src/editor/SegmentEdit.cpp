#include "editor/SegmentEdit.h"

#include <algorithm>
#include <cstdint>

#include "common/MulDiv.h"

namespace quillet {

int ClampBar(int newPos) { return std::clamp(newPos, 0, kBarMax); }

int64_t BarToPositions(int bar, int64_t lengthPos) {
    return MulDiv(bar, Low32(lengthPos), kBarMax);
}

int32_t BarToSeconds(int bar, int32_t lengthSec) { return MulDiv(bar, lengthSec, kBarMax); }

int32_t SecondsToBar(int32_t seconds, int32_t lengthSec) {
    return MulDiv(seconds, kBarMax, lengthSec);
}

int64_t SecondsToPositions(int32_t seconds, int64_t lengthPos, int32_t lengthSec) {
    return MulDiv(seconds, Low32(lengthPos), lengthSec);
}

int PositionsToBar(int64_t position, int64_t lengthPos) {
    return ClampBar(MulDiv(Low32(position), kBarMax, Low32(lengthPos)));
}

int32_t PositionToWholeSeconds(int64_t position, int sampleRate) {
    if (sampleRate <= 0 || position <= 0) return 0;
    const int64_t ms = position * 1000 / sampleRate;
    return static_cast<int32_t>(std::min<int64_t>(ms / 1000, INT32_MAX));
}

DragPlan PlanDrag(const TrackInfo& track, SegmentEnd end, int newPos) {
    const int bar = ClampBar(newPos);
    DragPlan plan;
    plan.position = BarToPositions(bar, track.LengthPos);
    plan.seconds = BarToSeconds(bar, track.LengthSec);
    plan.accepted =
        end == SegmentEnd::Begin ? plan.position < track.EndPos : plan.position > track.StartPos;
    return plan;
}

void RestoreEnd(TrackInfo& track, SegmentEnd end, int savedBarPos) {
    const int32_t seconds = BarToSeconds(savedBarPos, track.LengthSec);
    const int64_t position = BarToPositions(savedBarPos, track.LengthPos);
    if (end == SegmentEnd::Begin) {
        track.StartSec = seconds;
        track.StartPos = position;
    } else {
        track.EndSec = seconds;
        track.EndPos = position;
    }
}

StepPlan PlanStep(const TrackInfo& track, SegmentEnd end, int delta) {
    StepPlan plan;
    const int64_t n = int64_t{end == SegmentEnd::Begin ? track.StartSec : track.EndSec} + delta;
    bool accepted = false;
    bool refused = false;
    if (end == SegmentEnd::Begin && delta > 0) {
        accepted = n < track.EndSec;
        refused = !accepted;
    } else if (end == SegmentEnd::Begin) {
        accepted = n >= 0;
    } else if (delta > 0) {
        accepted = n <= track.LengthSec;
    } else {
        accepted = n > track.StartSec;
        refused = !accepted;
    }
    if (!accepted) {
        plan.outcome = refused ? StepOutcome::Refused : StepOutcome::AtLimit;
        return plan;
    }
    plan.outcome = StepOutcome::Accepted;
    plan.seconds = static_cast<int32_t>(n);
    plan.bar = SecondsToBar(plan.seconds, track.LengthSec);
    plan.position = SecondsToPositions(plan.seconds, track.LengthPos, track.LengthSec);
    return plan;
}

}  // namespace quillet
