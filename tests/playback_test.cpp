// Plays through the real sound server: run it through scripts/test.sh, which starts a null sink.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "common/FormatTime.h"
#include "dialogs/Tfm_dir.h"
#include "editor/PlayRange.h"
#include "platform/audio/AudioError.h"
#include "platform/player/TAudioPlayer2.h"
#include "platform/skin/SkinSlider.h"
#include "platform/skin/TSkin.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

// ---- The arithmetic of the play range ----

TrackInfo Segment(int64_t startPos, int64_t endPos, int32_t startSec, int32_t endSec) {
    TrackInfo t;
    t.StartPos = startPos;
    t.EndPos = endPos;
    t.StartSec = startSec;
    t.EndSec = endSec;
    t.LengthPos = 441000;
    t.LengthSec = 10;
    return t;
}

TEST(PlayRangeArithmetic, TheRangeIsTheSegmentWithPreListenAndTheFileWithout) {
    const TrackInfo t = Segment(44100, 88200, 1, 2);
    const PlayRange on = FreshPlayRange(t, true);
    EXPECT_EQ(on.StartPos, 44100);
    EXPECT_EQ(on.StartSec, 1);
    EXPECT_EQ(on.LengthPos, 44100);
    EXPECT_EQ(on.LengthSec, 1);
    const PlayRange off = FreshPlayRange(t, false);
    EXPECT_EQ(off.StartPos, 44100);
    EXPECT_EQ(off.LengthPos, 441000);
    EXPECT_EQ(off.LengthSec, 10);

    EXPECT_EQ(PlayOffsetAt(500, 44100), 22050);
    EXPECT_EQ(PlaySeekTarget(44100, 22050, true), 66150);
    EXPECT_EQ(PlaySeekTarget(44100, 22050, false), 22050);
    // The engine's positions are 32-bit: the sum is taken on the low halves.
    EXPECT_EQ(PlaySeekTarget((int64_t{1} << 32) + 100, 50, true), 150);
}

TEST(PlayRangeArithmetic, TheBarReachesTheEndHalfAThousandthEarlyAndAnEmptyRangeEndsAtOnce) {
    EXPECT_EQ(PlayBarAt(0, 0, 441000), 0);
    EXPECT_EQ(PlayBarAt(22050, 22050, 441000), 100);
    EXPECT_EQ(PlayBarAt(441000 - 221, 0, 441000), 999);
    EXPECT_EQ(PlayBarAt(441000 - 220, 0, 441000), 1000);  // 999.5 rounds up
    EXPECT_EQ(PlayBarAt(500000, 0, 441000), 1000);        // never past the end
    // A stretch whose begin met its end has nothing to play: over at the first event, not a
    // bar at MulDiv's -1 that never ends.
    EXPECT_EQ(PlayBarAt(0, 0, 0), 1000);
    EXPECT_EQ(PlayBarAt(4410, 0, -5), 1000);
}

TEST(PlayRangeArithmetic, SecondsShownCountFromTheFileStartWithPreListen) {
    EXPECT_EQ(PlaySecondsAt(0, 1, 10, true), 10);
    EXPECT_EQ(PlaySecondsAt(1000, 10, 10, true), 20);
    EXPECT_EQ(PlaySecondsAt(500, 3, 10, false), 2);  // 1.5
    EXPECT_EQ(PlaySecondsAt(1000, 0, 7, true), 7);   // a stretch inside one second
}

TEST(PlayRangeArithmetic, AMarkTurnsTheRangePlaceIntoTheWholeFileScale) {
    const TrackInfo t = Segment(88200, 352800, 2, 8);
    const PlayRange range = FreshPlayRange(t, true);
    const MarkPlan on = PlanMark(500, range, t, true);
    EXPECT_EQ(on.position, 88200 + 132300);
    EXPECT_EQ(on.bar, 500);
    EXPECT_EQ(on.seconds, 5);
    const MarkPlan off = PlanMark(250, FreshPlayRange(t, false), t, false);
    EXPECT_EQ(off.position, 110250);
    EXPECT_EQ(off.bar, 250);
    EXPECT_EQ(off.seconds, 3);  // 2.5
}

// ---- The window with the real player ----

struct Files {
    QTemporaryDir dir;
    QString one;    // 1 s
    QString three;  // 3 s
    QString mp3;    // 3 s
};
std::unique_ptr<Files> gFiles;

constexpr int kThreeLength = 132300;
constexpr int kWait = 15000;

