#pragma once

#include <QAbstractSlider>

#include "platform/skin/SkinFormLayout.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

class SkinEventSink;

// A named bar of the skin, positions 0..1000. Every move of the handle the user makes (drag,
// click on the track, keys, an assistive tool setting the value) is reported as a scroll-track,
// framed by a mouse down and a mouse up, so the program sees one kind of gesture. Positions
// set by the program are not reported.
class SkinSlider : public QAbstractSlider,
                   public ISkinObject,
                   public ISkinSlider,
                   public ISkinElement {
    Q_OBJECT
  public:
    static constexpr int kMaxPosition = 1000;

    SkinSlider(const SkinObjectLayout& item, SkinEventSink& sink, QWidget* parent);

    QString GetName() const override { return item_.name; }
    ISkinSlider* Slider() override { return this; }
    ISkinLabel* Label() override { return nullptr; }
    ISkinElement* Element() override { return this; }

    int GetPosition() const override { return value(); }
    void SetPosition(int position) override { setValue(position); }

    void SetVisible(bool visible) override { setVisible(visible); }
    void Redraw() override { update(); }

    // A whole gesture at once, for keys and assistive tools.
    void MoveByUser(int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    qreal HandleX() const;
    int PositionAt(qreal x) const;
    void Track(int position);

    SkinObjectLayout item_;
    SkinEventSink& sink_;
    bool keyboardFocus_ = false;  // the focus ring shows only for focus taken by keys
    bool dragging_ = false;
    qreal grabOffset_ = 0;  // where on the handle the drag took hold
};

}  // namespace quillet
