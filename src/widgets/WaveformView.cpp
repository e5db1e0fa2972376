#include "widgets/WaveformView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "editor/PeakBuilder.h"
#include "editor/SampleReader.h"
#include "editor/TypedTime.h"
#include "editor/WaveformPeaks.h"

namespace quillet {

namespace {

// The skin's colours (resources/skin), so the editor sits beside the main window.
const QColor kBase(0x11, 0x13, 0x18);
const QColor kRulerFill(0x1a, 0x1d, 0x24);
const QColor kBorder(0x2c, 0x31, 0x3c);
const QColor kLaneLine(0x25, 0x29, 0x32);
const QColor kMuted(0x8a, 0x93, 0xa3);
const QColor kFaint(0x5d, 0x65, 0x74);
const QColor kPeak(0x1f, 0x8f, 0xca);
const QColor kRms(0x6f, 0xcb, 0xf8);
const QColor kAccent(0x3a, 0xb7, 0xf5);
const QColor kBegin(0x3d, 0xdc, 0x84);
const QColor kEnd(0xff, 0x9f, 0x43);
const QColor kPlayHead(0xee, 0xf1, 0xf6);
const QColor kFocus(0x3a, 0xb7, 0xf5);

QRgb Blend(const QColor& under, const QColor& over, int alpha) {
    const auto mix = [&](int a, int b) { return a + (b - a) * alpha / 255; };
    return qRgb(mix(under.red(), over.red()), mix(under.green(), over.green()),
                mix(under.blue(), over.blue()));
}

constexpr int kRulerHeight = 22;
constexpr int kHandleReach = 5;  // pixels either side of a handle that grab it
constexpr double kZoomStep = 2.0;

}  // namespace

WaveformView::WaveformView(QWidget* parent)
    : QWidget(parent),
      peaks_(new PeakBuilder(this)),
      samples_(new SampleReader(this)),
      scroll_(new QScrollBar(Qt::Horizontal, this)) {
    // Outside the stretch the sound is dimmed towards the background; inside, the background
    // takes a tint of the accent.
    colours_ = {kBase.rgb(),
                Blend(kBase, kAccent, 26),
                Blend(kPeak, kBase, 150),
                kPeak.rgb(),
                Blend(kRms, kBase, 150),
                kRms.rgb(),
                kLaneLine.rgb(),
                kBorder.rgb()};
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Waveform"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    scroll_->setAccessibleName(QStringLiteral("Waveform position"));
    scroll_->setFocusPolicy(Qt::NoFocus);
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    setFont(small);

    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing_) return;
        view_.ScrollTo(value);
        ViewMoved();
    });
    ConnectPeaks();
    connect(samples_, &SampleReader::Ready, this, qOverload<>(&QWidget::update));
    connect(samples_, &SampleReader::Failed, this, &WaveformView::Failed);
    SyncScrollBar();
}

WaveformView::~WaveformView() = default;

void WaveformView::ConnectPeaks() {
    connect(peaks_, &PeakBuilder::Progress, this, [this](qint64 ready, qint64 frames) {
        update();
        emit PeaksProgress(ready, frames);
    });
    connect(peaks_, &PeakBuilder::Finished, this, [this] {
        update();
        emit PeaksReady();
    });
    connect(peaks_, &PeakBuilder::Failed, this, [this](const QString& message) {
        peaksFailed_ = true;
        update();
        emit Failed(message);
    });
}

void WaveformView::SetCacheDir(const QString& dir) { peaks_->SetCacheDir(dir); }

void WaveformView::SetPeakBuilder(PeakBuilder* shared) {
    if (!shared || shared == peaks_) return;
    // Our own builder stays behind, an idle child.
    peaks_->Cancel();
    disconnect(peaks_, nullptr, this, nullptr);
    peaks_ = shared;
    sharedPeaks_ = true;
    ConnectPeaks();
}

