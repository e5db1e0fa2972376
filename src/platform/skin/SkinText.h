#pragma once

#include <QLabel>

#include "platform/skin/SkinFormLayout.h"
#include "platform/skin/SkinObject.h"

namespace quillet {

// A named text field of the skin (times, the file name). Text too long for its box is drawn
// smaller, whole, where the style says so (the times), otherwise elided in the middle, so both
// ends of a file name stay readable.
class SkinText : public QLabel, public ISkinObject, public ISkinLabel, public ISkinElement {
    Q_OBJECT
  public:
    SkinText(const SkinObjectLayout& item, QWidget* parent);

    QString GetName() const override { return item_.name; }
    ISkinSlider* Slider() override { return nullptr; }
    ISkinLabel* Label() override { return this; }
    ISkinElement* Element() override { return this; }

    QString GetText() const override { return text(); }
    void SetText(const QString& text) override;

    void SetVisible(bool visible) override { setVisible(visible); }
    void Redraw() override { update(); }

    // What is drawn, and in which font.
    QString ShownText() const;
    QFont ShownFont() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int AvailableWidth() const;

    SkinObjectLayout item_;
};

}  // namespace quillet
