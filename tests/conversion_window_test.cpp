#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/Tfm_main.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;

// The real window, offscreen, with its boxes and dialogs answered by the test.
class WindowConversionTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        RemoveSettings();
        Open();
        if (HasFatalFailure()) return;
        prompts_->answerYes = true;
        prompts_->chosenType = 1;
        S().WriteString("cut", "output directory", dir_.filePath("out"));
    }
    Tfm_main& Window() { return W(); }

    // A row of an 8 kHz file, with the stretch set directly.
    void AddRow(const QString& path, int64_t start, int64_t end) {
        const int row = L().Rows();
        ASSERT_TRUE(L().Append(path, QFileInfo(path).fileName(), static_cast<int32_t>(end),
                               static_cast<int32_t>(end / 8)));
        L().SetBegin(row, start, 0);
        L().SetEnd(row, end, 0);
        L().UpdateCount();
    }

    QString Tone(const QString& name, int seconds) {
        const QString path = dir_.filePath(name);
        test::MakeTone(path, 8000 * seconds, 8000, 1);
        return path;
    }

    QString Status(int row) { return L().Status(row); }
    bool BarVisible(const QString& name) {
        auto* widget = Window().findChild<QWidget*>(name);
        return widget && widget->isVisibleTo(&Window());
    }
    // The 13 items a conversion disables.
    std::vector<QAction*> ConversionItems() {
        Tfm_main& w = Window();
        return {w.Play1,    w.Play2,   w.Cut1,    w.Cut2,   w.Join1,  w.Join2,  w.AddFile1,
                w.AddFile2, w.Remove1, w.Remove2, w.Clear1, w.Clear2, w.Option1};
    }
    int EnabledItems() {
        int n = 0;
        for (QAction* a : ConversionItems()) n += a->isEnabled() ? 1 : 0;
        return n;
    }

    QTemporaryDir dir_;
};

TEST_F(WindowConversionTest, CutShowsItsProgressAndGivesTheControlsBack) {
    AddRow(Tone("a.wav", 3), 0, 8000 * 3);
    AddRow(Tone("b.wav", 1), 0, 8000);
    Window().cb_format->setCurrentIndex(1);
    ASSERT_TRUE(BarVisible("Begin bar") && BarVisible("End bar"));
    struct Seen {
        int enabled;
        bool beginBar, endBar, caption;
        QString status, text;
    };
    std::vector<Seen> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        seen.push_back({EnabledItems(), BarVisible("Begin bar"), BarVisible("End bar"),
                        Window().pb->isTextVisible(), Status(0), Window().pb->text()});
    });
    watch.start(0);
    Window().Cut1->trigger();
    watch.stop();

    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().enabled, 0);
    EXPECT_FALSE(seen.front().beginBar || seen.front().endBar);
    EXPECT_TRUE(seen.front().caption);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const Seen& s) {
        return s.status == "Converting" && s.text.endsWith('%') && s.text != "0%";
    }));
    EXPECT_EQ(EnabledItems(), 13);
    EXPECT_TRUE(BarVisible("Begin bar") && BarVisible("End bar"));
    EXPECT_FALSE(Window().pb->isTextVisible());
    EXPECT_EQ(Window().pb->value(), 0);
    EXPECT_FALSE(R().IsConverting);
    EXPECT_EQ(Status(0), "finish");
    EXPECT_EQ(Status(1), "finish");
    EXPECT_EQ(R().OutputDir, dir_.filePath("out") + "/");
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("out/a.wav")));
}

TEST_F(WindowConversionTest, ClosingTheWindowStopsTheCutAtItsNextCheck) {
    AddRow(Tone("a.wav", 4), 0, 8000 * 4);
    AddRow(Tone("b.wav", 1), 0, 8000);
    Window().cb_format->setCurrentIndex(1);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [this] {
        if (Window().pb->value() >= 50 && Window().isVisible()) Window().close();
    });
    closer.start(0);
    Window().Cut1->trigger();
    closer.stop();
    EXPECT_FALSE(R().IsConverting);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Status(0), "finish");
    EXPECT_EQ(Status(1), "unconverted");
    EXPECT_FALSE(Window().AudioFileWrite.IsOpen());
    const int frames = test::ProbeStream(dir_.filePath("out/a.wav"), "duration_ts").toInt();
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 44100 * 4);
}

TEST_F(WindowConversionTest, AnUnwritableFolderShowsTheErrorAndRestoresTheControls) {
    QFile blocker(dir_.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    S().WriteString("cut", "output directory", blocker.fileName() + "/out");
    AddRow(Tone("a.wav", 1), 0, 8000);
    // Through the event loop, so the error takes the application's path.
    QTimer::singleShot(0, &Window(), [this] { Window().Cut1->trigger(); });
    ASSERT_TRUE(QTest::qWaitFor([this] { return !prompts_->boxes.isEmpty(); }));
    EXPECT_TRUE(prompts_->boxes[0].contains("blocker")) << prompts_->boxes[0].toStdString();
    EXPECT_FALSE(R().IsConverting);
    EXPECT_EQ(Window().pb->value(), 0);
    EXPECT_EQ(EnabledItems(), 13);
    EXPECT_TRUE(BarVisible("Begin bar") && BarVisible("End bar"));
    EXPECT_FALSE(Window().pb->isTextVisible());
    EXPECT_EQ(Status(0), "Converting");
}

TEST_F(WindowConversionTest, JoinTakesItsFormatFromTheDialogAndRemembersTheChoice) {
    AddRow(Tone("a.wav", 1), 0, 8000);
    AddRow(Tone("b.wav", 1), 4000, 8000);
    QDir().mkdir(dir_.filePath("mix"));
    prompts_->chosenPath = dir_.filePath("mix/song.txt");
    prompts_->chosenType = 3;  // "WMA Files(*.wma)"
    Window().Join2->trigger();
    ASSERT_TRUE(prompts_->boxes.isEmpty()) << prompts_->boxes[0].toStdString();
    ASSERT_EQ(prompts_->offered.size(), 1);
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    EXPECT_EQ(prompts_->offered[0],
              (QStringList{music, "",
                           "MP3 Files(*.mp3);;WAV Files(*.wav);;WMA Files(*.wma);;OGG Files(*.ogg)",
                           "1"}));
    EXPECT_TRUE(QDir(music).exists());
    const QString output = dir_.filePath("mix/song.wma");
    EXPECT_EQ(test::ProbeStream(output, "codec_name"), "wmav2");
    EXPECT_NEAR(static_cast<double>(DecodeWithFfmpeg(output, 44100, 2).size()) / 2, 1.5 * 44100,
                2048 + 1);

    // The next Join starts in the stored folder with the last name and type.
    Window().Join2->trigger();
    ASSERT_EQ(prompts_->offered.size(), 2);
    EXPECT_EQ(prompts_->offered[1][0], dir_.filePath("mix"));
    EXPECT_EQ(prompts_->offered[1][1], "song.txt");
    EXPECT_EQ(prompts_->offered[1][3], "3");
    EXPECT_EQ(prompts_->questions, QStringList{"File has existed. Overwrite?"});
    EXPECT_EQ(test::ProbeStream(output, "codec_name"), "wmav2");
    EXPECT_EQ(Status(0), "finish");
    EXPECT_EQ(Status(1), "finish");
    EXPECT_EQ(EnabledItems(), 13);
}

}  // namespace
}  // namespace quillet