void WaveformView::SetFile(const QString& path, int64_t frames, int sampleRate) {
    // The same file again is left as it is, unless it was replaced on disk since.
    std::optional<SourceStamp> stamp = SourceStamp::Of(path);
    if (path == path_ && frames == frames_ && sampleRate == rate_ && stamp == stamp_) return;
    // A shared builder already on this file, and the file not replaced since we last saw it,
    // goes on as it is.
    const bool replaced = path == path_ && stamp != stamp_;
    const bool reuse = sharedPeaks_ && !replaced && !path.isEmpty() && peaks_->Path() == path &&
                       (peaks_->IsRunning() || peaks_->Peaks().Complete());
    stamp_ = std::move(stamp);
    peaksFailed_ = false;
    if (!reuse) peaks_->Cancel();
    samples_->Close();
    requestFirst_ = requestCount_ = 0;
    path_ = path;
    frames_ = path.isEmpty() ? 0 : std::max<int64_t>(frames, 0);
    rate_ = sampleRate;
    begin_ = std::clamp<int64_t>(begin_, 0, frames_);
    end_ = std::clamp<int64_t>(end_, 0, frames_);
    playHead_ = std::clamp<int64_t>(playHead_, 0, frames_);
    view_.SetFrames(frames_);
    view_.ShowAll();
    if (!path.isEmpty()) {
        if (!reuse) peaks_->Start(path, frames_);
        samples_->Open(path);
    }
    ViewMoved();
}

void WaveformView::SetStretch(int64_t begin, int64_t end) {
    dragging_ = false;
    begin_ = begin;
    end_ = end;
    UpdateDescription();
    update();
}

void WaveformView::SetPlayHead(int64_t frame) {
    if (frame == playHead_) return;
    playHead_ = frame;
    UpdateDescription();
    update();
}

void WaveformView::SelectHandle(Handle handle) {
    if (handle == selected_) return;
    selected_ = handle;
    update();
    emit HandleSelected(handle);
}

void WaveformView::SetChannelsMixed(bool mixed) {
    mixed_ = mixed;
    update();
}

void WaveformView::ZoomAll() {
    view_.ShowAll();
    ViewMoved();
}

void WaveformView::ZoomToStretch() {
    view_.ShowRange(begin_, end_);
    ViewMoved();
}

void WaveformView::ZoomIn() { ZoomAt(kZoomStep, ZoomAnchor()); }

void WaveformView::ZoomOut() { ZoomAt(1.0 / kZoomStep, ZoomAnchor()); }

void WaveformView::ZoomAt(double factor, double x) {
    view_.ZoomAt(factor, x);
    ViewMoved();
}

void WaveformView::ScrollTo(double firstFrame) {
    view_.ScrollTo(firstFrame);
    ViewMoved();
}

void WaveformView::Follow(int64_t frame) {
    const double before = view_.First();
    view_.Follow(frame);
    if (view_.First() != before) ViewMoved();
}

const WaveformPeaks& WaveformView::Peaks() const { return peaks_->Peaks(); }

bool WaveformView::PeaksComplete() const { return peaks_->Peaks().Complete(); }

bool WaveformView::DrawsSamples() const {
    if (view_.FramesPerPixel() >= kSampleDetail) return false;
    const auto [first, last] = VisibleRange();
    return samples_->Covers(first, last) && samples_->Channels() > 0;
}

std::vector<RulerTick> WaveformView::Ticks() const {
    return RulerTicks(view_, rate_, MinLabelPixels());
}

QRect WaveformView::WaveRect() const {
    const int bar = scroll_->isVisible() ? scroll_->height() : 0;
    return QRect(0, kRulerHeight, width(), std::max(0, height() - kRulerHeight - bar));
}

int WaveformView::XOfFrame(int64_t frame) const {
    return static_cast<int>(std::lround(view_.XOf(static_cast<double>(frame))));
}

QSize WaveformView::sizeHint() const { return {800, 260}; }

QSize WaveformView::minimumSizeHint() const { return {200, 120}; }

// ---- View ----

double WaveformView::ZoomAnchor() const {
    const double x = view_.XOf(static_cast<double>(playHead_));
    return x >= 0 && x <= width() ? x : width() / 2.0;
}

