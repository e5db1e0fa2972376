#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include "editor/WaveformPeaks.h"
#include "support/Oracle.h"
#include "widgets/WaveformView.h"

namespace quillet {
namespace {

const QColor kPeak(0x1f, 0x8f, 0xca);
const QColor kRms(0x6f, 0xcb, 0xf8);

bool IsWave(QRgb c) {
    for (const QColor& w : {kPeak, kRms})
        if (std::abs(qRed(c) - w.red()) + std::abs(qGreen(c) - w.green()) +
                std::abs(qBlue(c) - w.blue()) <
            24)
            return true;
    return false;
}

class WaveformViewTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        // Left: a sine of amplitude 0.5 with a period of 64 frames; right: silence. 3 s.
        test::Ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.5*sin(2*PI*689.0625*t)|0:s=44100:d=3",
                      "-c:a", "pcm_s16le", dir_->filePath("sine.wav")});
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        view_ = std::make_unique<WaveformView>();
        view_->SetCacheDir(dir_->filePath("cache"));
        view_->resize(1000, 300);
        view_->show();
        QApplication::processEvents();
    }

    void Open() {
        QSignalSpy ready(view_.get(), &WaveformView::PeaksReady);
        view_->SetFile(dir_->filePath("sine.wav"), 132300, 44100);
        view_->SetStretch(0, 132300);
        ASSERT_TRUE(ready.wait(30000));
        ASSERT_TRUE(view_->PeaksComplete());
    }

    bool WaitForSamples() {
        for (int i = 0; i < 300 && !view_->DrawsSamples(); ++i) QTest::qWait(10);
        return view_->DrawsSamples();
    }

    QRect Lane(int i, int lanes) const {
        const QRect wave = view_->WaveRect();
        const int top = wave.top() + wave.height() * i / lanes;
        const int bottom = wave.top() + wave.height() * (i + 1) / lanes;
        return QRect(0, top, wave.width(), bottom - top);
    }
    // Amplitude shown in column x of a lane: how far above its middle the drawing reaches,
    // as a part of its half height.
    static double Reach(const QImage& image, int x, const QRect& lane) {
        const double mid = lane.top() + lane.height() / 2.0;
        const double half = lane.height() / 2.0 - 2;
        for (int y = lane.top() + 1; y < lane.bottom(); ++y)
            if (IsWave(image.pixel(x, y))) return (mid - y) / half;
        return -1;
    }

    static std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<WaveformView> view_;
};

std::unique_ptr<QTemporaryDir> WaveformViewTest::dir_;

