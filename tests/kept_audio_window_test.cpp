// The main window's Cut with "keep source audio" chosen in its own settings dialog, on the
// offscreen platform, end to end: Options, Add File, the stretch, the format box, Cut.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Tfm_main.h"
#include "dialogs/Tfm_set.h"
#include "support/CompressedOracles.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;

class KeptAudioWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        RemoveSettings();
        Open();
        if (HasFatalFailure()) return;
        prompts_->answerYes = true;
        S().WriteString("cut", "output directory", dir_.filePath("out"));
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        RemoveSettings();
    }

    // Options, the MP3 page's check box set as wanted and its bitrate at 64 kbit/s (what the
    // re-encoding road makes, where the source has 160), OK.
    void ChooseKeep(bool on) {
        prompts_->modal = [&, on](QDialog& dialog) {
            QTimer::singleShot(0, &dialog, [&, on] {
                forms_.fm_set->cb_mp3_keep->setChecked(on);
                forms_.fm_set->cb_mp3_bitrate->setCurrentIndex(7);
                forms_.fm_set->btn_ok->click();
            });
            return dialog.exec();
        };
        W().Option1->trigger();
    }

    QTemporaryDir dir_;
};

TEST_F(KeptAudioWindowTest, CutWithTheChoiceOnCopiesTheMp3sFramesExactToTheSample) {
    const QString wav = dir_.filePath("music.wav");
    test::MakeMusicLikeWav(wav, 44100 * 8, 44100, 2);
    const QString mp3 = dir_.filePath("music.mp3");
    test::Lame(wav, mp3, {"-b", "160", "--tt", "Morning Session"});
    ChooseKeep(true);
    EXPECT_EQ(S().ReadString("mp3", "keep source audio", "absent"), "1");

    AddAll({mp3});
    const int64_t length = L().Record(0).LengthPos;
    ASSERT_EQ(length, 44100 * 8);
    L().SetBegin(0, 33333, 0);
    L().SetEnd(0, 300001, 0);
    W().cb_format->setCurrentIndex(0);  // MP3
    W().Cut1->trigger();

    const QString out = dir_.filePath("out/music.mp3");
    EXPECT_EQ(L().Status(0), "finish");
    EXPECT_FALSE(R().IsConverting);
    // Copied: the source's frames at 160 kbit/s, its samples.
    EXPECT_GT(test::ProbeStream(out, "bit_rate").toInt(), 150000);
    const std::vector<float> source = DecodeWithFfmpeg(mp3);
    EXPECT_TRUE(DecodeWithFfmpeg(out) ==
                std::vector<float>(source.begin() + 33333 * 2, source.begin() + 300001 * 2));
    EXPECT_EQ(test::ProbeTag(out, "title"), "Morning Session");

    // A stretch inside one frame is re-encoded, and its row says so.
    L().SetBegin(0, 50000, 0);
    L().SetEnd(0, 50300, 0);
    W().Cut1->trigger();
    EXPECT_EQ(L().Status(0),
              "finish, re-encoded: the stretch starts and ends inside one MP3 frame");
    EXPECT_EQ(test::ProbeStream(out, "bit_rate"), "64000");

    // The choice off again: re-encoded as before, the row says "finish".
    ChooseKeep(false);
    L().SetBegin(0, 33333, 0);
    L().SetEnd(0, 300001, 0);
    W().Cut1->trigger();
    EXPECT_EQ(L().Status(0), "finish");
    EXPECT_EQ(test::ProbeStream(out, "bit_rate"), "64000");
    EXPECT_FALSE(DecodeWithFfmpeg(out) ==
                 std::vector<float>(source.begin() + 33333 * 2, source.begin() + 300001 * 2));
}

}  // namespace
}  // namespace quillet
