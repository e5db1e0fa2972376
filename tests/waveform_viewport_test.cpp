#include <gtest/gtest.h>

#include <QStringList>

#include "editor/WaveformViewport.h"

namespace quillet {
namespace {

WaveformViewport View(int64_t frames, int width) {
    WaveformViewport v;
    v.SetWidth(width);
    v.SetFrames(frames);
    v.ShowAll();
    return v;
}

TEST(WaveformViewport, ZoomKeepsTheFrameUnderThePointer) {
    WaveformViewport v = View(441000, 1000);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 441.0);
    EXPECT_TRUE(v.ShowsAll());
    // The frame under x = 500 is 220500; at 220.5 frames per pixel it needs first = 110250.
    v.ZoomAt(2.0, 500);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 220.5);
    EXPECT_DOUBLE_EQ(v.First(), 110250.0);
    EXPECT_DOUBLE_EQ(v.FrameAt(500), 220500.0);
    EXPECT_DOUBLE_EQ(v.XOf(220500), 500.0);
    // Past the end the view stops at the last screen; before the start at 0.
    v.ScrollTo(1e9);
    EXPECT_DOUBLE_EQ(v.First(), 441000.0 - 220500.0);
    v.ScrollTo(-5);
    EXPECT_DOUBLE_EQ(v.First(), 0.0);
    // No closer than 32 pixels per frame, no farther than the whole file.
    v.ZoomAt(1e9, 0);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 1.0 / 32);
    v.ZoomAt(1e-9, 0);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 441.0);
    EXPECT_DOUBLE_EQ(v.First(), 0.0);
}

TEST(WaveformViewport, ShowsARangeWithMarginsAndFollowsAFrame) {
    WaveformViewport v = View(441000, 1000);
    // 9000 frames in 900 pixels: 10 per pixel; the range sits from x = 50 to x = 950.
    v.ShowRange(100000, 109000);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 10.0);
    EXPECT_DOUBLE_EQ(v.XOf(100000), 50.0);
    EXPECT_DOUBLE_EQ(v.XOf(109000), 950.0);
    // A frame out of view pages it in a tenth of the width from the left.
    v.Follow(105000);
    EXPECT_DOUBLE_EQ(v.First(), 99500.0);
    v.Follow(300000);
    EXPECT_DOUBLE_EQ(v.First(), 299000.0);
    // A single frame is shown at the closest zoom, as near the middle as the start allows.
    v.ShowRange(5, 6);
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 1.0 / 32);
    EXPECT_DOUBLE_EQ(v.First(), 0.0);
    // A narrower window keeps the left edge.
    v.ShowRange(200000, 201000);
    const double first = v.First();
    v.SetWidth(500);
    EXPECT_DOUBLE_EQ(v.First(), first);
    // A file shorter than the closest zoom fills what it can.
    WaveformViewport tiny = View(10, 1000);
    EXPECT_DOUBLE_EQ(tiny.FramesPerPixel(), 1.0 / 32);
    EXPECT_DOUBLE_EQ(tiny.First(), 0.0);
}

QStringList Labels(const std::vector<RulerTick>& ticks) {
    QStringList labels;
    for (const RulerTick& t : ticks)
        if (t.major) labels << t.label;
    return labels;
}

TEST(RulerTicks, ReadWellAtEveryZoom) {
    // Ten seconds in 1000 pixels, labels at least 100 pixels apart: a label per second, a
    // mark every 200 ms (8820 frames).
    WaveformViewport v = View(441000, 1000);
    std::vector<RulerTick> ticks = RulerTicks(v, 44100, 100);
    EXPECT_EQ(Labels(ticks), QStringList({"0:00", "0:01", "0:02", "0:03", "0:04", "0:05", "0:06",
                                          "0:07", "0:08", "0:09", "0:10"}));
    EXPECT_EQ(ticks.size(), 51u);
    EXPECT_DOUBLE_EQ(ticks[1].frame, 8820.0);

    // 2 frames per pixel: 200 frames per label, so 5 ms steps (220.5 frames) with ms shown.
    v.ZoomAt(441.0 / 2, 0);
    v.ScrollTo(55125);  // 1.250 s
    ticks = RulerTicks(v, 44100, 100);
    const QStringList ms = Labels(ticks);
    ASSERT_GE(ms.size(), 2);
    EXPECT_EQ(ms[0], "0:01.250");
    EXPECT_EQ(ms[1], "0:01.255");

    // 32 pixels per frame: labels every 5 frames, as frame numbers.
    v.ZoomAt(1e9, 0);
    v.ScrollTo(55125);
    ticks = RulerTicks(v, 44100, 100);
    EXPECT_EQ(Labels(ticks),
              QStringList({"55125", "55130", "55135", "55140", "55145", "55150", "55155"}));

    // An hour at 8 kHz in 1000 pixels: 2.88 M frames per label, so ten minutes, with hours.
    WaveformViewport hour = View(int64_t{3600} * 8000, 1000);
    EXPECT_EQ(
        Labels(RulerTicks(hour, 8000, 100)),
        QStringList({"0:00:00", "0:10:00", "0:20:00", "0:30:00", "0:40:00", "0:50:00", "1:00:00"}));
}

TEST(RulerTicks, LabelsNeverCrowdNorVanishWhileZooming) {
    WaveformViewport v = View(int64_t{3600} * 44100, 1200);
    for (int i = 0; i < 80; ++i) {
        const std::vector<RulerTick> ticks = RulerTicks(v, 44100, 110);
        std::vector<double> majors;
        for (const RulerTick& t : ticks)
            if (t.major) majors.push_back(v.XOf(t.frame));
        ASSERT_GE(majors.size(), 2u) << "at " << v.FramesPerPixel() << " frames per pixel";
        for (size_t k = 1; k < majors.size(); ++k)
            ASSERT_GE(majors[k] - majors[k - 1], 110 - 1e-6) << v.FramesPerPixel();
        v.ZoomAt(1.3, 600);
    }
    EXPECT_DOUBLE_EQ(v.FramesPerPixel(), 1.0 / 32);
}

}  // namespace
}  // namespace quillet
