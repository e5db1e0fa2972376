// "Sort by Name": captions in the order people read them.
#include <gtest/gtest.h>

#include <QLocale>

#include "tracks/TrackList.h"
#include "tracks/TrackSort.h"

namespace quillet {
namespace {

QStringList Sorted(const QStringList& captions) {
    QStringList sorted;
    for (const int row : NaturalOrder(captions)) sorted << captions[row];
    return sorted;
}

class TrackSortTest : public ::testing::Test {
  protected:
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(TrackSortTest, NumbersByValueLettersWithoutRegardToCase) {
    const QStringList captions = {"Track 10.mp3", "track 2.mp3", "Track 1.mp3", "b.wav",
                                  "A.ogg",        "écho.mp3",    "Zeta.wma",    "track 02b.mp3"};
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::French, QLocale::France), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        EXPECT_EQ(Sorted(captions),
                  QStringList({"A.ogg", "b.wav", "écho.mp3", "Track 1.mp3", "track 2.mp3",
                               "track 02b.mp3", "Track 10.mp3", "Zeta.wma"}));
    }
}

TEST_F(TrackSortTest, TheOrderIsAPermutationAndEqualCaptionsKeepTheirPlaces) {
    QLocale::setDefault(QLocale(QLocale::English));
    // Rows 1 and 3 have the same caption (two files of the same name in two folders).
    const QStringList captions = {"b.mp3", "a.mp3", "c.mp3", "a.mp3", "A.mp3"};
    const std::vector<int> order = NaturalOrder(captions);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 0, 2}));
    EXPECT_TRUE(NaturalOrder({}).empty());
    // Sorting what is sorted changes nothing.
    QStringList sorted;
    for (const int row : order) sorted << captions[row];
    EXPECT_EQ(NaturalOrder(sorted), (std::vector<int>{0, 1, 2, 3, 4}));
}

// The editor's row follows its file through every reordering of the list.
TEST_F(TrackSortTest, TheCurrentRowFollowsItsFile) {
    QLocale::setDefault(QLocale(QLocale::English));
    TrackList tracks;
    for (const char* name : {"c.mp3", "a.mp3", "d.mp3", "b.mp3"})
        ASSERT_TRUE(tracks.Append(QStringLiteral("/m/") + name, name, 44100, 1000));
    const auto files = [&] {
        QStringList paths;
        for (int row = 0; row < tracks.Rows(); ++row) paths << tracks.Record(row).FilePath;
        return paths;
    };
    int current = 1;  // a.mp3
    MoveRow(tracks, current, 0, 3);
    EXPECT_EQ(files(), QStringList({"/m/a.mp3", "/m/d.mp3", "/m/b.mp3", "/m/c.mp3"}));
    EXPECT_EQ(current, 0);
    current = 2;  // b.mp3
    MoveRow(tracks, current, 3, 1);
    EXPECT_EQ(files(), QStringList({"/m/a.mp3", "/m/c.mp3", "/m/d.mp3", "/m/b.mp3"}));
    EXPECT_EQ(current, 3);
    MoveRow(tracks, current, 3, 3);
    EXPECT_EQ(current, 3);
    SortByName(tracks, current);
    EXPECT_EQ(files(), QStringList({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3"}));
    EXPECT_EQ(current, 1);
    EXPECT_EQ(tracks.Caption(1), "b.mp3");
}

}  // namespace
}  // namespace quillet