class PlaybackTest : public test::MainWindowFixture {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        gFiles->one = gFiles->dir.filePath("one.wav");
        test::MakeTone(gFiles->one, 44100, 44100, 2, {"-c:a", "pcm_s16le"});
        gFiles->three = gFiles->dir.filePath("three.wav");
        test::MakeTone(gFiles->three, kThreeLength, 44100, 2, {"-c:a", "pcm_s16le"});
        gFiles->mp3 = gFiles->dir.filePath("three.mp3");
        test::MakeTone(gFiles->mp3, kThreeLength, 44100, 2, {"-c:a", "libmp3lame"});
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    void SetUp() override {
        RemoveSettings();
        Open();
        if (HasFatalFailure()) return;
        prompts_->answerYes = true;
        // After the window's own handler: what each timer event left on show.
        QObject::connect(W().AudioPlayer, &TAudioPlayer2::OnTimer, W().AudioPlayer,
                         [this](int current, int, int) {
                             timerSamples_.push_back(current);
                             timerTexts_ << Text(kCurrentTime);
                             timerOffsets_.push_back(P().OffsetPos());
                         });
    }

    Files& F() { return *gFiles; }

    SkinSlider* Slider(const QString& name) { return dynamic_cast<SkinSlider*>(Object(name)); }
    bool Visible(const QString& name) {
        auto* widget = W().findChild<QWidget*>(name);
        return widget && widget->isVisibleTo(&W());
    }
    QString Status(int row) { return L().Status(row); }
    bool PreListenStored() { return S().ReadBool("cut", "pre-listen", false); }
    bool WaitPlayingPast(int bar) {
        return QTest::qWaitFor(
            [&] { return P().IsPlaying() && !P().IsPaused() && Bar(kCurrentBar) > bar; }, kWait);
    }

    // The window as playback leaves it, and as a fresh one has it.
    void ExpectStopped(int row) {
        EXPECT_FALSE(P().IsPlaying());
        EXPECT_FALSE(P().IsPaused());
        EXPECT_EQ(Status(row), "Stop");
        EXPECT_EQ(Text(kFilename), "No file is playing");
        EXPECT_FALSE(Visible("Current bar"));
        EXPECT_TRUE(Visible("Begin bar"));
        EXPECT_TRUE(Visible("End bar"));
        EXPECT_FALSE(W().AudioFileRead.IsOpen());
        ExpectPlayingMenus(false);
    }
    void ExpectPlayingMenus(bool playing) {
        for (QAction* a : {W().Pause1, W().Pause2, W().Stopplay1, W().StopPlaying1})
            EXPECT_EQ(a->isEnabled(), playing) << a->objectName().toStdString();
        for (QAction* a : {W().Cut1, W().Cut2, W().Join1, W().Join2, W().Clear1, W().Clear2})
            EXPECT_EQ(a->isEnabled(), !playing) << a->objectName().toStdString();
    }

    std::vector<int> timerSamples_;
    std::vector<int64_t> timerOffsets_;
    QStringList timerTexts_;
};

TEST_F(PlaybackTest, StopOrPlayWithNothingToPlayDoesNothing) {
    const QString filename = Text(kFilename);
    W().Stopplay1->trigger();
    W().Play1->trigger();
    W().Pause1->trigger();
    EXPECT_FALSE(P().IsPlaying());
    EXPECT_EQ(Text(kFilename), filename);
    EXPECT_FALSE(W().Stopplay1->isEnabled());
    EXPECT_TRUE(W().Pause1->isEnabled());
    EXPECT_TRUE(W().Cut1->isEnabled());

    AddAll({F().one});
    W().Stopplay1->trigger();
    Press("Stop playing");
    EXPECT_EQ(Status(0), "unconverted");
    EXPECT_EQ(Text(kFilename), filename);
    EXPECT_FALSE(W().Stopplay1->isEnabled());
    EXPECT_TRUE(prompts_->boxes.isEmpty());
}

TEST_F(PlaybackTest, PlayWithNoSelectionPlaysRowZeroAndStopPutsTheWindowBack) {
    AddAll({F().mp3, F().one});
    W().lv->clearSelection();
    Press("Play");
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_FALSE(P().IsPaused());
    EXPECT_EQ(P().PlayingTrack(), 0);
    EXPECT_EQ(Status(0), "Playing");
    EXPECT_EQ(Status(1), "unconverted");
    EXPECT_EQ(Text(kFilename), "three.mp3");
    EXPECT_TRUE(Visible("Current bar"));
    EXPECT_FALSE(Visible("Begin bar"));
    EXPECT_FALSE(Visible("End bar"));
    ExpectPlayingMenus(true);
    ASSERT_TRUE(WaitPlayingPast(50));
    EXPECT_NE(Text(kCurrentTime), QString());

    W().StopPlaying1->trigger();
    ExpectStopped(0);
    EXPECT_EQ(Bar(kCurrentBar), 0);
    EXPECT_EQ(Text(kCurrentTime), "00:00:00");
    // A stopped player sends nothing more.
    const size_t events = timerSamples_.size();
    QTest::qWait(300);
    EXPECT_EQ(timerSamples_.size(), events);
}

