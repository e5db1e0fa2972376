#include <gtest/gtest.h>

#include <QStandardPaths>

#include "convert/OutputNames.h"

namespace quillet {
namespace {

TEST(OutputNames, TheCaptionsExtensionIsReplacedFromTheLastDot) {
    EXPECT_EQ(ReplaceExtension("song.wma", ".mp3"), "song.mp3");
    EXPECT_EQ(ReplaceExtension("a.b.c", ".mp3"), "a.b.mp3");
    EXPECT_EQ(ReplaceExtension("song", ".mp3"), "song.mp3");
    EXPECT_EQ(ReplaceExtension("song.", ".ogg"), "song.ogg");
}

TEST(OutputNames, TheCutFolderEndsInOneSlash) {
    EXPECT_EQ(CutOutputDir("/tmp/Out"), "/tmp/Out/");
    EXPECT_EQ(CutOutputDir("/tmp/Out/"), "/tmp/Out/");
    EXPECT_EQ(CutOutputDir("/"), "/");
    EXPECT_EQ(CutOutputDir("/tmp/Out") + ReplaceExtension("song.wma", ".mp3"),
              CutOutputDir("/tmp/Out/") + ReplaceExtension("song.wma", ".mp3"));
}

TEST(OutputNames, AnEmptyStoredFolderMeansTheMusicFolder) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    ASSERT_FALSE(music.isEmpty());
    EXPECT_EQ(DefaultMusicFolder(), music);
    EXPECT_EQ(CutOutputDir(""), music + "/");
}

TEST(OutputNames, JoinTakesTheChosenNameWithTheTypesExtension) {
    EXPECT_EQ(JoinOutputPath("/tmp/x/song.txt", ".wma"), "/tmp/x/song.wma");
    EXPECT_EQ(JoinOutputPath("/tmp/x/song", ".ogg"), "/tmp/x/song.ogg");
    EXPECT_EQ(JoinOutputPath("/song.mp3", ".wav"), "/song.wav");
}

TEST(OutputNames, JoinStoresTheFolderWithoutATrailingSlashButKeepsTheRoot) {
    EXPECT_EQ(JoinStoredFolder("/tmp/x/song.txt"), "/tmp/x");
    EXPECT_EQ(JoinStoredFolder("/song.mp3"), "/");
}

}  // namespace
}  // namespace quillet