std::pair<int64_t, int64_t> WaveformView::VisibleRange() const {
    const auto first = static_cast<int64_t>(std::floor(view_.First()));
    const auto last = std::min<int64_t>(
        frames_, static_cast<int64_t>(std::ceil(view_.First() + view_.VisibleFrames())) + 1);
    return {first, last};
}

double WaveformView::MinLabelPixels() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 16;
}

void WaveformView::ViewMoved() {
    SyncScrollBar();
    RequestSamples();
    update();
    emit ViewChanged();
}

void WaveformView::SyncScrollBar() {
    syncing_ = true;
    const double visible = view_.VisibleFrames();
    const auto room = static_cast<int>(std::max(0.0, std::ceil(frames_ - visible)));
    scroll_->setRange(0, room);
    scroll_->setPageStep(std::max(1, static_cast<int>(visible)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(visible / 10)));
    scroll_->setValue(static_cast<int>(std::lround(view_.First())));
    scroll_->setEnabled(room > 0);
    syncing_ = false;
}

void WaveformView::RequestSamples() {
    if (path_.isEmpty() || view_.FramesPerPixel() >= kSampleDetail) return;
    const auto [first, last] = VisibleRange();
    const int64_t span = last - first;
    if (span <= 0 || span > SampleReader::kMaxFrames) return;
    if (samples_->Covers(first, last)) return;
    if (first >= requestFirst_ && last <= requestFirst_ + requestCount_) return;  // on its way
    // A screen's worth either side, so that scrolling a little needs no new read.
    const int64_t margin = std::min(span, (SampleReader::kMaxFrames - span) / 2);
    requestFirst_ = std::max<int64_t>(first - margin, 0);
    requestCount_ = std::min(last + margin, frames_) - requestFirst_;
    samples_->Request(requestFirst_, requestCount_);
}

void WaveformView::UpdateDescription() {
    setAccessibleDescription(QStringLiteral("Stretch from %1 to %2, play head at %3")
                                 .arg(FormatPosition(begin_, rate_), FormatPosition(end_, rate_),
                                      FormatPosition(playHead_, rate_)));
}

int64_t WaveformView::FrameAtX(double x) const {
    return std::clamp<int64_t>(std::llround(view_.FrameAt(x)), 0, frames_);
}

bool WaveformView::HitHandle(double x, Handle& handle) const {
    const double db = std::abs(x - view_.XOf(static_cast<double>(begin_)));
    const double de = std::abs(x - view_.XOf(static_cast<double>(end_)));
    if (db > kHandleReach && de > kHandleReach) return false;
    if (db == de)  // both under the pointer: the side it is on decides
        handle = x < view_.XOf(static_cast<double>(begin_)) ? Handle::Begin : Handle::End;
    else
        handle = db < de ? Handle::Begin : Handle::End;
    return true;
}

// ---- Events ----

void WaveformView::resizeEvent(QResizeEvent*) {
    const int bar = scroll_->sizeHint().height();
    scroll_->setGeometry(0, height() - bar, width(), bar);
    const bool all = view_.ShowsAll();
    view_.SetWidth(width());
    if (all) view_.ShowAll();
    ViewMoved();
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || frames_ <= 0) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    const double x = event->position().x();
    Handle handle = Handle::Begin;
    if (HitHandle(x, handle)) {
        dragging_ = true;
        dragged_ = handle;
        dragBegin_ = begin_;
        dragEnd_ = end_;
        SelectHandle(handle);
        return;
    }
    emit PlayHeadClicked(FrameAtX(x));
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const int64_t frame = FrameAtX(event->position().x());
    // The handles never cross: the stretch keeps at least one frame.
    if (dragged_ == Handle::Begin)
        begin_ = std::clamp<int64_t>(frame, 0, std::max<int64_t>(end_ - 1, 0));
    else
        end_ = std::clamp<int64_t>(frame, std::min(begin_ + 1, frames_), frames_);
    update();
    emit StretchDragged(begin_, end_);
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    UpdateDescription();
    if (begin_ != dragBegin_ || end_ != dragEnd_) emit StretchDropped(begin_, end_);
}