TEST_F(PlaybackTest, PlayWhileAnotherRowPlaysStopsThatRowAndStartsFromTheBeginning) {
    AddAll({F().three, F().one});
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(100));
    Select(1);
    W().Play2->trigger();
    EXPECT_EQ(Status(0), "Stop");
    EXPECT_EQ(Status(1), "Playing");
    EXPECT_EQ(P().PlayingTrack(), 1);
    EXPECT_EQ(Text(kFilename), "one.wav");
    EXPECT_EQ(P().OffsetPos(), 0);
    EXPECT_EQ(P().Range().LengthPos, 44100);
    EXPECT_EQ(Bar(kCurrentBar), 0);
    // The one-second file plays to its end: the player's end puts the window back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    ExpectStopped(1);
    EXPECT_EQ(Status(0), "Stop");
    EXPECT_FALSE(timerSamples_.empty());
    EXPECT_TRUE(prompts_->boxes.isEmpty());
}

TEST_F(PlaybackTest, PauseHoldsTheBarAndPlayResumesFromWhereTheBarWasMoved) {
    AddAll({F().three});
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(100));
    W().Pause1->trigger();
    EXPECT_TRUE(P().IsPaused());
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_EQ(Status(0), "pause");
    EXPECT_FALSE(W().Pause1->isEnabled());
    EXPECT_FALSE(W().Pause2->isEnabled());
    EXPECT_TRUE(W().Stopplay1->isEnabled());
    EXPECT_TRUE(W().AudioFileRead.IsOpen());
    const int held = Bar(kCurrentBar);
    const QString heldTime = Text(kCurrentTime);
    Press("Pause");  // a second pause changes nothing
    EXPECT_TRUE(P().IsPaused());
    EXPECT_EQ(Status(0), "pause");
    const size_t events = timerSamples_.size();
    QTest::qWait(300);
    EXPECT_EQ(timerSamples_.size(), events);
    EXPECT_EQ(Bar(kCurrentBar), held);
    EXPECT_EQ(Text(kCurrentTime), heldTime);

    // Dragging while paused moves the bar and the time but does not resume.
    Slider("Current bar")->MoveByUser(600);
    EXPECT_EQ(Text(kCurrentTime), "00:00:02");  // 1.8 s of 3
    EXPECT_TRUE(P().IsPaused());
    EXPECT_EQ(Status(0), "pause");
    QTest::qWait(300);
    EXPECT_EQ(timerSamples_.size(), events);
    EXPECT_EQ(Bar(kCurrentBar), 600);

    W().Play1->trigger();
    EXPECT_FALSE(P().IsPaused());
    EXPECT_EQ(Status(0), "Playing");
    EXPECT_TRUE(W().Pause1->isEnabled());
    EXPECT_TRUE(W().Pause2->isEnabled());
    EXPECT_EQ(P().OffsetPos(), 79380);  // 600 thousandths of 132300
    EXPECT_EQ(P().Range().LengthPos, kThreeLength);
    ASSERT_TRUE(QTest::qWaitFor([&] { return timerSamples_.size() > events; }, kWait));
    EXPECT_GE(Bar(kCurrentBar), 600);
    EXPECT_EQ(timerOffsets_.back(), 79380);
}

TEST_F(PlaybackTest, ReleasingTheCurrentBarWhilePlayingGoesOnFromThere) {
    AddAll({F().three});
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(30));
    const size_t events = timerSamples_.size();
    Slider("Current bar")->MoveByUser(700);
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_FALSE(P().IsPaused());
    EXPECT_FALSE(P().FreshPlay());
    EXPECT_EQ(Status(0), "Playing");
    EXPECT_EQ(P().OffsetPos(), 92610);
    EXPECT_EQ(P().Range().LengthPos, kThreeLength);
    ASSERT_TRUE(QTest::qWaitFor([&] { return timerSamples_.size() > events; }, kWait));
    EXPECT_GE(Bar(kCurrentBar), 700);
}

