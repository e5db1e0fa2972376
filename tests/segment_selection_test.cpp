#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <limits>
#include <memory>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "common/FormatTime.h"
#include "common/MulDiv.h"
#include "editor/SegmentEdit.h"
#include "platform/skin/SkinSlider.h"
#include "platform/skin/TSkin.h"
#include "support/AudioMatch.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

// ---- The arithmetic of the stretch ----

TrackInfo Track(int64_t lengthPos, int32_t lengthSec) {
    TrackInfo t;
    t.LengthPos = lengthPos;
    t.EndPos = lengthPos;
    t.LengthSec = lengthSec;
    t.EndSec = lengthSec;
    return t;
}

TEST(SegmentArithmetic, ScalingTakesTheLowHalfOfPositionsAndRoundsHalvesAway) {
    EXPECT_EQ(BarToPositions(250, 80000), 20000);
    EXPECT_EQ(BarToSeconds(250, 10), 3);  // 2.5
    EXPECT_EQ(SecondsToBar(1, 3), 333);
    EXPECT_EQ(SecondsToBar(2, 3), 667);
    EXPECT_EQ(SecondsToPositions(1, 132300, 3), 44100);
    // A length beyond 32 bits takes part with its low half only.
    EXPECT_EQ(BarToPositions(500, (int64_t{1} << 32) + 80000), 40000);
    // Low half negative: the result is negative and sign-extended, never a huge positive.
    EXPECT_LT(BarToPositions(1000, 3'000'000'000LL), 0);
    // A file shorter than one second has no seconds scale: MulDiv's failure value.
    EXPECT_EQ(SecondsToBar(0, 0), -1);
}

TEST(SegmentArithmetic, BarsAreClampedToTheirScale) {
    EXPECT_EQ(ClampBar(1005), 1000);
    EXPECT_EQ(ClampBar(-5), 0);
    const TrackInfo t = Track(80000, 10);
    // 1005 is the end of the file, which the begin may not reach while the end is there.
    EXPECT_FALSE(PlanDrag(t, SegmentEnd::Begin, 1005).accepted);
    const DragPlan below = PlanDrag(t, SegmentEnd::Begin, -40);
    EXPECT_TRUE(below.accepted);
    EXPECT_EQ(below.position, 0);
    EXPECT_EQ(below.seconds, 0);
}

TEST(SegmentArithmetic, DragsKeepTheBeginStrictlyBeforeTheEnd) {
    TrackInfo t = Track(80000, 10);
    t.StartPos = 20000;
    t.StartSec = 3;
    // The end onto exactly the begin is refused; one bar step later is accepted.
    EXPECT_FALSE(PlanDrag(t, SegmentEnd::End, 250).accepted);
    const DragPlan end = PlanDrag(t, SegmentEnd::End, 251);
    EXPECT_TRUE(end.accepted);
    EXPECT_EQ(end.position, 20080);
    t.EndPos = 40000;
    EXPECT_FALSE(PlanDrag(t, SegmentEnd::Begin, 500).accepted);
    EXPECT_TRUE(PlanDrag(t, SegmentEnd::Begin, 499).accepted);

    RestoreEnd(t, SegmentEnd::Begin, 125);
    EXPECT_EQ(t.StartPos, 10000);
    EXPECT_EQ(t.StartSec, 1);  // 1.25
    RestoreEnd(t, SegmentEnd::End, 875);
    EXPECT_EQ(t.EndPos, 70000);
    EXPECT_EQ(t.EndSec, 9);  // 8.75
}

TEST(SegmentArithmetic, OneSecondStepsStopAtTheEndsAndRefuseCrossing) {
    struct Case {
        const char* what;
        int32_t startSec, endSec, lengthSec;
        SegmentEnd end;
        int delta;
        StepOutcome outcome;
        int bar = 0;           // of the accepted second, 1000 over the file
        int64_t position = 0;  // of the accepted second, 84000 positions over 10 s
    };
    const Case cases[] = {
        {"begin right", 2, 5, 10, SegmentEnd::Begin, +1, StepOutcome::Accepted, 300, 25200},
        {"begin right onto the end", 4, 5, 10, SegmentEnd::Begin, +1, StepOutcome::Refused},
        {"begin left", 2, 5, 10, SegmentEnd::Begin, -1, StepOutcome::Accepted, 100, 8400},
        {"begin left at 0", 0, 5, 10, SegmentEnd::Begin, -1, StepOutcome::AtLimit},
        {"end right", 2, 5, 10, SegmentEnd::End, +1, StepOutcome::Accepted, 600, 50400},
        {"end right at the length", 2, 10, 10, SegmentEnd::End, +1, StepOutcome::AtLimit},
        {"end left", 2, 5, 10, SegmentEnd::End, -1, StepOutcome::Accepted, 400, 33600},
        {"end left onto the begin", 4, 5, 10, SegmentEnd::End, -1, StepOutcome::Refused},
        {"short file, begin right", 0, 0, 0, SegmentEnd::Begin, +1, StepOutcome::Refused},
        {"short file, begin left", 0, 0, 0, SegmentEnd::Begin, -1, StepOutcome::AtLimit},
        {"short file, end right", 0, 0, 0, SegmentEnd::End, +1, StepOutcome::AtLimit},
        {"short file, end left", 0, 0, 0, SegmentEnd::End, -1, StepOutcome::Refused},
    };
    for (const Case& c : cases) {
        TrackInfo t = Track(8000LL * c.lengthSec + 4000, c.lengthSec);
        t.StartSec = c.startSec;
        t.EndSec = c.endSec;
        const StepPlan plan = PlanStep(t, c.end, c.delta);
        EXPECT_EQ(plan.outcome, c.outcome) << c.what;
        if (plan.outcome != StepOutcome::Accepted) continue;
        const int32_t n = (c.end == SegmentEnd::Begin ? c.startSec : c.endSec) + c.delta;
        EXPECT_EQ(plan.seconds, n) << c.what;
        EXPECT_EQ(plan.bar, c.bar) << c.what;
        EXPECT_EQ(plan.position, c.position) << c.what;
    }
}

TEST(SegmentArithmetic, TotalByPositionsRoundsPerRowAndSkipsRowsWithoutLength) {
    TrackTable table;
    table[0] = Track(80000, 10);
    table[0].StartPos = 20000;  // 7.5 s of 10
    table[1] = Track(160000, 20);
    EXPECT_EQ(table.TotalSecondsByPositions(2), 28);  // 8 + 20, where the seconds give 27
    table[2] = Track(0, 0);  // a row whose length scales to nothing adds nothing (not -1)
    EXPECT_EQ(table.TotalSecondsByPositions(3), 28);
    EXPECT_EQ(table.TotalSecondsByPositions(1), 8);
    EXPECT_EQ(table.TotalSecondsByPositions(0), 0);
}

// ---- The window ----

struct Files {
    QTemporaryDir dir;
    QString ten;     // 10 s, 8 kHz mono
    QString twenty;  // 20 s, 8 kHz mono
    QString three;   // 3 s, 44.1 kHz stereo
    QString brief;   // half a second
};
std::unique_ptr<Files> gFiles;

class SegmentWindowTest : public test::MainWindowFixture {
  protected:
    static void SetUpTestSuite() {
        gFiles = std::make_unique<Files>();
        Files& f = *gFiles;
        f.ten = f.dir.filePath("ten.wav");
        test::MakeTone(f.ten, 80000, 8000, 1, {"-c:a", "pcm_s16le"});
        f.twenty = f.dir.filePath("twenty.wav");
        test::MakeTone(f.twenty, 160000, 8000, 1, {"-c:a", "pcm_s16le"});
        f.three = f.dir.filePath("three.wav");
        test::MakeChirp(f.three, 132300, 44100, 2, {"-c:a", "pcm_s16le"});
        f.brief = f.dir.filePath("brief.wav");
        test::MakeTone(f.brief, 4000, 8000, 1, {"-c:a", "pcm_s16le"});
    }
    static void TearDownTestSuite() { gFiles.reset(); }

    void SetUp() override {
        RemoveSettings();
        Open();
        if (HasFatalFailure()) return;
        prompts_->answerYes = true;
    }

    Files& F() { return *gFiles; }

    // As the user drags: mouse down, the move, mouse up.
    void Drag(const QString& bar, int position) {
        auto* slider = dynamic_cast<SkinSlider*>(Object(bar));
        ASSERT_NE(slider, nullptr);
        slider->MoveByUser(position);
    }
    QString Column(int row) { return L().SegmentText(row); }
    const TrackInfo& Rec(int row) { return L().Record(row); }
};

TEST_F(SegmentWindowTest, DragsAndStepsKeepTextsColumnAndTotalInStep) {
    AddAll({F().ten, F().twenty});
    Select(0);
    Drag("Begin bar", 250);
    EXPECT_EQ(Rec(0).StartPos, 20000);
    EXPECT_EQ(Rec(0).StartSec, 3);
    EXPECT_EQ(Text(kBeginTime), "00:00:03");
    EXPECT_EQ(Column(0), "  00:00:03 - 00:00:10");
    // After a drag the total is scaled from positions: 7.5 s rounds to 8, plus 20.
    EXPECT_EQ(Text(kTotalTime), "00:00:28");
    EXPECT_EQ(Bar(kBeginBar), 250);

    Press("End left");
    EXPECT_EQ(Rec(0).EndSec, 9);
    EXPECT_EQ(Rec(0).EndPos, 72000);
    EXPECT_EQ(Bar(kEndBar), 900);
    EXPECT_EQ(Text(kEndTime), "00:00:09");
    EXPECT_EQ(Column(0), "  00:00:03 - 00:00:09");
    // After a step the total is summed from seconds: 6 + 20.
    EXPECT_EQ(Text(kTotalTime), "00:00:26");

    Select(1);
    Drag("End bar", 500);
    EXPECT_EQ(Rec(1).EndPos, 80000);
    EXPECT_EQ(Rec(1).EndSec, 10);
    EXPECT_EQ(Text(kEndTime), "00:00:10");
    EXPECT_EQ(Column(1), "  00:00:00 - 00:00:10");
    EXPECT_EQ(Column(0), "  00:00:03 - 00:00:09");
    EXPECT_EQ(Text(kTotalTime), "00:00:17");  // 6.5 -> 7, plus 10
    Press("Begin right");
    EXPECT_EQ(Rec(1).StartSec, 1);
    EXPECT_EQ(Rec(1).StartPos, 8000);
    EXPECT_EQ(Bar(kBeginBar), 50);
    EXPECT_EQ(Text(kTotalTime), "00:00:15");
    EXPECT_TRUE(prompts_->boxes.isEmpty());
}

TEST_F(SegmentWindowTest, RefusedBeginDragRestoresTheSegmentAndTheTimerPutsTheBarBack) {
    AddAll({F().ten});
    Drag("End bar", 400);
    Press("Begin right");  // begin at 1 s, bar 100
    ASSERT_EQ(Rec(0).StartPos, 8000);
    const QString total = Text(kTotalTime);

    auto* slider = dynamic_cast<SkinSlider*>(Object("Begin bar"));
    ASSERT_NE(slider, nullptr);
    // One drag: first to an allowed place, then past the end.
    emit W().Skin->OnMouseDown(Object("Begin bar"), 0, 0, 0);
    slider->SetPosition(300);
    emit W().Skin->OnScrollTrack(Object("Begin bar"), 300);
    EXPECT_EQ(Rec(0).StartPos, 24000);
    slider->SetPosition(600);
    emit W().Skin->OnScrollTrack(Object("Begin bar"), 600);
    emit W().Skin->OnMouseUp(Object("Begin bar"), 0, 0, 0);

    ASSERT_EQ(prompts_->boxes, QStringList{"Start-time must be smaller than end-time."});
    EXPECT_EQ(Rec(0).StartPos, 8000);
    EXPECT_EQ(Rec(0).StartSec, 1);
    EXPECT_EQ(Text(kBeginTime), "00:00:01");
    EXPECT_EQ(Column(0), "  00:00:01 - 00:00:04");
    // Refusals leave the total alone: the accepted move showed it last.
    EXPECT_NE(Text(kTotalTime), total);
    EXPECT_EQ(Text(kTotalTime), "00:00:01");  // (32000 - 24000) of 80000 of 10 s
    // The bar goes back on the restore timer's tick, not inside the event.
    EXPECT_EQ(Bar(kBeginBar), 600);
    EXPECT_TRUE(W().Timer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(Bar(kBeginBar), 100, 5000);
    EXPECT_FALSE(W().Timer->isActive());
    EXPECT_EQ(Bar(kEndBar), 400);
}

TEST_F(SegmentWindowTest, EndDraggedOntoTheBeginIsRefusedAndPutBack) {
    AddAll({F().ten});
    Drag("Begin bar", 250);
    Drag("End bar", 250);
    ASSERT_EQ(prompts_->boxes, QStringList{"End-time must be larger than start-time."});
    EXPECT_EQ(Rec(0).EndPos, 80000);
    EXPECT_EQ(Rec(0).EndSec, 10);
    EXPECT_EQ(Text(kEndTime), "00:00:10");
    EXPECT_EQ(Column(0), "  00:00:03 - 00:00:10");
    QTRY_COMPARE_WITH_TIMEOUT(Bar(kEndBar), 1000, 5000);
    EXPECT_EQ(Bar(kBeginBar), 250);
}

TEST_F(SegmentWindowTest, ARefusedDragPutsAnOffGridSecondOnTheNearestBarPlace) {
    AddAll({F().three});
    Press("Begin right");  // 1 s of 3: bar 333, exactly 44100
    ASSERT_EQ(Rec(0).StartPos, 44100);
    Drag("Begin bar", 1000);
    ASSERT_EQ(prompts_->boxes.size(), 1);
    EXPECT_EQ(Rec(0).StartPos, 44056);  // 333 thousandths of 132300, rounded
    EXPECT_EQ(Rec(0).StartSec, 1);
    QTRY_COMPARE_WITH_TIMEOUT(Bar(kBeginBar), 333, 5000);
}

TEST_F(SegmentWindowTest, StepsAtTheEndsChangeNothingButRewriteTheTotal) {
    AddAll({F().ten});
    const auto expectUnchanged = [this](int startSec, int endSec) {
        EXPECT_EQ(Rec(0).StartSec, startSec);
        EXPECT_EQ(Rec(0).EndSec, endSec);
        EXPECT_EQ(Text(kTotalTime), FormatTime(endSec - startSec));
    };
    Object("Total time")->Label()->SetText("stale");
    Press("Begin left");
    expectUnchanged(0, 10);
    Object("Total time")->Label()->SetText("stale");
    Press("End right");
    expectUnchanged(0, 10);
    EXPECT_TRUE(prompts_->boxes.isEmpty());

    for (int k = 0; k < 9; ++k) Press("Begin right");
    ASSERT_EQ(Rec(0).StartSec, 9);
    EXPECT_TRUE(prompts_->boxes.isEmpty());
    Object("Total time")->Label()->SetText("stale");
    Press("Begin right");
    EXPECT_EQ(prompts_->boxes, QStringList{"Start-time must be smaller than end-time."});
    expectUnchanged(9, 10);
    EXPECT_EQ(Column(0), "  00:00:09 - 00:00:10");
    Object("Total time")->Label()->SetText("stale");
    Press("End left");
    EXPECT_EQ(prompts_->boxes.size(), 2);
    EXPECT_EQ(prompts_->boxes.back(), "End-time must be larger than start-time.");
    expectUnchanged(9, 10);
    EXPECT_EQ(Rec(0).StartPos, 72000);
    EXPECT_EQ(Rec(0).EndPos, 80000);
}

TEST_F(SegmentWindowTest, AFileShorterThanOneSecondAcceptsNoStep) {
    AddAll({F().brief});
    ASSERT_EQ(Rec(0).LengthSec, 0);
    for (const char* name : {"Begin right", "Begin left", "End right", "End left"}) Press(name);
    EXPECT_EQ(prompts_->boxes, (QStringList{"Start-time must be smaller than end-time.",
                                            "End-time must be larger than start-time."}));
    EXPECT_EQ(Rec(0).StartPos, 0);
    EXPECT_EQ(Rec(0).EndPos, 4000);
    EXPECT_EQ(Column(0), "  00:00:00 - 00:00:00");
    EXPECT_EQ(Bar(kBeginBar), 0);
    EXPECT_EQ(Bar(kEndBar), 1000);
    // A drag still works on positions; the seconds scale is 0.
    Drag("Begin bar", 500);
    EXPECT_EQ(Rec(0).StartPos, 2000);
    EXPECT_EQ(Rec(0).StartSec, 0);
    EXPECT_EQ(Text(kTotalTime), "00:00:00");
}

TEST_F(SegmentWindowTest, WithoutRowsOrSelectionNothingChanges) {
    Object("Total time")->Label()->SetText("untouched");
    emit W().Skin->OnScrollTrack(Object("Begin bar"), 500);
    emit W().Skin->OnScrollTrack(Object("Current bar"), 500);
    Press("Begin right");
    EXPECT_EQ(Text(kTotalTime), "untouched");

    AddAll({F().ten});
    W().lv->clearSelection();
    Object("Total time")->Label()->SetText("untouched");
    emit W().Skin->OnScrollTrack(Object("Begin bar"), 500);
    Press("End left");
    EXPECT_EQ(Text(kTotalTime), "untouched");
    EXPECT_EQ(Rec(0).StartPos, 0);
    EXPECT_EQ(Rec(0).EndSec, 10);
    EXPECT_TRUE(prompts_->boxes.isEmpty());
    // Another source while nothing plays only shows the total.
    W().lv->SelectRow(0);
    emit W().Skin->OnScrollTrack(Object("Current bar"), 500);
    EXPECT_EQ(Text(kTotalTime), "00:00:10");
}

TEST_F(SegmentWindowTest, DragsAndStepsAreIgnoredWhilePlayingOrPaused) {
    AddAll({F().three});
    W().Play1->trigger();
    ASSERT_TRUE(P().IsPlaying());
    for (int pass = 0; pass < 2; ++pass) {
        emit W().Skin->OnMouseDown(Object("Begin bar"), 0, 0, 0);
        emit W().Skin->OnScrollTrack(Object("Begin bar"), 900);
        emit W().Skin->OnScrollTrack(Object("End bar"), 10);
        Press("Begin right");
        Press("End left");
        EXPECT_EQ(Rec(0).StartPos, 0);
        EXPECT_EQ(Rec(0).EndPos, 132300);
        EXPECT_EQ(Rec(0).StartSec, 0);
        EXPECT_EQ(Rec(0).EndSec, 3);
        EXPECT_TRUE(prompts_->boxes.isEmpty());
        EXPECT_FALSE(W().Timer->isActive());
        W().Pause1->trigger();
        ASSERT_TRUE(P().IsPaused());
    }
    W().Stopplay1->trigger();
    Press("Begin right");
    EXPECT_EQ(Rec(0).StartSec, 1);
}

TEST_F(SegmentWindowTest, CutWritesExactlyTheChosenSegment) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    S().WriteString("cut", "output directory", out.path());
    W().cb_format->setCurrentIndex(1);  // WAV, 44.1 kHz stereo 16 bits by default
    AddAll({F().three});
    Press("Begin right");  // 1 s
    Drag("End bar", 900);  // 0.9 of the file
    const int64_t start = Rec(0).StartPos;
    const int64_t end = Rec(0).EndPos;
    ASSERT_EQ(start, 44100);
    ASSERT_EQ(end, 119070);
    W().Cut1->trigger();
    ASSERT_TRUE(prompts_->boxes.isEmpty()) << prompts_->boxes[0].toStdString();
    const QString written = out.filePath("three.wav");
    ASSERT_TRUE(QFile::exists(written));
    EXPECT_EQ(test::ProbeStream(written, "duration_ts").toLongLong(), end - start);

    const std::vector<float> source = test::DecodeWithFfmpeg(F().three, 44100, 2);
    const std::vector<float> result = test::DecodeWithFfmpeg(written, 44100, 2);
    ASSERT_EQ(static_cast<int64_t>(result.size()), (end - start) * 2);
    const std::vector<float> slice(source.begin() + start * 2, source.begin() + end * 2);
    const test::Match match = test::BestMatch(slice, result, 2, 64);
    EXPECT_EQ(match.lag, 0);
    EXPECT_GT(match.correlation, 0.9999);
}

}  // namespace
}  // namespace quillet