TEST_F(WaveformViewTest, IsReachableByKeyboardAndNamed) {
    EXPECT_EQ(view_->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(view_->accessibleName(), "Waveform");
    Open();
    view_->SetStretch(55125, 154350 - 100000);
    EXPECT_TRUE(view_->accessibleDescription().contains("00:00:01.250"))
        << view_->accessibleDescription().toStdString();
}

TEST_F(WaveformViewTest, DrawsEachChannelsPeaksInItsLane) {
    // 400 pixels for 3 s: 331 frames a pixel, too many for samples, whenever they come in.
    view_->resize(400, 300);
    Open();
    EXPECT_TRUE(view_->View().ShowsAll());
    EXPECT_FALSE(view_->DrawsSamples());
    const QImage image = view_->grab().toImage();
    for (int x : {40, 160, 360}) {
        // The sine's peak of 0.5 reaches half way up its lane (a pixel either way).
        EXPECT_NEAR(Reach(image, x, Lane(0, 2)), 0.5, 0.03) << x;
        // Silence: nothing but the middle line.
        EXPECT_NEAR(Reach(image, x, Lane(1, 2)), 0.0, 0.03) << x;
    }
    // Mixed into one lane the envelope is the loudest channel's.
    view_->SetChannelsMixed(true);
    const QImage mixed = view_->grab().toImage();
    EXPECT_NEAR(Reach(mixed, 160, Lane(0, 1)), 0.5, 0.03);
}

TEST_F(WaveformViewTest, AtTheClosestZoomDrawsTheSamplesOfTheFile) {
    Open();
    view_->ZoomAt(1e9, 0);
    EXPECT_DOUBLE_EQ(view_->View().FramesPerPixel(), 1.0 / 32);
    // 55104 = 861 x 64: the sine starts a period there; frame 55120 is its crest of 0.5.
    view_->ScrollTo(55104);
    ASSERT_TRUE(WaitForSamples());
    QImage image = view_->grab().toImage();
    const QRect lane = Lane(0, 2);
    const double mid = lane.top() + lane.height() / 2.0;
    const double half = lane.height() / 2.0 - 2;
    // Each sample is drawn in the middle of its 32 pixels: 55120 at x = 16.5 x 32 = 528.
    EXPECT_TRUE(IsWave(image.pixel(528, static_cast<int>(std::lround(mid - 0.5 * half)))));
    EXPECT_TRUE(IsWave(image.pixel(16, static_cast<int>(std::lround(mid)))));
    // 55112 is an eighth of a period in: 0.5 x sin(pi / 4) = 0.35355, at x = 8.5 x 32 = 272.
    EXPECT_TRUE(IsWave(image.pixel(272, static_cast<int>(std::lround(mid - 0.35355 * half)))));
    EXPECT_FALSE(IsWave(image.pixel(272, static_cast<int>(std::lround(mid - 0.5 * half)))));
    // Mixed, the samples are the mean of the channels: the crest is at 0.25.
    view_->SetChannelsMixed(true);
    image = view_->grab().toImage();
    const QRect one = Lane(0, 1);
    const double mid1 = one.top() + one.height() / 2.0;
    const double half1 = one.height() / 2.0 - 2;
    EXPECT_TRUE(IsWave(image.pixel(528, static_cast<int>(std::lround(mid1 - 0.25 * half1)))));
    EXPECT_FALSE(IsWave(image.pixel(528, static_cast<int>(std::lround(mid1 - 0.5 * half1)))));
    // Ticks are frame numbers there.
    bool labelled = false;
    for (const RulerTick& t : view_->Ticks())
        if (t.major) labelled |= t.label == "55125";
    EXPECT_TRUE(labelled);
}

TEST_F(WaveformViewTest, ZoomsAndScrollsWithKeysWheelAndBar) {
    Open();
    // 132300 frames in 1000 pixels.
    EXPECT_DOUBLE_EQ(view_->View().FramesPerPixel(), 132.3);
    view_->SetPlayHead(66150);  // x = 500
    view_->setFocus();
    QTest::keyClick(view_.get(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(view_->View().FramesPerPixel(), 66.15);
    EXPECT_DOUBLE_EQ(view_->View().FrameAt(500), 66150.0);
    QTest::keyClick(view_.get(), Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(view_->View().FramesPerPixel(), 132.3);

    // Ctrl and one notch: closer by the square root of two about the pointer.
    QWheelEvent zoom(QPointF(250, 150), view_->mapToGlobal(QPointF(250, 150)), QPoint(),
                     QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_.get(), &zoom);
    EXPECT_NEAR(view_->View().FramesPerPixel(), 132.3 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(view_->View().FrameAt(250), 250 * 132.3, 1e-6);

    // Without Ctrl the wheel goes sideways by an eighth of the view.
    const double first = view_->View().First();
    QWheelEvent scroll(QPointF(250, 150), view_->mapToGlobal(QPointF(250, 150)), QPoint(),
                       QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_.get(), &scroll);
    EXPECT_NEAR(view_->View().First(), first + view_->View().VisibleFrames() / 8, 1e-6);
    EXPECT_EQ(view_->ScrollBar()->value(), std::lround(view_->View().First()));

    view_->ScrollBar()->setValue(1000);
    EXPECT_DOUBLE_EQ(view_->View().First(), 1000.0);
    EXPECT_EQ(view_->ScrollBar()->maximum(),
              static_cast<int>(std::ceil(132300 - view_->View().VisibleFrames())));

    view_->SetStretch(13230, 100000);
    view_->ZoomToStretch();
    EXPECT_EQ(view_->XOfFrame(13230), 50);
    EXPECT_EQ(view_->XOfFrame(100000), 950);
    view_->ZoomAll();
    EXPECT_TRUE(view_->View().ShowsAll());
    EXPECT_FALSE(view_->ScrollBar()->isEnabled());
}

TEST_F(WaveformViewTest, ClicksPlaceThePlayHeadAndHandlesAreDragged) {
    Open();
    view_->SetStretch(13230, 100000);  // x = 100 and 755.9
    QSignalSpy head(view_.get(), &WaveformView::PlayHeadClicked);
    QSignalSpy dragged(view_.get(), &WaveformView::StretchDragged);
    QSignalSpy dropped(view_.get(), &WaveformView::StretchDropped);
    QTest::mouseClick(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(500, 150));
    ASSERT_EQ(head.size(), 1);
    EXPECT_EQ(head[0][0].toLongLong(), 66150);  // 500 x 132.3

    QTest::mousePress(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(102, 150));
    EXPECT_EQ(view_->SelectedHandle(), WaveformView::Handle::Begin);
    QTest::mouseMove(view_.get(), QPoint(200, 150));
    QTest::mouseRelease(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_EQ(head.size(), 1);
    ASSERT_GE(dragged.size(), 1);
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped[0][0].toLongLong(), 26460);  // 200 x 132.3
    EXPECT_EQ(dropped[0][1].toLongLong(), 100000);

    // The end is dragged onto the begin and beyond: it stops one frame after it.
    QTest::mousePress(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(756, 150));
    EXPECT_EQ(view_->SelectedHandle(), WaveformView::Handle::End);
    QTest::mouseMove(view_.get(), QPoint(20, 150));
    QTest::mouseRelease(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 150));
    ASSERT_EQ(dropped.size(), 2);
    EXPECT_EQ(dropped[1][0].toLongLong(), 26460);
    EXPECT_EQ(dropped[1][1].toLongLong(), 26461);

    // A press and release on a handle without moving it changes nothing.
    QTest::mouseClick(view_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 150));
    EXPECT_EQ(dropped.size(), 2);
}

TEST_F(WaveformViewTest, AFileThatIsNotThereGivesAMessage) {
    QSignalSpy failed(view_.get(), &WaveformView::Failed);
    view_->SetFile(dir_->filePath("missing.wav"), 1000, 44100);
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(failed[0][0].toString().contains("is not there"));
    // Nothing to show, and painting that is fine.
    EXPECT_FALSE(view_->grab().isNull());
    view_->SetFile(QString(), 0, 0);
    EXPECT_FALSE(view_->grab().isNull());
}

}  // namespace
}  // namespace quillet