TEST_F(PlaybackTest, PreListenPlaysTheSegmentAndStopsAtItsEnd) {
    Press("Pre-listen-off");
    ASSERT_FALSE(Visible("Pre-listen-off"));
    ASSERT_TRUE(PreListenStored());
    AddAll({F().three});
    Press("Begin right");
    Press("End left");
    ASSERT_EQ(L().Record(0).StartPos, 44100);
    ASSERT_EQ(L().Record(0).EndPos, 88200);

    W().Play1->trigger();
    EXPECT_EQ(P().Range().StartPos, 44100);
    EXPECT_EQ(P().Range().LengthPos, 44100);
    EXPECT_EQ(P().Range().LengthSec, 1);
    // The switch cannot change while playing or paused.
    Press("Pre-listen-on");
    Press("Pre-listen-off");
    EXPECT_FALSE(Visible("Pre-listen-off"));
    EXPECT_TRUE(PreListenStored());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timerTexts_.isEmpty(); }, kWait));
    EXPECT_EQ(timerTexts_.front(), "00:00:01");
    W().Pause1->trigger();
    Press("Pre-listen-on");
    EXPECT_FALSE(Visible("Pre-listen-off"));
    EXPECT_TRUE(PreListenStored());
    W().Play1->trigger();
    ASSERT_FALSE(P().IsPaused());

    // The file goes on after the segment: it is the timer that ends playback.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    ExpectStopped(0);
    EXPECT_EQ(Text(kCurrentTime), "00:00:02");
    EXPECT_EQ(timerTexts_.back(), "00:00:02");
    EXPECT_EQ(Bar(kCurrentBar), 1000);

    // Stopped, the switch works again.
    Press("Pre-listen-on");
    EXPECT_TRUE(Visible("Pre-listen-off"));
    EXPECT_FALSE(PreListenStored());
}

TEST_F(PlaybackTest, TheSwitchIsIgnoredWhilePlayingWithPreListenOff) {
    AddAll({F().one});
    W().Play1->trigger();
    Press("Pre-listen-off");
    EXPECT_TRUE(Visible("Pre-listen-off"));
    EXPECT_FALSE(PreListenStored());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    ExpectStopped(0);
}

TEST_F(PlaybackTest, MarksWhilePlayingSetTheSegmentAtTheHeardPlace) {
    AddAll({F().three});
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(150));
    // The bar follows the last timer event; a mark is within one bar step of what it measured.
    const int p = Bar(kCurrentBar);
    const int64_t heard = timerSamples_.back() + timerOffsets_.back();
    Press("Begin");
    const TrackInfo& t = L().Record(0);
    // p thousandths of the file, to the nearest position.
    EXPECT_EQ(t.StartPos, (p * 132300 + 500) / 1000);
    EXPECT_LE(std::abs(t.StartPos - heard), kThreeLength / 2000 + 1);
    EXPECT_EQ(t.StartSec, (p * 3 + 500) / 1000);
    EXPECT_EQ(Bar(kBeginBar), p);
    EXPECT_EQ(Text(kBeginTime), FormatTime(t.StartSec));
    EXPECT_EQ(Cell(0, 1), "  " + FormatTime(t.StartSec) + " - " + FormatTime(t.EndSec));
    EXPECT_EQ(Text(kTotalTime), FormatTime(t.EndSec - t.StartSec));
    EXPECT_TRUE(P().IsPlaying());
    EXPECT_EQ(P().Range().LengthPos, kThreeLength);  // the range stays

    ASSERT_TRUE(WaitPlayingPast(p + 150));
    const int q = Bar(kCurrentBar);
    Press("End");
    EXPECT_EQ(t.EndPos, (q * 132300 + 500) / 1000);
    EXPECT_EQ(Bar(kEndBar), q);
    EXPECT_EQ(Text(kEndTime), FormatTime(t.EndSec));
    EXPECT_TRUE(prompts_->boxes.isEmpty());

    // A begin at or after the end is refused and playback goes on.
    ASSERT_TRUE(WaitPlayingPast(q + 20));
    const TrackInfo before = t;
    Press("Begin");
    EXPECT_EQ(prompts_->boxes, QStringList{"Start-time must be smaller than end-time."});
    EXPECT_EQ(t.StartPos, before.StartPos);
    EXPECT_EQ(t.EndPos, before.EndPos);
    EXPECT_EQ(Bar(kBeginBar), p);
    EXPECT_TRUE(P().IsPlaying());
    const size_t events = timerSamples_.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return timerSamples_.size() > events; }, kWait));

    W().Stopplay1->trigger();
    EXPECT_TRUE(Visible("Begin bar"));
    EXPECT_EQ(Bar(kBeginBar), p);
    EXPECT_EQ(Bar(kEndBar), q);
}

