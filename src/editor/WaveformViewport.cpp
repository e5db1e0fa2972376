#include "editor/WaveformViewport.h"

#include <algorithm>
#include <cmath>

namespace quillet {

void WaveformViewport::SetFrames(int64_t frames) {
    frames_ = std::max<int64_t>(frames, 0);
    Clamp();
}

void WaveformViewport::SetWidth(int pixels) {
    // The frame at the left edge stays; the picture shows more or less of what follows.
    width_ = std::max(pixels, 1);
    Clamp();
}

double WaveformViewport::MaxFramesPerPixel() const {
    return std::max(static_cast<double>(frames_) / width_, kMinFramesPerPixel);
}

void WaveformViewport::ShowAll() {
    framesPerPixel_ = MaxFramesPerPixel();
    first_ = 0.0;
}

void WaveformViewport::ShowRange(int64_t from, int64_t to) {
    if (to <= from) to = from + 1;
    // A twentieth of the width on either side keeps the handles clear of the edges; a range
    // too short for the closest zoom is centred.
    framesPerPixel_ = static_cast<double>(to - from) / (width_ * 0.9);
    Clamp();
    ScrollTo((static_cast<double>(from) + static_cast<double>(to) - VisibleFrames()) / 2);
}

void WaveformViewport::ZoomAt(double factor, double x) {
    if (!(factor > 0)) return;
    const double anchor = FrameAt(x);
    framesPerPixel_ /= factor;
    framesPerPixel_ = std::clamp(framesPerPixel_, kMinFramesPerPixel, MaxFramesPerPixel());
    first_ = anchor - x * framesPerPixel_;
    Clamp();
}

void WaveformViewport::ScrollTo(double first) {
    first_ = first;
    Clamp();
}

void WaveformViewport::Follow(int64_t frame) {
    const double f = static_cast<double>(frame);
    if (f >= first_ && f < first_ + VisibleFrames()) return;
    ScrollTo(f - VisibleFrames() / 10);
}

void WaveformViewport::Clamp() {
    framesPerPixel_ = std::clamp(framesPerPixel_, kMinFramesPerPixel, MaxFramesPerPixel());
    const double last = std::max(0.0, static_cast<double>(frames_) - VisibleFrames());
    first_ = std::clamp(first_, 0.0, last);
}

namespace {

struct Step {
    double ms;  // 0 for a step counted in frames
    int64_t frames;
    int minors;  // minor marks per step, counting the major one
};

// Round times, each with a division that reads well (quarter minutes, tenths...).
constexpr Step kTimeSteps[] = {
    {1, 0, 5},         {2, 0, 4},         {5, 0, 5},       {10, 0, 5},       {20, 0, 4},
    {50, 0, 5},        {100, 0, 5},       {200, 0, 4},     {500, 0, 5},      {1000, 0, 5},
    {2000, 0, 4},      {5000, 0, 5},      {10000, 0, 5},   {15000, 0, 3},    {30000, 0, 3},
    {60000, 0, 4},     {120000, 0, 4},    {300000, 0, 5},  {600000, 0, 5},   {900000, 0, 3},
    {1800000, 0, 3},   {3600000, 0, 4},   {7200000, 0, 4}, {18000000, 0, 5}, {36000000, 0, 5},
    {180000000, 0, 5}, {360000000, 0, 5},
};
constexpr Step kFrameSteps[] = {
    {0, 1, 1},  {0, 2, 2},   {0, 5, 5},   {0, 10, 5},  {0, 20, 4},
    {0, 50, 5}, {0, 100, 5}, {0, 200, 4}, {0, 500, 5},
};

QString TimeLabel(int64_t ms, double stepMs, bool hours) {
    const int64_t h = ms / 3600000;
    const int64_t m = ms / 60000 % 60;
    const int64_t s = ms / 1000 % 60;
    QString text = hours ? QString::asprintf("%lld:%.2lld:%.2lld", static_cast<long long>(h),
                                             static_cast<long long>(m), static_cast<long long>(s))
                         : QString::asprintf("%lld:%.2lld", static_cast<long long>(ms / 60000),
                                             static_cast<long long>(s));
    const int64_t fraction = ms % 1000;
    if (stepMs >= 1000) return text;
    if (stepMs >= 100)
        return text + QString::asprintf(".%.1lld", static_cast<long long>(fraction / 100));
    if (stepMs >= 10)
        return text + QString::asprintf(".%.2lld", static_cast<long long>(fraction / 10));
    return text + QString::asprintf(".%.3lld", static_cast<long long>(fraction));
}

}  // namespace

std::vector<RulerTick> RulerTicks(const WaveformViewport& view, int sampleRate,
                                  double minLabelPixels) {
    std::vector<RulerTick> ticks;
    if (sampleRate <= 0 || view.Frames() <= 0) return ticks;
    const double framesPerMs = sampleRate / 1000.0;
    const double fpp = view.FramesPerPixel();
    const double wanted = minLabelPixels * fpp;  // frames a label needs

    Step step{0, 0, 1};
    for (const Step& s : kFrameSteps) {
        if (static_cast<double>(s.frames) >= framesPerMs) break;
        if (static_cast<double>(s.frames) >= wanted) {
            step = s;
            break;
        }
    }
    if (step.frames == 0) {
        step = kTimeSteps[std::size(kTimeSteps) - 1];
        for (const Step& s : kTimeSteps) {
            if (s.ms * framesPerMs >= wanted) {
                step = s;
                break;
            }
        }
    }

    const double stepFrames =
        step.frames > 0 ? static_cast<double>(step.frames) : step.ms * framesPerMs;
    const double minorFrames = stepFrames / step.minors;
    const double first = view.First();
    const double last = std::min(first + view.VisibleFrames(), static_cast<double>(view.Frames()));
    const bool hours = view.Frames() >= int64_t{3600} * sampleRate;
    const auto k0 = static_cast<int64_t>(std::floor(first / minorFrames));
    const auto k1 = static_cast<int64_t>(std::ceil(last / minorFrames));
    for (int64_t k = std::max<int64_t>(k0, 0); k <= k1; ++k) {
        RulerTick t;
        t.frame = static_cast<double>(k) * minorFrames;
        if (t.frame < first || t.frame > last) continue;
        t.major = k % step.minors == 0;
        if (t.major) {
            const int64_t index = k / step.minors;
            t.label = step.frames > 0
                          ? QString::number(index * step.frames)
                          : TimeLabel(static_cast<int64_t>(std::llround(index * step.ms)), step.ms,
                                      hours);
        }
        ticks.push_back(t);
    }
    return ticks;
}

}  // namespace quillet
