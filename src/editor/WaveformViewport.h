#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace quillet {

// Which frames a waveform of some width in pixels shows: the frame at its left edge and the
// frames per pixel, kept inside the file between the whole file and 32 pixels per frame.
class WaveformViewport {
  public:
    static constexpr double kMinFramesPerPixel = 1.0 / 32;

    void SetFrames(int64_t frames);
    void SetWidth(int pixels);
    int64_t Frames() const { return frames_; }
    int Width() const { return width_; }

    double First() const { return first_; }
    double FramesPerPixel() const { return framesPerPixel_; }
    double VisibleFrames() const { return width_ * framesPerPixel_; }
    // The whole file in the width (and never closer than the closest zoom).
    double MaxFramesPerPixel() const;
    bool ShowsAll() const { return framesPerPixel_ >= MaxFramesPerPixel(); }

    double XOf(double frame) const { return (frame - first_) / framesPerPixel_; }
    double FrameAt(double x) const { return first_ + x * framesPerPixel_; }

    void ShowAll();
    // The frames [from, to) with a margin of a twentieth of the width on either side.
    void ShowRange(int64_t from, int64_t to);
    // factor > 1 zooms in; the frame under x stays under x.
    void ZoomAt(double factor, double x);
    void ScrollTo(double first);
    // Puts `frame` into view, paging so that it lies a tenth of the width from the left.
    void Follow(int64_t frame);

  private:
    void Clamp();

    int64_t frames_ = 0;
    int width_ = 1;
    double first_ = 0.0;
    double framesPerPixel_ = 1.0;
};

// One mark of the time ruler: labelled major marks on round times (on round frame numbers
// once even a millisecond is wider than a label), unlabelled minor ones between them.
struct RulerTick {
    double frame = 0.0;
    bool major = false;
    QString label;
};

// The marks in view, major ones at least minLabelPixels apart. Labels: m:ss (h:mm:ss in files
// of an hour or more), with as many decimals as the step needs (m:ss.s, m:ss.ss, m:ss.mmm), or
// frame numbers.
std::vector<RulerTick> RulerTicks(const WaveformViewport& view, int sampleRate,
                                  double minLabelPixels);

}  // namespace quillet
