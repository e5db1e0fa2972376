#include <gtest/gtest.h>

#include <limits>

#include "tracks/TrackRowText.h"
#include "tracks/TrackTable.h"

using quillet::CleanCaption;
using quillet::RenamedCaption;
using quillet::SegmentText;
using quillet::TrackTable;

namespace {

void FillNamed(TrackTable& table, int rows) {
    for (int k = 0; k < rows; ++k) {
        ASSERT_TRUE(
            table.FillNew(k, QStringLiteral("/m/%1.mp3").arg(k), 1000 * (k + 1), 1000 * (k + 1)));
    }
}

}  // namespace

TEST(TrackTable, NewRecordCoversTheWholeFile) {
    TrackTable table;
    ASSERT_TRUE(table.FillNew(3, "/music/a b.mp3", 164317, 3725900));
    const auto& t = table[3];
    EXPECT_EQ(t.StartPos, 0);
    EXPECT_EQ(t.EndPos, 164317);
    EXPECT_EQ(t.LengthPos, 164317);
    EXPECT_EQ(t.StartSec, 0);
    EXPECT_EQ(t.EndSec, 3725);  // milliseconds truncate to whole seconds
    EXPECT_EQ(t.LengthSec, 3725);
    EXPECT_EQ(t.FilePath, "/music/a b.mp3");

    ASSERT_TRUE(table.FillNew(4, "/short.wav", 22050, 999));
    EXPECT_EQ(table[4].LengthSec, 0);
}

TEST(TrackTable, EngineLengthIsSignExtended) {
    TrackTable table;
    ASSERT_TRUE(table.FillNew(0, "/x.wav", -5, 1000));
    EXPECT_EQ(table[0].EndPos, -5);
    EXPECT_EQ(table[0].LengthPos, -5);
    ASSERT_TRUE(table.FillNew(1, "/y.wav", std::numeric_limits<int32_t>::min(), 0));
    EXPECT_EQ(table[1].LengthPos, int64_t{std::numeric_limits<int32_t>::min()});
}

TEST(TrackTable, NothingIsWrittenPastTheLastRecord) {
    TrackTable table;
    EXPECT_TRUE(TrackTable::HasRoom(0));
    EXPECT_TRUE(TrackTable::HasRoom(10000));
    EXPECT_FALSE(TrackTable::HasRoom(10001));
    EXPECT_FALSE(TrackTable::HasRoom(-1));
    EXPECT_TRUE(table.FillNew(10000, "/last.mp3", 10, 2000));
    EXPECT_FALSE(table.FillNew(10001, "/beyond.mp3", 10, 2000));
    EXPECT_EQ(table[10000].FilePath, "/last.mp3");
    // Removing the first of a full table moves the last record down without reading past it.
    table.FillNew(0, "/first.mp3", 1, 1000);
    table.RemoveRow(0, 10000);
    EXPECT_EQ(table[9999].FilePath, "/last.mp3");
}

TEST(TrackTable, RemovingARowMovesTheRecordsBelowItUp) {
    TrackTable table;
    FillNamed(table, 5);
    table.RemoveRow(1, 4);  // middle
    EXPECT_EQ(table[0].FilePath, "/m/0.mp3");
    EXPECT_EQ(table[1].FilePath, "/m/2.mp3");
    EXPECT_EQ(table[2].FilePath, "/m/3.mp3");
    EXPECT_EQ(table[3].FilePath, "/m/4.mp3");
    EXPECT_EQ(table[1].LengthSec, 3);

    table.RemoveRow(3, 3);  // the last row: nothing moves
    EXPECT_EQ(table[2].FilePath, "/m/3.mp3");
    table.RemoveRow(0, 2);
    EXPECT_EQ(table[0].FilePath, "/m/2.mp3");
    EXPECT_EQ(table[1].FilePath, "/m/3.mp3");
}

TEST(TrackTable, SwapExchangesWholeRecords) {
    TrackTable table;
    FillNamed(table, 2);
    table[0].StartSec = 1;
    table.Swap(0, 1);
    EXPECT_EQ(table[0].FilePath, "/m/1.mp3");
    EXPECT_EQ(table[0].LengthSec, 2);
    EXPECT_EQ(table[0].StartSec, 0);
    EXPECT_EQ(table[1].FilePath, "/m/0.mp3");
    EXPECT_EQ(table[1].StartSec, 1);
}

TEST(TrackTable, TotalTimeIsTheSumOfTheChosenStretches) {
    TrackTable table;
    FillNamed(table, 3);  // 1 s, 2 s, 3 s
    table[2].StartSec = 1;
    EXPECT_EQ(table.TotalSeconds(3), 1 + 2 + 2);
    EXPECT_EQ(table.TotalSeconds(2), 3);  // leftovers beyond the count are not read
    EXPECT_EQ(table.TotalSeconds(0), 0);

    // 10001 files of the longest length the engine can report would wrap a 32-bit sum.
    TrackTable big;
    for (int k = 0; k < TrackTable::kCapacity; ++k) {
        big.FillNew(k, "/long.wav", 1, std::numeric_limits<int32_t>::max());
    }
    EXPECT_EQ(big.TotalSeconds(TrackTable::kCapacity), std::numeric_limits<int>::max());
}

TEST(TrackRowText, SegmentColumn) {
    EXPECT_EQ(SegmentText(0, 3725), "  00:00:00 - 01:02:05");
    EXPECT_EQ(SegmentText(65, 3725), "  00:01:05 - 01:02:05");
    EXPECT_EQ(SegmentText(0, 0), "  00:00:00 - 00:00:00");
    EXPECT_EQ(SegmentText(0, 360000), "  00:00:00 - 100:00:00");
}

TEST(TrackRowText, RenameRemovesCharactersThatCannotNameAFile) {
    EXPECT_EQ(CleanCaption("a*b?.mp3"), "ab.mp3");
    EXPECT_EQ(CleanCaption(R"(x|y:z"w/v\u<t>s)"), "xyzwvuts");
    EXPECT_EQ(CleanCaption("été «ok» 'fine'"), "été «ok» 'fine'");
    EXPECT_EQ(RenamedCaption("old.mp3", "a*b?.mp3"), "ab.mp3");
    EXPECT_EQ(RenamedCaption("old.mp3", ""), "old.mp3");
    EXPECT_EQ(RenamedCaption("old.mp3", R"(*?|:"/\<>)"), "old.mp3");
    EXPECT_EQ(RenamedCaption("old.mp3", " "), " ");
}