void WaveformView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // One notch of 120 zooms by the square root of two.
        ZoomAt(std::pow(2.0, delta.y() / 240.0), event->position().x());
    } else {
        const int steps = delta.x() != 0 ? delta.x() : delta.y();
        ScrollTo(view_.First() - steps / 120.0 * view_.VisibleFrames() / 8);
    }
    event->accept();
}

void WaveformView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomIn();
            break;
        case Qt::Key_Minus:
            ZoomOut();
            break;
        case Qt::Key_Home:
            ScrollTo(0);
            break;
        case Qt::Key_End:
            ScrollTo(static_cast<double>(frames_));
            break;
        default:
            event->ignore();  // the editor around takes the rest
            return;
    }
    event->accept();
}

// ---- Painting ----

int WaveformView::ChannelCount() const {
    const WaveformPeaks& peaks = Peaks();
    if (!peaks.Empty()) return peaks.Channels();
    return samples_->Channels();
}

// The sound is drawn into an image of the wave area pixel by pixel, column by column, with
// solid colours: a paint costs a few buckets and a hundred pixels per column, whatever the
// zoom. Only the samples at the closest zooms, the handles and the play head are drawn over
// it with the painter.
void WaveformView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintRuler(p, QRect(0, 0, width(), kRulerHeight));
    const QRect wave = WaveRect();
    if (wave.isEmpty()) return;
    if (path_.isEmpty() || frames_ <= 0) {
        p.fillRect(wave, kBase);
        p.setPen(kMuted);
        p.drawText(wave, Qt::AlignCenter, QStringLiteral("No file"));
        return;
    }
    if (canvas_.size() != wave.size()) canvas_ = QImage(wave.size(), QImage::Format_RGB32);
    const int lanes = mixed_ ? 1 : std::max(1, ChannelCount());
    PaintBackground(lanes);
    const bool samples = DrawsSamples();
    const bool points = samples && view_.FramesPerPixel() < 1.0;
    for (int i = 0; i < lanes && !points; ++i)
        PaintColumns(LaneOf(i, lanes), mixed_ ? -1 : i, samples);
    p.drawImage(wave.topLeft(), canvas_);
    for (int i = 0; i < lanes && points; ++i)
        PaintSamplePoints(p, LaneOf(i, lanes).translated(wave.topLeft()), mixed_ ? -1 : i);

    // Not read yet: hatched, with a word on it.
    const WaveformPeaks& peaks = Peaks();
    if (!samples && peaksFailed_) {
        p.setPen(kMuted);
        p.drawText(wave, Qt::AlignCenter, QStringLiteral("The waveform could not be read."));
    } else if (!samples && !peaks.Complete()) {
        const int xr = peaks.Empty() ? 0 : XOfFrame(peaks.ReadyFrames());
        const QRect pending =
            QRect(QPoint(std::max(xr, 0), wave.top()), QPoint(XOfFrame(frames_), wave.bottom()))
                .intersected(wave);
        if (!pending.isEmpty()) {
            p.fillRect(pending, QBrush(kLaneLine, Qt::BDiagPattern));
            p.setPen(kMuted);
            p.drawText(pending, Qt::AlignCenter, QStringLiteral("Reading the waveform..."));
        }
    }

    PaintHandles(p, wave);
    if (hasFocus()) {
        p.setPen(kFocus);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

QRect WaveformView::LaneOf(int i, int lanes) const {
    const int h = canvas_.height();
    const int top = h * i / lanes;
    return QRect(0, top, canvas_.width(), h * (i + 1) / lanes - top);
}

void WaveformView::PaintBackground(int lanes) {
    const int w = canvas_.width();
    const int xb = std::clamp(XOfFrame(begin_), 0, w);
    const int xe = std::clamp(XOfFrame(end_) + 1, xb, w);
    auto* px = reinterpret_cast<QRgb*>(canvas_.bits());
    const qsizetype stride = canvas_.bytesPerLine() / 4;
    const auto row = [&](int y, QRgb outside, QRgb inside) {
        QRgb* line = px + y * stride;
        std::fill(line, line + xb, outside);
        std::fill(line + xb, line + xe, inside);
        std::fill(line + xe, line + w, outside);
    };
    for (int y = 0; y < canvas_.height(); ++y) row(y, colours_.base, colours_.stretch);
    for (int i = 0; i < lanes; ++i) {
        const QRect lane = LaneOf(i, lanes);
        row(lane.top() + lane.height() / 2, colours_.laneLine, colours_.laneLine);
        if (i > 0) row(lane.top(), colours_.border, colours_.border);
    }
}

void WaveformView::FillColumn(int x, const QRect& lane, double top, double bottom, double rms) {
    const double mid = lane.top() + lane.height() / 2.0;
    const double half = std::max(1.0, lane.height() / 2.0 - 2);
    const int y0 =
        std::clamp(static_cast<int>(std::lround(mid - top * half)), lane.top(), lane.bottom());
    const int y1 =
        std::clamp(static_cast<int>(std::lround(mid - bottom * half)), y0, lane.bottom());
    const int r0 = std::max(y0, static_cast<int>(std::lround(mid - rms * half)));
    const int r1 = std::min(y1, static_cast<int>(std::lround(mid + rms * half)));
    const bool inside = x >= XOfFrame(begin_) && x <= XOfFrame(end_);
    const QRgb peak = inside ? colours_.peak : colours_.peakDim;
    const QRgb inner = inside ? colours_.rms : colours_.rmsDim;
    auto* px = reinterpret_cast<QRgb*>(canvas_.bits()) + x;
    const qsizetype stride = canvas_.bytesPerLine() / 4;
    for (int y = y0; y <= y1; ++y) px[y * stride] = (y >= r0 && y <= r1) ? inner : peak;
}

void WaveformView::PaintColumns(const QRect& lane, int channel, bool samples) {
    const int x0 = std::max(0, static_cast<int>(std::floor(view_.XOf(0))));
    const int x1 = std::min(canvas_.width(), static_cast<int>(std::ceil(view_.XOf(frames_))));
    if (samples) {
        const auto [first, last] = VisibleRange();
        for (int x = x0; x < x1; ++x) {
            const int64_t f0 = std::max<int64_t>(first, std::llround(view_.FrameAt(x)));
            const int64_t f1 = std::min<int64_t>(last, std::llround(view_.FrameAt(x + 1)));
            if (f0 >= f1) continue;
            float lo = 1.0f, hi = -1.0f;
            double squares = 0.0;
            for (int64_t f = f0; f < f1; ++f) {
                const float v = SampleAt(f, channel);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                squares += double{v} * v;
            }
            FillColumn(x, lane, hi, lo, std::sqrt(squares / static_cast<double>(f1 - f0)));
        }
        return;
    }
    const WaveformPeaks& peaks = Peaks();
    if (peaks.Empty()) return;
    const int level = peaks.LevelFor(view_.FramesPerPixel());
    const int64_t ready = peaks.ReadyFrames();
    for (int x = x0; x < x1; ++x) {
        const auto f0 = static_cast<int64_t>(std::floor(view_.FrameAt(x)));
        if (f0 >= ready) break;
        const int64_t f1 = std::max(f0 + 1, static_cast<int64_t>(std::floor(view_.FrameAt(x + 1))));
        PeakValue v;
        if (peaks.Summary(level, channel, f0, f1, v)) FillColumn(x, lane, v.max, v.min, v.rms);
    }
}

float WaveformView::SampleAt(int64_t frame, int channel) const {
    const int channels = samples_->Channels();
    const float* s =
        samples_->Samples().data() + (frame - samples_->First()) * static_cast<int64_t>(channels);
    if (channel >= 0) return s[std::min(channel, channels - 1)];
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c) sum += s[c];
    return sum / static_cast<float>(channels);
}

