#include "platform/skin/SkinText.h"

#include <QAccessible>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

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
    setToolTip(ShownText() != text ? text : QString());
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
    painter.setFont(ShownFont());
    painter.drawText(area, style.align, ShownText());
}

int SkinText::AvailableWidth() const { return width() - 2 * item_.textStyle.padding; }

QFont SkinText::ShownFont() const {
    QFont shown = font();
    if (!item_.textStyle.shrinkToFit) return shown;
    const int available = AvailableWidth();
    const bool inPixels = shown.pixelSize() > 0;
    qreal size = inPixels ? shown.pixelSize() : shown.pointSizeF();
    // Glyph widths do not scale exactly with the size, so step down until the text fits.
    while (size > 1 && QFontMetrics(shown).horizontalAdvance(text()) > available) {
        size = std::max<qreal>(1, std::floor(size - 0.5));
        if (inPixels)
            shown.setPixelSize(static_cast<int>(size));
        else
            shown.setPointSizeF(size);
    }
    return shown;
}

QString SkinText::ShownText() const {
    if (item_.textStyle.shrinkToFit) return text();
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, AvailableWidth());
}

}  // namespace quillet
