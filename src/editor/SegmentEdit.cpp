#include "editor/SegmentEdit.h"

#include <algorithm>
#include <limits>

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

int TotalSecondsByPositions(const TrackTable& table, int count) {
    int64_t total = 0;
    const int n = std::clamp(count, 0, TrackTable::kCapacity);
    for (int k = 0; k < n; ++k) {
        const TrackInfo& t = table[k];
        // The difference is taken on the low halves, as the scaling is.
        const auto span = static_cast<int32_t>(static_cast<uint32_t>(Low32(t.EndPos)) -
                                               static_cast<uint32_t>(Low32(t.StartPos)));
        // A zero length gives MulDiv's -1: such a row has no seconds to add.
        if (Low32(t.LengthPos) == 0) continue;
        total += MulDiv(span, t.LengthSec, Low32(t.LengthPos));
    }
    return static_cast<int>(std::clamp<int64_t>(total, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
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