// Fewer frames than pixels: each sample in the middle of its frame, joined by lines, with a
// stem and a dot once there is room for them.
void WaveformView::PaintSamplePoints(QPainter& p, const QRect& lane, int channel) const {
    const double mid = lane.top() + lane.height() / 2.0;
    const double half = std::max(1.0, lane.height() / 2.0 - 2);
    const auto [first, last] = VisibleRange();
    std::vector<QPointF> points;
    points.reserve(static_cast<size_t>(last - first));
    for (int64_t f = first; f < last; ++f) {
        const float v = std::clamp(SampleAt(f, channel), -1.0f, 1.0f);
        points.emplace_back(view_.XOf(static_cast<double>(f) + 0.5), mid - v * half);
    }
    const double pixelsPerFrame = 1.0 / view_.FramesPerPixel();
    const int xb = XOfFrame(begin_);
    const int xe = XOfFrame(end_);
    // Bright inside the stretch, dim outside it.
    const QRect parts[] = {QRect(QPoint(0, lane.top()), QPoint(xb - 1, lane.bottom())),
                           QRect(QPoint(xb, lane.top()), QPoint(xe, lane.bottom())),
                           QRect(QPoint(xe + 1, lane.top()), QPoint(width(), lane.bottom()))};
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (int k = 0; k < 3; ++k) {
        if (parts[k].isEmpty()) continue;
        const bool inside = k == 1;
        const QColor line = QColor::fromRgb(inside ? colours_.rms : colours_.rmsDim);
        const QColor stem = QColor::fromRgb(inside ? colours_.peak : colours_.peakDim);
        p.setClipRect(parts[k]);
        p.setPen(QPen(line, 0));  // cosmetic: the painter's fast path
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
        if (pixelsPerFrame < 6) continue;
        p.setPen(QPen(stem, 0));
        for (const QPointF& pt : points) p.drawLine(QPointF(pt.x(), mid), pt);
        p.setPen(Qt::NoPen);
        p.setBrush(line);
        const double r = std::min(3.0, pixelsPerFrame / 5);
        for (const QPointF& pt : points) p.drawEllipse(pt, r, r);
    }
    p.restore();
}

