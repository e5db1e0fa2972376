#pragma once

#include <QAbstractButton>

#include "platform/skin/SkinFormLayout.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

class SkinEventSink;

// A named push button of the skin: a real QAbstractButton, so keyboard focus, Space and the
// accessible press action all end in the same click.
class SkinButton : public QAbstractButton, public ISkinObject, public ISkinElement {
    Q_OBJECT
  public:
    SkinButton(const SkinObjectLayout& item, SkinEventSink& sink, QWidget* parent);

    QString GetName() const override { return item_.name; }
    ISkinSlider* Slider() override { return nullptr; }
    ISkinLabel* Label() override { return nullptr; }
    ISkinElement* Element() override { return this; }

    void SetVisible(bool visible) override { setVisible(visible); }
    void Redraw() override { update(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const SkinButtonFace& Face() const;

    SkinObjectLayout item_;
    SkinEventSink& sink_;
    bool keyboardFocus_ = false;  // the focus ring shows only for focus taken by keys
};

}  // namespace quillet
