#include "platform/skin/SkinText.h"

#include <QAccessible>
#include <QLinearGradient>
#include <QPainter>

namespace quillet {

SkinText::SkinText(const SkinObjectLayout& item, QWidget* parent) : QLabel(parent), item_(item) {
    setObjectName(item.name);
    setAccessibleName(item.name);
    setAccessibleDescription(item.tip);
    setTextFormat(Qt::PlainText);
    setFont(item.textStyle.font);
    setGeometry(item.rect);
    QLabel::setText(item.text);
}

void SkinText::SetText(const QString& text) {
    if (text == this->text()) return;
    setText(text);
    setToolTip(fontMetrics().horizontalAdvance(text) > width() - 2 * item_.textStyle.padding
                   ? text
                   : QString());
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    }
}

void SkinText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const SkinTextStyle& style = item_.textStyle;
    if (style.fill.top.isValid()) {
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient gradient(box.topLeft(), box.bottomLeft());
        gradient.setColorAt(0, style.fill.top);
        gradient.setColorAt(1, style.fill.bottom);
        painter.setBrush(gradient);
        painter.setPen(style.border.isValid() ? QPen(style.border, 1) : Qt::NoPen);
        painter.drawRoundedRect(box, style.radius, style.radius);
    }
    const QRect area = rect().adjusted(style.padding, 0, -style.padding, 0);
    painter.setPen(style.color);
    painter.setFont(font());
    painter.drawText(area, style.align,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

}  // namespace quillet
