#include <gtest/gtest.h>

#include <QString>
#include <cstdint>

#include "editor/TypedTime.h"

namespace quillet {
namespace {

struct Good {
    const char* text;
    int rate;
    int64_t position;  // worked out by hand: seconds x rate, to the nearest frame
};

class TypedTimeGood : public ::testing::TestWithParam<Good> {};

TEST_P(TypedTimeGood, GivesTheFrameNearestToTheTime) {
    const Good& g = GetParam();
    const TypedPosition p = ParsePosition(QString::fromUtf8(g.text), g.rate);
    ASSERT_TRUE(p.ok) << g.text << ": " << p.error.toStdString();
    EXPECT_EQ(p.position, g.position) << g.text << " at " << g.rate << " Hz";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TypedTimeGood,
    ::testing::Values(
        // 1.25 s x 44100 = 55125 exactly; 3.5 s x 44100 = 154350.
        Good{"00:00:01.250", 44100, 55125}, Good{"00:00:03.500", 44100, 154350},
        Good{"00:03.500", 44100, 154350}, Good{"3.5", 44100, 154350},
        // 83.25 s = 1:23.25; x 48000 = 3996000.
        Good{"83.25", 48000, 3996000}, Good{"1:23.25", 48000, 3996000},
        Good{"0:01:23.250", 48000, 3996000}, Good{"7", 44100, 308700}, Good{"0.5", 44100, 22050},
        Good{"  0.5\t", 44100, 22050}, Good{".5", 8000, 4000}, Good{"7.", 8000, 56000},
        // 1:02:05 = 3725 s; x 22050 = 82136250.
        Good{"1:02:05", 22050, 82136250},
        // In mm:ss the minutes may run past an hour: 90:00 = 5400 s.
        Good{"90:00", 8000, 43200000}, Good{"100:00:00", 8000, 2880000000LL},
        // 5 ms at 44.1 kHz is 220.5 frames: halfway goes to the later frame.
        Good{"0.005", 44100, 221},
        // 4.999 ms is 220.4559 frames, 5.011 ms 220.985: the nearest frame either way.
        Good{"0.004999", 44100, 220}, Good{"0.005011", 44100, 221},
        // Six fraction digits are a microsecond: 1 us at 44.1 kHz is 0.0441 frames.
        Good{"0.000001", 44100, 0}, Good{"0.000023", 44100, 1},
        // 3599999.999999 s x 8000 = 28799999999.992 frames.
        Good{"999:59:59.999999", 8000, 28800000000LL}, Good{"0", 44100, 0},
        Good{"00:00:00.000", 44100, 0}));

struct Bad {
    const char* text;
    const char* error;
};

class TypedTimeBad : public ::testing::TestWithParam<Bad> {};

TEST_P(TypedTimeBad, IsRefusedWithItsReason) {
    const Bad& b = GetParam();
    const TypedPosition p = ParsePosition(QString::fromUtf8(b.text), 44100);
    EXPECT_FALSE(p.ok) << b.text;
    EXPECT_EQ(p.error.toStdString(), b.error) << b.text;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, TypedTimeBad,
    ::testing::Values(Bad{"", kTimeEmpty}, Bad{"   ", kTimeEmpty}, Bad{"-1", kTimeNegative},
                      Bad{"-00:00:01.000", kTimeNegative}, Bad{"1m20s", kTimeCharacters},
                      Bad{"abc", kTimeCharacters}, Bad{"1,5", kTimeCharacters},
                      Bad{"1 5", kTimeCharacters}, Bad{"+3", kTimeCharacters},
                      Bad{"1:2:3:4", kTimeParts}, Bad{"1::2", kTimeEmptyPart},
                      Bad{":30", kTimeEmptyPart}, Bad{"1:", kTimeEmptyPart},
                      Bad{".", kTimeEmptyPart}, Bad{"1:.5", kTimeEmptyPart},
                      Bad{"1.5:30", kTimeFractionPlace}, Bad{"1.2.3", kTimeFractionPlace},
                      Bad{"0.0000001", kTimeFractionDigits},
                      Bad{"00:00:01.2500000", kTimeFractionDigits}, Bad{"01:60:00", kTimeMinutes},
                      Bad{"00:75:00.000", kTimeMinutes}, Bad{"00:00:60", kTimeSeconds},
                      Bad{"5:60.5", kTimeSeconds}, Bad{"1000:00:00", kTimeTooLarge},
                      Bad{"3600000", kTimeTooLarge}, Bad{"99999999999999999999", kTimeTooLarge}));

TEST(TypedTime, NeedsAUsableRate) {
    EXPECT_FALSE(ParsePosition("1.0", 0).ok);
    EXPECT_FALSE(ParsePosition("1.0", -44100).ok);
    EXPECT_TRUE(ParseTypedTime("1.0").ok);
    EXPECT_EQ(ParseTypedTime("1:02:03.000004").micros, 3723000004LL);
}

TEST(FormatPosition, ShowsTheNearestMillisecond) {
    EXPECT_EQ(FormatPosition(55125, 44100), "00:00:01.250");
    EXPECT_EQ(FormatPosition(154350, 44100), "00:00:03.500");
    // 44099 frames are 999.977 ms; 22 frames 0.499 ms, 23 frames 0.522 ms.
    EXPECT_EQ(FormatPosition(44099, 44100), "00:00:01.000");
    EXPECT_EQ(FormatPosition(22, 44100), "00:00:00.000");
    EXPECT_EQ(FormatPosition(23, 44100), "00:00:00.001");
    // One frame at 2 kHz is exactly half a millisecond: halves go up.
    EXPECT_EQ(FormatPosition(1, 2000), "00:00:00.001");
    // 3725.5 s; 100 hours get a third digit.
    EXPECT_EQ(FormatPosition(3725LL * 8000 + 4000, 8000), "01:02:05.500");
    EXPECT_EQ(FormatPosition(360000LL * 8000, 8000), "100:00:00.000");
    EXPECT_EQ(FormatPosition(-5, 44100), "00:00:00.000");
    EXPECT_EQ(FormatPosition(5, 0), "00:00:00.000");
}

TEST(FormatPosition, ReadsBackToWithinHalfAMillisecond) {
    for (const int rate : {8000, 11025, 44100, 48000, 96000}) {
        for (int64_t pos : {int64_t{0}, int64_t{1}, int64_t{rate / 3}, int64_t{rate} * 61 + 7,
                            int64_t{rate} * 3725 + rate / 7}) {
            const TypedPosition back = ParsePosition(FormatPosition(pos, rate), rate);
            ASSERT_TRUE(back.ok);
            // Half a millisecond is rate / 2000 frames, and the reading rounds once more.
            EXPECT_LE(std::abs(back.position - pos), (rate + 1999) / 2000 + 1)
                << pos << " at " << rate;
        }
    }
}

}  // namespace
}  // namespace quillet
