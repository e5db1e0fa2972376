// The decoder's reading position on its own: where decoded frames land, what reading copies,
// where silence stands in for dropped frames, and when a seek has to start over.
#include <gtest/gtest.h>

#include <vector>

#include "platform/audio/DecodeTimeline.h"

namespace quillet {
namespace {

using Step = DecodeTimeline::Step;

// Holds a frame of `frames` stereo frames at pos whose samples count up from `first`.
void HoldCounting(DecodeTimeline& t, int64_t pos, int64_t frames, float first) {
    float* samples = t.Hold(pos, frames);
    for (int64_t i = 0; i < frames * 2; ++i) samples[i] = first + static_cast<float>(i);
    t.Held(frames);
}

void ExpectNext(const DecodeTimeline& t, int64_t wanted, Step step, int64_t frames) {
    const DecodeTimeline::Next next = t.Plan(wanted);
    EXPECT_EQ(next.step, step);
    EXPECT_EQ(next.frames, frames);
}

TEST(DecodeTimeline, ReadsAHeldFrameAcrossSeveralReads) {
    DecodeTimeline t(2);
    t.Reset(0, 0, true, false);
    ExpectNext(t, 500, Step::Decode, 0);
    HoldCounting(t, 0, 1152, 0.0f);
    EXPECT_EQ(t.NextPos(), 1152);
    ExpectNext(t, 500, Step::Copy, 500);
    std::vector<float> out(1000);
    t.CopyOut(out.data(), 500);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[999], 999.0f);
    EXPECT_EQ(t.ReadPos(), 500);
    // 652 frames are left of it, whatever more is wanted.
    ExpectNext(t, 1000, Step::Copy, 652);
    t.CopyOut(out.data(), 2);
    EXPECT_EQ(out[0], 1000.0f);  // frame 500, left channel
    EXPECT_EQ(out[3], 1003.0f);  // frame 501, right channel
    t.SkipTo(1152);
    ExpectNext(t, 10, Step::Decode, 0);
}

TEST(DecodeTimeline, AFrameAfterTheReadingPositionLeavesAGapOfSilence) {
    DecodeTimeline t(2);
    t.Reset(0, 0, true, false);
    HoldCounting(t, 100, 50, 0.0f);  // frames 0..99 were dropped
    ExpectNext(t, 30, Step::Gap, 30);
    ExpectNext(t, 1000, Step::Gap, 100);
    t.Advance(100);
    ExpectNext(t, 1000, Step::Copy, 50);
}

TEST(DecodeTimeline, ASeekThatLandsPastItsTargetStartsOver) {
    DecodeTimeline t(2);
    t.Reset(1000, 1000, false, true);
    EXPECT_FALSE(t.Anchored());
    HoldCounting(t, 1200, 100, 0.0f);
    EXPECT_TRUE(t.Anchored());
    ExpectNext(t, 10, Step::Restart, 0);

    // Landing before the target is what a seek does: reading starts inside the frame.
    t.Reset(1000, 1000, false, true);
    HoldCounting(t, 900, 200, 0.0f);
    ExpectNext(t, 500, Step::Copy, 100);
    std::vector<float> out(2);
    t.CopyOut(out.data(), 1);
    EXPECT_EQ(out[0], 200.0f);  // frame 100 of the chunk
    // Once reading has begun, a later frame past the position is a gap, not a bad landing.
    HoldCounting(t, 1500, 10, 0.0f);
    ExpectNext(t, 1000, Step::Gap, 499);
}

TEST(DecodeTimeline, AFrameWhollyBeforeThePositionIsDroppedByDecodingOn) {
    DecodeTimeline t(2);
    t.Reset(0, 0, true, false);
    t.SkipTo(5000);  // a short seek forward decodes through
    HoldCounting(t, 0, 1152, 0.0f);
    ExpectNext(t, 100, Step::Decode, 0);
    HoldCounting(t, 4608, 1152, 0.0f);
    ExpectNext(t, 10000, Step::Copy, 760);
}

TEST(DecodeTimeline, FramesGoStraightToTheReaderOnlyWhereTheyStartAndFit) {
    DecodeTimeline t(2);
    t.Reset(300, 300, true, false);
    EXPECT_TRUE(t.FitsDirect(300, 1152, 1152));
    EXPECT_FALSE(t.FitsDirect(300, 1152, 1151));
    EXPECT_FALSE(t.FitsDirect(299, 10, 2000));
    t.TookDirect(300, 1152);
    EXPECT_EQ(t.ReadPos(), 1452);
    EXPECT_EQ(t.NextPos(), 1452);
    ExpectNext(t, 10, Step::Decode, 0);
}

TEST(DecodeTimeline, TheEndOfTheStreamLeavesTheRestMissing) {
    DecodeTimeline t(2);
    t.Reset(0, 0, true, false);
    EXPECT_FALSE(t.IsInputEnded());
    t.InputEnded();
    EXPECT_TRUE(t.IsInputEnded());
    t.StreamEnded();
    ExpectNext(t, 300, Step::End, 300);
    t.Reset(0, 0, true, false);  // a seek starts the stream again
    EXPECT_FALSE(t.IsInputEnded());
    ExpectNext(t, 300, Step::Decode, 0);
}

}  // namespace
}  // namespace quillet