void WaveformView::PaintRuler(QPainter& p, const QRect& r) const {
    p.fillRect(r, kRulerFill);
    p.setPen(kBorder);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    if (frames_ <= 0) return;
    const int labelY = r.top() + fontMetrics().ascent() + 2;
    for (const RulerTick& t : Ticks()) {
        const int x = static_cast<int>(std::lround(view_.XOf(t.frame)));
        p.setPen(t.major ? kMuted : kFaint);
        p.drawLine(x, r.bottom() - (t.major ? 8 : 4), x, r.bottom());
        if (t.major) p.drawText(x + 3, labelY, t.label);
    }
}

void WaveformView::PaintHandles(QPainter& p, const QRect& wave) const {
    const auto handle = [&](int64_t frame, const QColor& color, bool selected, bool flagLeft) {
        const int x = XOfFrame(frame);
        if (x < -10 || x > width() + 10) return;
        p.setPen(QPen(color, selected ? 2 : 1));
        p.drawLine(x, wave.top(), x, wave.bottom());
        // A flag in the ruler, on the inner side of the stretch.
        const int w = 9;
        const QRect flag(flagLeft ? x - w : x, kRulerHeight - 12, w, 11);
        if (selected)
            p.fillRect(flag, color);
        else
            p.drawRect(flag.adjusted(0, 0, -1, -1));
    };
    handle(begin_, kBegin, selected_ == Handle::Begin, false);
    handle(end_, kEnd, selected_ == Handle::End, true);

    const int xp = XOfFrame(playHead_);
    if (xp >= 0 && xp <= width()) {
        p.setPen(QPen(kPlayHead, 1));
        p.drawLine(xp, kRulerHeight - 6, xp, wave.bottom());
        const QPointF tip[3] = {QPointF(xp - 5, kRulerHeight - 9),
                                QPointF(xp + 5, kRulerHeight - 9), QPointF(xp, kRulerHeight - 3)};
        p.setBrush(kPlayHead);
        p.setPen(Qt::NoPen);
        p.drawPolygon(tip, 3);
    }
}

}  // namespace quillet
