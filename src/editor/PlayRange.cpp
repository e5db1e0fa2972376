#include "editor/PlayRange.h"

#include <algorithm>

#include "common/MulDiv.h"
#include "editor/SegmentEdit.h"

namespace quillet {

PlayRange FreshPlayRange(const TrackInfo& track, bool preListen) {
    PlayRange range;
    range.StartPos = track.StartPos;
    range.StartSec = track.StartSec;
    if (preListen) {
        range.LengthPos = track.EndPos - track.StartPos;
        range.LengthSec = track.EndSec - track.StartSec;
    } else {
        range.LengthPos = track.LengthPos;
        range.LengthSec = track.LengthSec;
    }
    return range;
}

int64_t PlayOffsetAt(int bar, int64_t lengthPos) { return MulDiv(bar, Low32(lengthPos), kBarMax); }

int32_t PlaySeekTarget(int64_t trackStartPos, int64_t offsetPos, bool preListen) {
    const auto offset = static_cast<uint32_t>(Low32(offsetPos));
    if (!preListen) return static_cast<int32_t>(offset);
    return static_cast<int32_t>(static_cast<uint32_t>(Low32(trackStartPos)) + offset);
}

int PlayBarAt(int currentSamples, int64_t offsetPos, int64_t lengthPos) {
    // A range without length (a stretch whose begin met its end) has nothing to play; MulDiv
    // would give -1 and the bar would never reach the end.
    if (Low32(lengthPos) <= 0) return kBarMax;
    const auto played = static_cast<int32_t>(static_cast<uint32_t>(currentSamples) +
                                             static_cast<uint32_t>(Low32(offsetPos)));
    const int32_t n = MulDiv(played, kBarMax, Low32(lengthPos));
    return std::clamp(n, 0, kBarMax);
}

int32_t PlaySecondsAt(int bar, int32_t lengthSec, int32_t startSec, bool preListen) {
    const int32_t into = MulDiv(bar, lengthSec, kBarMax);
    return preListen ? into + startSec : into;
}

MarkPlan PlanMark(int currentBar, const PlayRange& range, const TrackInfo& track, bool preListen) {
    MarkPlan plan;
    int p = currentBar;
    if (preListen) {
        plan.position = int64_t{MulDiv(p, Low32(range.LengthPos), kBarMax)} + range.StartPos;
        p = MulDiv(Low32(plan.position), kBarMax, Low32(track.LengthPos));
    } else {
        plan.position = MulDiv(p, Low32(track.LengthPos), kBarMax);
    }
    plan.bar = p;
    plan.seconds = MulDiv(p, track.LengthSec, kBarMax);
    return plan;
}

}  // namespace quillet
