#pragma once

#include <QString>

namespace quillet {

// Views of a skin object. A view an object does not have is nullptr.
class ISkinSlider {
  public:
    virtual ~ISkinSlider() = default;
    virtual int GetPosition() const = 0;  // 0..1000
    virtual void SetPosition(int position) = 0;
};

class ISkinLabel {
  public:
    virtual ~ISkinLabel() = default;
    virtual QString GetText() const = 0;
    virtual void SetText(const QString& text) = 0;
};

class ISkinElement {
  public:
    virtual ~ISkinElement() = default;
    virtual void SetVisible(bool visible) = 0;
    virtual void Redraw() = 0;
};

class ISkinObject {
  public:
    virtual ~ISkinObject() = default;
    virtual QString GetName() const = 0;
    virtual ISkinSlider* Slider() = 0;
    virtual ISkinLabel* Label() = 0;
    virtual ISkinElement* Element() = 0;
};

class ISkinForm {
  public:
    virtual ~ISkinForm() = default;
    // The object of exactly that name (case included), or nullptr.
    virtual ISkinObject* FindObject(const QString& name) = 0;
};

}  // namespace quillet
