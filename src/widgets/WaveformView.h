#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "editor/PeakCache.h"
#include "editor/WaveformViewport.h"

class QScrollBar;

namespace quillet {

class PeakBuilder;
class SampleReader;
class WaveformPeaks;

// The sound of one file: both channels (or all of them mixed into one lane) as peak and RMS
// envelopes, the chosen stretch shaded between two handles that the mouse drags, the play
// head, and a time ruler. Zooms from the whole file down to single samples, which it then
// draws one by one from the file. Peaks and samples are read off the window's thread; a paint
// looks at a few buckets per pixel whatever the zoom.
class WaveformView : public QWidget {
    Q_OBJECT
  public:
    enum class Handle { Begin, End };
    // Closer than this many frames per pixel the peaks are coarser than the picture, and the
    // samples themselves are read.
    static constexpr double kSampleDetail = 256.0;

    explicit WaveformView(QWidget* parent = nullptr);
    ~WaveformView() override;

    // The file shown, with its length in frames and rate as the program knows them; an empty
    // path shows nothing and stops any reading.
    void SetFile(const QString& path, int64_t frames, int sampleRate);
    const QString& FilePath() const { return path_; }
    // Where peaks are cached (the XDG cache folder's by default), for the next SetFile.
    void SetCacheDir(const QString& dir);
    // Peaks from a builder that others show too (the main window's overview), which must
    // outlive the view: a file it is already reading, or has read, is not read again. Set it
    // before the first SetFile.
    void SetPeakBuilder(PeakBuilder* shared);

    void SetStretch(int64_t begin, int64_t end);
    int64_t Begin() const { return begin_; }
    int64_t End() const { return end_; }
    void SetPlayHead(int64_t frame);
    int64_t PlayHead() const { return playHead_; }
    void SelectHandle(Handle handle);
    Handle SelectedHandle() const { return selected_; }
    void SetChannelsMixed(bool mixed);
    bool ChannelsMixed() const { return mixed_; }

    const WaveformViewport& View() const { return view_; }
    void ZoomAll();
    void ZoomToStretch();
    void ZoomIn();
    void ZoomOut();
    // Zooms by factor (> 1 closer) keeping the frame under x in place.
    void ZoomAt(double factor, double x);
    void ScrollTo(double firstFrame);
    // Pages the view so that the frame is in it (the play head while playing).
    void Follow(int64_t frame);

    const WaveformPeaks& Peaks() const;
    bool PeaksComplete() const;
    // The samples themselves are drawn now, read from the file.
    bool DrawsSamples() const;
    std::vector<RulerTick> Ticks() const;
    QScrollBar* ScrollBar() const { return scroll_; }
    // The part of the widget the sound is drawn in (below the ruler, above the scroll bar).
    QRect WaveRect() const;
    int XOfFrame(int64_t frame) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void PlayHeadClicked(qint64 frame);
    void HandleSelected(quillet::WaveformView::Handle handle);
    // While a handle is dragged, and once when it is let go (only when the stretch changed).
    void StretchDragged(qint64 begin, qint64 end);
    void StretchDropped(qint64 begin, qint64 end);
    void ViewChanged();
    void PeaksProgress(qint64 readyFrames, qint64 frames);
    void PeaksReady();
    void Failed(const QString& message);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    double ZoomAnchor() const;
    std::pair<int64_t, int64_t> VisibleRange() const;
    double MinLabelPixels() const;
    void ConnectPeaks();
    void UpdateDescription();
    void ViewMoved();
    void SyncScrollBar();
    void RequestSamples();
    int ChannelCount() const;
    void PaintRuler(QPainter& p, const QRect& r) const;
    QRect LaneOf(int i, int lanes) const;
    void PaintBackground(int lanes);
    void PaintColumns(const QRect& lane, int channel, bool samples);
    void FillColumn(int x, const QRect& lane, double top, double bottom, double rms);
    void PaintSamplePoints(QPainter& p, const QRect& lane, int channel) const;
    void PaintHandles(QPainter& p, const QRect& wave) const;
    float SampleAt(int64_t frame, int channel) const;
    int64_t FrameAtX(double x) const;
    bool HitHandle(double x, Handle& handle) const;

    QString path_;
    std::optional<SourceStamp> stamp_;  // of the file when it was set
    int rate_ = 0;
    int64_t frames_ = 0;
    int64_t begin_ = 0;
    int64_t end_ = 0;
    int64_t playHead_ = 0;
    Handle selected_ = Handle::Begin;
    bool mixed_ = false;
    WaveformViewport view_;
    QImage canvas_;  // the wave area, drawn anew at each paint
    struct Colours {
        QRgb base, stretch, peakDim, peak, rmsDim, rms, laneLine, border;
    } colours_{};

    PeakBuilder* peaks_;
    bool sharedPeaks_ = false;
    SampleReader* samples_;
    QScrollBar* scroll_;
    bool syncing_ = false;
    bool peaksFailed_ = false;
    int64_t requestFirst_ = 0;  // the samples last asked for
    int64_t requestCount_ = 0;

    bool dragging_ = false;
    Handle dragged_ = Handle::Begin;
    int64_t dragBegin_ = 0;
    int64_t dragEnd_ = 0;
};

}  // namespace quillet
