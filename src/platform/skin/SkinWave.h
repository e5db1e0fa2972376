#pragma once

#include <QVector>
#include <QWidget>

#include "platform/skin/SkinFormLayout.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

// A named picture of a sound's envelope, drawn from the columns the program gives it: the
// lowest and highest sample of each pixel's stretch, mirrored about the middle line. It takes no
// mouse and no focus, so the bar laid over it gets every gesture.
class SkinWave : public QWidget, public ISkinObject, public ISkinElement, public ISkinWave {
    Q_OBJECT
  public:
    SkinWave(const SkinObjectLayout& item, QWidget* parent);

    QString GetName() const override { return item_.name; }
    ISkinSlider* Slider() override { return nullptr; }
    ISkinLabel* Label() override { return nullptr; }
    ISkinElement* Element() override { return this; }
    ISkinWave* Wave() override { return this; }

    void SetVisible(bool visible) override { setVisible(visible); }
    void Redraw() override { update(); }

    int Columns() const override { return width(); }
    void SetEnvelope(const QVector<float>& low, const QVector<float>& high) override;
    void SetSpan(int begin, int end) override;

    int ShownColumns() const { return static_cast<int>(low_.size()); }
    const QVector<float>& Low() const { return low_; }
    const QVector<float>& High() const { return high_; }
    int SpanBegin() const { return spanBegin_; }
    int SpanEnd() const { return spanEnd_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    SkinObjectLayout item_;
    QVector<float> low_;
    QVector<float> high_;
    int spanBegin_ = 0;
    int spanEnd_ = 0;
};

}  // namespace quillet
