#include "platform/skin/SkinFormWidget.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>

#include "platform/skin/SkinAccessible.h"
#include "platform/skin/SkinButton.h"
#include "platform/skin/SkinIcons.h"
#include "platform/skin/SkinSlider.h"
#include "platform/skin/SkinText.h"
#include "platform/skin/SkinWave.h"

namespace quillet {

SkinFormWidget::SkinFormWidget(const SkinFormLayout& item, QWidget* window, QWidget* host)
    : QWidget(host), item_(item), window_(window) {
    SkinAccessible::Install();
    setObjectName(QStringLiteral("SkinForm ") + item.name);
    setAccessibleName(item.name);
    setMinimumSize(item.size);
    setGeometry(QRect(QPoint(0, 0), item.size.expandedTo(host->size())));
    host->installEventFilter(this);
    Build();
    // The host's own controls (list, progress bar, edits) lie over the skin.
    lower();
    show();
}

ISkinObject* SkinFormWidget::FindObject(const QString& name) {
    return objects_.value(name, nullptr);
}

void SkinFormWidget::Build() {
    // Created in list order, so a later object lies over an earlier one.
    for (const SkinObjectLayout& object : item_.objects) {
        ISkinObject* created = nullptr;
        switch (object.kind) {
            case SkinObjectKind::Button: {
                auto* button = new SkinButton(object, *this, this);
                connect(button, &QAbstractButton::clicked, this, [this, button] { Click(button); });
                created = button;
                break;
            }
            case SkinObjectKind::Slider:
                created = new SkinSlider(object, *this, this);
                break;
            case SkinObjectKind::Text:
                created = new SkinText(object, this);
                break;
            case SkinObjectKind::Wave:
                created = new SkinWave(object, this);
                break;
        }
        objects_.insert(object.name, created);
    }
}

bool SkinFormWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        resize(item_.size.expandedTo(parentWidget()->size()));
    return QWidget::eventFilter(watched, event);
}

void SkinFormWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, item_.background.top);
    background.setColorAt(1, item_.background.bottom);
    painter.fillRect(rect(), background);

    for (const SkinDecorationLayout& decoration : item_.decorations) {
        const QRectF box = QRectF(decoration.rect).adjusted(0.5, 0.5, -0.5, -0.5);
        switch (decoration.kind) {
            case SkinDecorationKind::Panel: {
                QLinearGradient fill(box.topLeft(), box.bottomLeft());
                fill.setColorAt(0, decoration.fill.top);
                fill.setColorAt(1, decoration.fill.bottom);
                painter.setBrush(fill);
                painter.setPen(decoration.border.isValid() ? QPen(decoration.border, 1)
                                                           : Qt::NoPen);
                painter.drawRoundedRect(box, decoration.radius, decoration.radius);
                break;
            }
            case SkinDecorationKind::Text:
                painter.setPen(decoration.color);
                painter.setFont(decoration.font);
                painter.drawText(decoration.rect, decoration.align, decoration.text);
                break;
            case SkinDecorationKind::Icon:
                SkinIcons::Draw(painter, decoration.icon, decoration.rect, decoration.color);
                break;
            case SkinDecorationKind::Line:
                painter.fillRect(decoration.rect, decoration.color);
                break;
        }
    }
}

}  // namespace quillet