TEST_F(PlaybackTest, MarksWithPreListenLandOnTheWholeFileScale) {
    Press("Pre-listen-off");
    AddAll({F().three});
    Press("Begin right");  // the range is 1 s .. 3 s
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(150));
    W().Pause1->trigger();
    const int p = Bar(kCurrentBar);
    Press("Begin");  // a pause keeps the place to mark
    const TrackInfo& t = L().Record(0);
    // p thousandths of the 2 s range after its start at 1 s, then on the file's scale.
    const int64_t a = (p * 88200 + 500) / 1000 + 44100;
    EXPECT_EQ(t.StartPos, a);
    const int64_t bar = (a * 1000 + 132300 / 2) / 132300;
    EXPECT_EQ(Bar(kBeginBar), bar);
    EXPECT_EQ(t.StartSec, (bar * 3 + 500) / 1000);
    EXPECT_EQ(P().Range().StartPos, 44100);
    // Resuming plays on in the range it started with.
    W().Play1->trigger();
    EXPECT_EQ(P().OffsetPos(), (p * 88200 + 500) / 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    EXPECT_EQ(Text(kCurrentTime), "00:00:03");
}

TEST_F(PlaybackTest, PlaybackEndsOnItsOwnAfterTheWindowClosed) {
    Press("Pre-listen-off");
    AddAll({F().one});
    W().Play1->trigger();
    ASSERT_TRUE(WaitPlayingPast(20));
    W().close();
    // The settings are gone; the player's events must not reach for them.
    ASSERT_EQ(W().Settings(), nullptr);
    const size_t events = timerSamples_.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    EXPECT_GT(timerSamples_.size(), events);
    EXPECT_EQ(Status(0), "Stop");
    EXPECT_TRUE(prompts_->boxes.isEmpty());
}

TEST_F(PlaybackTest, PlayFromTheSkinDuringAFolderScanKeepsPlaying) {
    // The skin's "Play" stays live while a folder scan pumps messages; the files the scan
    // checks must not take the playing file away from the player.
    QTemporaryDir dir;
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(QFile::copy(
            F().one, dir.filePath(QStringLiteral("t%1.wav").arg(i, 2, 10, QLatin1Char('0')))));
    QTimer starter;
    starter.setInterval(0);
    QObject::connect(&starter, &QTimer::timeout, [&] {
        if (Rows() < 1 || P().IsPlaying()) return;
        starter.stop();
        Select(0);
        Press("Play");
    });
    starter.start();
    prompts_->inside = [&dir](QDialog& d) {
        auto& chooser = static_cast<Tfm_dir&>(d);
        ASSERT_TRUE(chooser.SelectFolder(dir.path()));
        chooser.cbx_sub->setChecked(false);
        chooser.btn_ok->click();
    };
    W().AddPath1Click();
    starter.stop();
    ASSERT_EQ(Rows(), 12);
    ASSERT_TRUE(P().IsPlaying());
    EXPECT_LT(P().PlayingTrack(), 12);
    EXPECT_TRUE(W().AudioFileRead.IsOpen());
    // The one second plays to its end and stops on its own.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, kWait));
    EXPECT_EQ(Text(kCurrentTime), "00:00:01");
    EXPECT_TRUE(prompts_->boxes.isEmpty());
}

TEST_F(PlaybackTest, AFileRemovedBeforePlayShowsTheEnginesText) {
    QTemporaryDir dir;
    const QString copy = dir.filePath("gone.wav");
    ASSERT_TRUE(QFile::copy(F().one, copy));
    AddAll({copy});
    ASSERT_TRUE(QFile::remove(copy));
    QString expected;
    try {
        TAudioFile2 probe;
        probe.OpenForRead(copy, 0, 1);
    } catch (const AudioError& e) {
        expected = QString::fromUtf8(e.what());
    }
    ASSERT_FALSE(expected.isEmpty());
    // Through the event loop, so the error takes the application's path.
    QTimer::singleShot(0, &W(), [this] { W().Play1->trigger(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts_->boxes.isEmpty(); }, kWait));
    EXPECT_EQ(prompts_->boxes, QStringList{expected});
    EXPECT_FALSE(P().IsPlaying());
    EXPECT_TRUE(W().Cut1->isEnabled());
}

}  // namespace
}  // namespace quillet
