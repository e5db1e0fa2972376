#include "platform/skin/SkinSlider.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include "platform/skin/SkinEventSink.h"
#include "platform/skin/SkinMouse.h"

namespace quillet {

namespace {

constexpr int kKeyStep = 10;
constexpr int kPageStep = 100;

}  // namespace

SkinSlider::SkinSlider(const SkinObjectLayout& item, SkinEventSink& sink, QWidget* parent)
    : QAbstractSlider(parent), item_(item), sink_(sink) {
    setObjectName(item.name);
    setAccessibleName(item.name);
    setAccessibleDescription(item.tip);
    if (!item.tip.isEmpty()) setToolTip(item.tip);
    setOrientation(Qt::Horizontal);
    setRange(0, kMaxPosition);
    setSingleStep(kKeyStep);
    setPageStep(kPageStep);
    setGeometry(item.rect);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

qreal SkinSlider::HandleX() const {
    const qreal r = item_.slider.handleRadius + 1;
    return r + (width() - 2 * r) * value() / kMaxPosition;
}

int SkinSlider::PositionAt(qreal x) const {
    const qreal r = item_.slider.handleRadius + 1;
    const qreal span = width() - 2 * r;
    return qBound(0, qRound((x - r) * kMaxPosition / span), kMaxPosition);
}

void SkinSlider::Track(int position) {
    position = qBound(0, position, kMaxPosition);
    if (position == value()) return;
    setValue(position);
    sink_.ScrollTrack(this, position);
}

void SkinSlider::MoveByUser(int position) {
    const QPoint handle(qRound(HandleX()), height() / 2);
    sink_.MouseDown(this, 0, handle.x(), handle.y());
    Track(position);
    sink_.MouseUp(this, 0, qRound(HandleX()), handle.y());
}

void SkinSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const SkinSliderStyle& style = item_.slider;
    const qreal r = style.handleRadius;
    const qreal cy = height() / 2.0;
    const qreal left = r + 1;
    const qreal right = width() - r - 1;
    const qreal g = style.grooveHeight;
    const qreal x = HandleX();

    painter.setPen(Qt::NoPen);
    painter.setBrush(style.groove);
    painter.drawRoundedRect(QRectF(left - g / 2, cy - g / 2, right - left + g, g), g / 2, g / 2);

    QRectF fill;
    if (style.fillSide == SkinFillSide::Left)
        fill = QRectF(left - g / 2, cy - g / 2, x - left + g, g);
    if (style.fillSide == SkinFillSide::Right)
        fill = QRectF(x - g / 2, cy - g / 2, right - x + g, g);
    if (!fill.isEmpty()) {
        painter.setBrush(style.fill);
        painter.drawRoundedRect(fill, g / 2, g / 2);
    }

    const bool active = dragging_ || underMouse() || (keyboardFocus_ && hasFocus());
    if (active) {
        QColor halo = style.fill;
        halo.setAlphaF(dragging_ ? 0.35f : 0.22f);
        painter.setBrush(halo);
        painter.drawEllipse(QPointF(x, cy), r + 3.5, r + 3.5);
    }
    painter.setBrush(style.handle);
    painter.setPen(QPen(style.handleBorder, 2));
    painter.drawEllipse(QPointF(x, cy), r - 1, r - 1);
}

void SkinSlider::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    sink_.MouseDown(this, SkinMouse::ButtonCode(event->button()), qRound(at.x()), qRound(at.y()));
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    const qreal handleX = HandleX();
    const bool onHandle = qAbs(at.x() - handleX) <= item_.slider.handleRadius + 2;
    // Taking the handle keeps it under the same spot of the pointer; a press on the track
    // makes the handle jump there first.
    grabOffset_ = onHandle ? at.x() - handleX : 0;
    if (!onHandle) Track(PositionAt(at.x()));
    update();
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    Track(PositionAt(event->position().x() - grabOffset_));
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
        update();
    }
    sink_.MouseUp(this, SkinMouse::ButtonCode(event->button()), qRound(at.x()), qRound(at.y()));
}

void SkinSlider::keyPressEvent(QKeyEvent* event) {
    int target = value();
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            target -= kKeyStep;
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            target += kKeyStep;
            break;
        case Qt::Key_PageDown:
            target -= kPageStep;
            break;
        case Qt::Key_PageUp:
            target += kPageStep;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = kMaxPosition;
            break;
        default:
            event->ignore();
            return;
    }
    MoveByUser(target);
}

// The base class would move the value without telling the program.
void SkinSlider::wheelEvent(QWheelEvent* event) { event->ignore(); }

void SkinSlider::enterEvent(QEnterEvent* event) {
    QAbstractSlider::enterEvent(event);
    update();
}

void SkinSlider::leaveEvent(QEvent* event) {
    QAbstractSlider::leaveEvent(event);
    update();
}

void SkinSlider::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractSlider::focusInEvent(event);
    update();
}

void SkinSlider::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractSlider::focusOutEvent(event);
    update();
}

// A bar hidden in the middle of a drag never sees the release.
void SkinSlider::hideEvent(QHideEvent* event) {
    dragging_ = false;
    QAbstractSlider::hideEvent(event);
}

}  // namespace quillet
