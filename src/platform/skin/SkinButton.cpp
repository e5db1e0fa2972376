#include "platform/skin/SkinButton.h"

#include <QFocusEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include "platform/skin/SkinEventSink.h"
#include "platform/skin/SkinIcons.h"
#include "platform/skin/SkinMouse.h"

namespace quillet {

namespace {

constexpr int kIconGap = 5;

}  // namespace

SkinButton::SkinButton(const SkinObjectLayout& item, SkinEventSink& sink, QWidget* parent)
    : QAbstractButton(parent), item_(item), sink_(sink) {
    setObjectName(item.name);
    setText(item.label);
    setAccessibleName(item.name);
    setAccessibleDescription(item.tip);
    if (!item.tip.isEmpty()) setToolTip(item.tip);
    setGeometry(item.rect);
    setFont(item.font);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

const SkinButtonFace& SkinButton::Face() const {
    if (isDown()) return item_.button.pressed;
    if (underMouse()) return item_.button.hover;
    return item_.button.normal;
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const SkinButtonFace& face = Face();
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = item_.button.radius;

    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    gradient.setColorAt(0, face.fill.top);
    gradient.setColorAt(1, face.fill.bottom);
    painter.setBrush(gradient);
    painter.setPen(face.border.isValid() ? QPen(face.border, 1) : Qt::NoPen);
    painter.drawRoundedRect(box, radius, radius);

    if (keyboardFocus_ && hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(item_.button.focus, 1.5));
        painter.drawRoundedRect(box.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
    }

    // Icon and label centred together; a pressed button sinks by one pixel.
    int iconSide = item_.iconSize > 0 ? item_.iconSize : qMin(height() - 8, 18);
    if (item_.icon.isEmpty()) iconSide = 0;
    const QFontMetrics metrics(font());
    const int labelWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const int gap = iconSide > 0 && labelWidth > 0 ? kIconGap : 0;
    const int contentWidth = iconSide + gap + labelWidth;
    const int sink = isDown() ? 1 : 0;
    int x = (width() - contentWidth) / 2;
    const int centreY = height() / 2 + sink;
    const auto drawIcon = [&](int left) {
        SkinIcons::Draw(painter, item_.icon,
                        QRectF(left, centreY - iconSide / 2.0, iconSide, iconSide), face.icon);
    };
    if (iconSide > 0 && !item_.iconAfter) {
        drawIcon(x);
        x += iconSide + gap;
    }
    if (labelWidth > 0) {
        painter.setPen(face.text);
        painter.setFont(font());
        painter.drawText(QRect(x, sink, labelWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft,
                         text());
        x += labelWidth + gap;
    }
    if (iconSide > 0 && item_.iconAfter) drawIcon(x);
}

void SkinButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void SkinButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}

void SkinButton::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
    update();
}

void SkinButton::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
    update();
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    sink_.MouseDown(this, SkinMouse::ButtonCode(event->button()), at.x(), at.y());
    QAbstractButton::mousePressEvent(event);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    sink_.MouseUp(this, SkinMouse::ButtonCode(event->button()), at.x(), at.y());
    QAbstractButton::mouseReleaseEvent(event);
}

}  // namespace quillet
