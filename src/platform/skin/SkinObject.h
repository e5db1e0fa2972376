#pragma once

#include <QString>
#include <QVector>

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

// A picture of a sound's envelope across the object: one column per pixel of its width, each the
// lowest and highest sample (-1..1) of its stretch of the sound.
class ISkinWave {
  public:
    virtual ~ISkinWave() = default;
    virtual int Columns() const = 0;
    // From the left; fewer than Columns(): the rest is not known yet. Empty: nothing to show.
    virtual void SetEnvelope(const QVector<float>& low, const QVector<float>& high) = 0;
    // A part on the scale 0..1000 of the object's width, drawn brighter; begin >= end: none.
    virtual void SetSpan(int begin, int end) = 0;
};

class ISkinObject {
  public:
    virtual ~ISkinObject() = default;
    virtual QString GetName() const = 0;
    virtual ISkinSlider* Slider() = 0;
    virtual ISkinLabel* Label() = 0;
    virtual ISkinElement* Element() = 0;
    virtual ISkinWave* Wave() { return nullptr; }
};

class ISkinForm {
  public:
    virtual ~ISkinForm() = default;
    // The object of exactly that name (case included), or nullptr.
    virtual ISkinObject* FindObject(const QString& name) = 0;
};

}  // namespace quillet
