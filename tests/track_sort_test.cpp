// "Sort by Name": captions in the order people read them.
#include <gtest/gtest.h>

#include <QLocale>

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

}  // namespace
}  // namespace quillet
