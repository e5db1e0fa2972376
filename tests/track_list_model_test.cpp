// The list's model on its own: rows, records and texts kept together through every operation,
// and the model's contract checked by Qt's own tester.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>

#include "tracks/TrackList.h"

namespace quillet {
namespace {

class TrackListModelTest : public ::testing::Test {
  protected:
    // A row of `seconds` seconds at 1000 positions a second, named after its number.
    void Add(int n, int seconds) {
        ASSERT_TRUE(list_.Append(QStringLiteral("/music/%1.wav").arg(n),
                                 QStringLiteral("%1.wav").arg(n), seconds * 1000, seconds * 1000));
    }
    QStringList Paths() const {
        QStringList paths;
        for (int row = 0; row < list_.Rows(); ++row) paths << list_.Record(row).FilePath;
        return paths;
    }
    QStringList Captions() const {
        QStringList captions;
        for (int row = 0; row < list_.Rows(); ++row) captions << list_.Caption(row);
        return captions;
    }

    TrackList list_;
    QAbstractItemModelTester tester_{&list_, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(TrackListModelTest, ANewRowIsTheWholeFileUnconverted) {
    Add(0, 3725);
    ASSERT_EQ(list_.Rows(), 1);
    const TrackInfo& t = list_.Record(0);
    EXPECT_EQ(t.StartPos, 0);
    EXPECT_EQ(t.EndPos, 3725000);
    EXPECT_EQ(t.LengthPos, 3725000);
    EXPECT_EQ(t.StartSec, 0);
    EXPECT_EQ(t.EndSec, 3725);
    EXPECT_EQ(t.LengthSec, 3725);
    const QStringList shown = {
        list_.index(0, 0).data().toString(), list_.index(0, 1).data().toString(),
        list_.index(0, 2).data().toString(), list_.index(0, 3).data().toString()};
    EXPECT_EQ(shown, QStringList({"0.wav", "  00:00:00 - 01:02:05", "01:02:05", "unconverted"}));
    EXPECT_EQ(list_.headerData(1, Qt::Horizontal).toString(), "Start Time - End Time");
    EXPECT_FALSE(list_.flags(list_.index(0, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(list_.flags(list_.index(0, 3)).testFlag(Qt::ItemIsSelectable));
    // The count follows only when brought up to date, as at the end of an add.
    EXPECT_EQ(list_.Count(), 0);
    EXPECT_EQ(list_.TotalSeconds(), 0);
    list_.UpdateCount();
    EXPECT_EQ(list_.TotalSeconds(), 3725);
}

TEST_F(TrackListModelTest, RemovingAMiddleRowMovesTheRecordsAfterItAndTheLastRowMovesNone) {
    for (int n = 0; n < 4; ++n) Add(n, n + 1);
    list_.UpdateCount();
    list_.Remove(1);
    EXPECT_EQ(Paths(), QStringList({"/music/0.wav", "/music/2.wav", "/music/3.wav"}));
    EXPECT_EQ(Captions(), QStringList({"0.wav", "2.wav", "3.wav"}));
    EXPECT_EQ(list_.Count(), 3);
    EXPECT_EQ(list_.TotalSeconds(), 1 + 3 + 4);
    list_.Remove(2);
    EXPECT_EQ(Paths(), QStringList({"/music/0.wav", "/music/2.wav"}));
    // The record of the removed last row stays behind as a leftover, unread.
    EXPECT_EQ(list_.Record(2).FilePath, "/music/3.wav");
    list_.Remove(5);  // no such row
    EXPECT_EQ(list_.Rows(), 2);
}

TEST_F(TrackListModelTest, SwappingNeighboursTakesTextsRecordsAndTheSelectionAlong) {
    for (int n = 0; n < 3; ++n) Add(n, 10);
    list_.SetStatus(2, "finish");
    list_.SetBegin(2, 5000, 5);
    QItemSelectionModel selection(&list_);
    selection.setCurrentIndex(list_.index(2, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QSignalSpy moved(&list_, &TrackList::rowsMoved);
    list_.Swap(2, 1);
    EXPECT_EQ(moved.size(), 1);
    EXPECT_EQ(Paths(), QStringList({"/music/0.wav", "/music/2.wav", "/music/1.wav"}));
    EXPECT_EQ(list_.Status(1), "finish");
    EXPECT_EQ(list_.Status(2), "unconverted");
    EXPECT_EQ(list_.Record(1).StartPos, 5000);
    EXPECT_EQ(selection.currentIndex().row(), 1);
    list_.Swap(1, 2);
    EXPECT_EQ(Paths(), QStringList({"/music/0.wav", "/music/1.wav", "/music/2.wav"}));
    EXPECT_EQ(selection.currentIndex().row(), 2);
    // Only neighbours, only rows that exist.
    list_.Swap(0, 2);
    list_.Swap(2, 3);
    EXPECT_EQ(Paths(), QStringList({"/music/0.wav", "/music/1.wav", "/music/2.wav"}));
    EXPECT_EQ(moved.size(), 2);
}

TEST_F(TrackListModelTest, ReorderingTakesTextsRecordsAndTheSelectionAlong) {
    for (int n = 0; n < 4; ++n) Add(n, 10 + n);
    list_.SetStatus(3, "finish");
    list_.SetBegin(3, 7000, 7);
    list_.ShowSegment(3);
    list_.Rename(1, "renamed.wav");
    QItemSelectionModel selection(&list_);
    selection.setCurrentIndex(list_.index(3, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_.Reorder({3, 1, 0, 2});
    EXPECT_EQ(Paths(),
              QStringList({"/music/3.wav", "/music/1.wav", "/music/0.wav", "/music/2.wav"}));
    EXPECT_EQ(Captions(), QStringList({"3.wav", "renamed.wav", "0.wav", "2.wav"}));
    EXPECT_EQ(list_.Status(0), "finish");
    EXPECT_EQ(list_.SegmentText(0), "  00:00:07 - 00:00:13");
    EXPECT_EQ(list_.LengthText(3), "00:00:12");
    EXPECT_EQ(list_.Record(0).StartPos, 7000);
    EXPECT_EQ(list_.Record(3).LengthPos, 12000);
    EXPECT_EQ(selection.currentIndex().row(), 0);
    EXPECT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows().front().row(), 0);

    // Anything but an order of all the rows leaves the list alone.
    for (const std::vector<int>& bad : std::vector<std::vector<int>>{
             {0, 1, 2}, {0, 1, 2, 3, 0}, {0, 0, 1, 2}, {0, 1, 2, 4}, {-1, 0, 1, 2}}) {
        list_.Reorder(bad);
        EXPECT_EQ(Paths(),
                  QStringList({"/music/3.wav", "/music/1.wav", "/music/0.wav", "/music/2.wav"}));
    }
}

TEST_F(TrackListModelTest, EachTextChangeRepaintsItsOwnCellOnly) {
    Add(0, 65);
    Add(1, 3725);
    QSignalSpy changed(&list_, &TrackList::dataChanged);
    list_.Rename(1, "renamed.mp3");
    list_.SetStatus(0, "Converting");
    list_.SetBegin(1, 65000, 65);
    EXPECT_EQ(list_.SegmentText(1), "  00:00:00 - 01:02:05");  // a record write alone shows nothing
    list_.ShowSegment(1);
    ASSERT_EQ(changed.size(), 3);
    const auto cell = [&](int k) {
        const QModelIndex from = changed[k][0].toModelIndex();
        const QModelIndex to = changed[k][1].toModelIndex();
        EXPECT_EQ(from, to);
        return std::make_pair(from.row(), from.column());
    };
    EXPECT_EQ(cell(0), std::make_pair(1, 0));
    EXPECT_EQ(cell(1), std::make_pair(0, 3));
    EXPECT_EQ(cell(2), std::make_pair(1, 1));
    EXPECT_EQ(list_.SegmentText(1), "  00:01:05 - 01:02:05");
    EXPECT_EQ(list_.index(1, 0).data().toString(), "renamed.mp3");
    EXPECT_EQ(list_.Record(1).FilePath, "/music/1.wav");
}

TEST_F(TrackListModelTest, ClearEmptiesTheListAndLeavesTheRecords) {
    Add(0, 1);
    Add(1, 2);
    list_.UpdateCount();
    list_.Clear();
    EXPECT_EQ(list_.Rows(), 0);
    EXPECT_EQ(list_.Count(), 0);
    EXPECT_EQ(list_.Record(1).FilePath, "/music/1.wav");
    Add(7, 3);
    EXPECT_EQ(Paths(), QStringList({"/music/7.wav"}));
}

// Without the model tester, which checks every row at every insert.
TEST_F(TrackListModelTest, TheRateAndTheRowsNameMoveWithTheRowAndNamesAreNeverReused) {
    ASSERT_TRUE(list_.Append("/music/a.wav", "a.wav", 44100, 1000, 44100));
    ASSERT_TRUE(list_.Append("/music/b.wav", "b.wav", 48000, 1000, 48000));
    Add(2, 1);  // added without a rate
    EXPECT_EQ(list_.SampleRate(0), 44100);
    EXPECT_EQ(list_.SampleRate(1), 48000);
    EXPECT_EQ(list_.SampleRate(2), 0);
    const uint64_t a = list_.RowId(0), b = list_.RowId(1), c = list_.RowId(2);
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    list_.Swap(0, 1);
    EXPECT_EQ(list_.SampleRate(0), 48000);
    EXPECT_EQ(list_.RowId(0), b);
    EXPECT_EQ(list_.RowId(1), a);
    list_.SetSampleRate(2, 22050);
    list_.Remove(0);
    EXPECT_EQ(list_.RowId(0), a);
    EXPECT_EQ(list_.SampleRate(1), 22050);
    // The same file again is another row.
    ASSERT_TRUE(list_.Append("/music/b.wav", "b.wav", 48000, 1000, 48000));
    EXPECT_NE(list_.RowId(2), b);
    EXPECT_NE(list_.RowId(2), c);
}

TEST_F(TrackListModelTest, EveryWriteOfTheStretchIsToldOnceWithItsRow) {
    Add(0, 10);
    Add(1, 10);
    QSignalSpy changed(&list_, &TrackList::StretchChanged);
    list_.SetBegin(1, 1500, 1);
    list_.SetEnd(0, 9000, 9);
    list_.SetStretch(1, 2000, 2, 3000, 3);
    ASSERT_EQ(changed.size(), 3);
    EXPECT_EQ(changed[0][0].toInt(), 1);
    EXPECT_EQ(changed[1][0].toInt(), 0);
    EXPECT_EQ(changed[2][0].toInt(), 1);
    const TrackInfo& t = list_.Record(1);
    EXPECT_EQ(t.StartPos, 2000);
    EXPECT_EQ(t.StartSec, 2);
    EXPECT_EQ(t.EndPos, 3000);
    EXPECT_EQ(t.EndSec, 3);
    // The column is the caller's to rebuild.
    EXPECT_EQ(list_.SegmentText(1), "  00:00:00 - 00:00:10");
    list_.SetStretch(5, 1, 1, 2, 2);  // no such row
    EXPECT_EQ(changed.size(), 3);
}

TEST(TrackListCapacity, TheTableHoldsAtMost10001Rows) {
    TrackList list;
    for (int n = 0; n < TrackTable::kCapacity; ++n)
        ASSERT_TRUE(list.Append(QStringLiteral("/music/%1.wav").arg(n), "x", 1000, 1000));
    EXPECT_FALSE(list.HasRoom());
    EXPECT_FALSE(list.Append("/music/more.wav", "more.wav", 1000, 1000));
    EXPECT_EQ(list.Rows(), 10001);
    EXPECT_EQ(list.Record(10000).FilePath, "/music/10000.wav");
}

TEST_F(TrackListModelTest, TotalsBySecondsAndByPositionsRoundDifferently) {
    Add(0, 10);
    Add(1, 20);
    list_.UpdateCount();
    list_.SetBegin(0, 2500, 2);  // 7.5 s of 10 by positions, 8 s by seconds
    list_.SetEnd(1, 19500, 19);  // 19.5 s of 20 by positions, 19 s by seconds
    EXPECT_EQ(list_.TotalSeconds(), 8 + 19);
    EXPECT_EQ(list_.TotalSecondsByPositions(), 8 + 20);  // 7.5 and 19.5 each round up
}

}  // namespace
}  // namespace quillet
