#include "platform/skin/SkinAccessible.h"

#include <QAccessibleWidget>

#include "platform/skin/SkinSlider.h"
#include "platform/skin/SkinText.h"

namespace quillet {

namespace {

class SkinTextAccessible : public QAccessibleWidget {
  public:
    explicit SkinTextAccessible(SkinText* text)
        : QAccessibleWidget(text, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const auto* label = static_cast<const SkinText*>(widget());
        if (t == QAccessible::Value) return label->text();
        return QAccessibleWidget::text(t);
    }
};

class SkinSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit SkinSliderAccessible(SkinSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(Slider()->value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return Slider()->value(); }
    void setCurrentValue(const QVariant& value) override { Slider()->MoveByUser(value.toInt()); }
    QVariant maximumValue() const override { return SkinSlider::kMaxPosition; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    SkinSlider* Slider() const { return static_cast<SkinSlider*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String(SkinText::staticMetaObject.className())) {
        if (auto* text = qobject_cast<SkinText*>(object)) return new SkinTextAccessible(text);
    }
    if (className == QLatin1String(SkinSlider::staticMetaObject.className())) {
        if (auto* slider = qobject_cast<SkinSlider*>(object))
            return new SkinSliderAccessible(slider);
    }
    return nullptr;
}

}  // namespace

void SkinAccessible::Install() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace quillet
