#include <gtest/gtest.h>

#include "common/FormatTime.h"
#include "common/MulDiv.h"

using quillet::FormatTime;
using quillet::Low32;
using quillet::MulDiv;

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(2, 100, 7), 29);  // 28.57
    EXPECT_EQ(MulDiv(4, 100, 7), 57);
    EXPECT_EQ(MulDiv(6, 100, 7), 86);
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, -1, 2), -1);
    EXPECT_EQ(MulDiv(-1, -1, 2), 1);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(5, 1, 4), 1);    // 1.25
    EXPECT_EQ(MulDiv(-7, 1, 4), -2);  // -1.75
}

TEST(MulDiv, ZeroDivisorAndOverflowGiveMinusOne) {
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
    EXPECT_EQ(MulDiv(0, 5, 0), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MIN, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(MulDiv(INT32_MIN, 1, 1), INT32_MIN);
    EXPECT_EQ(MulDiv(INT32_MIN, -1, 1), -1);  // 2^31 does not fit
}

TEST(MulDiv, WideValuesTakePartWithTheirLow32Bits) {
    const int64_t big = (int64_t{1} << 32) + 500;
    EXPECT_EQ(Low32(big), 500);
    EXPECT_EQ(MulDiv(Low32(big), 100, 1000), 50);
    EXPECT_EQ(Low32(int64_t{0xFFFFFFFF}), -1);
    // A 32-bit result stored into a 64-bit field is sign-extended.
    const int64_t stored = MulDiv(-3, 1, 1);
    EXPECT_EQ(stored, -3);
}

TEST(FormatTime, FormatsHoursMinutesSeconds) {
    EXPECT_EQ(FormatTime(0), "00:00:00");
    EXPECT_EQ(FormatTime(59), "00:00:59");
    EXPECT_EQ(FormatTime(3725), "01:02:05");
    EXPECT_EQ(FormatTime(360000), "100:00:00");
    EXPECT_EQ(FormatTime(3599), "00:59:59");
}
