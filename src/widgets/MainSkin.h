#pragma once

#include <QString>
#include <vector>

class QWidget;

#include "editor/EditorView.h"

namespace quillet {

class ISkinElement;
class ISkinForm;
class ISkinLabel;
class ISkinObject;
class ISkinSlider;
class ISkinWave;
class TSkin;

// The nine skin objects the main window keeps for the whole run, bound once at first show:
// the three bars, the four times, "Filename" and "Pre-listen-off". Until they are bound every
// call does nothing.
class MainSkin {
  public:
    using Bar = EditorView::Bar;
    using Text = EditorView::Text;

    // Loads the skin library (the file "quilletskin.dll"), lays its form "Pellicle" over the
    // window and binds the objects. Throws SkinError naming what is missing or damaged.
    void Load(TSkin& skin, QWidget* window, const QString& library);
    // Binds every object by its name; throws SkinError naming one that is missing from the
    // skin library or is of the wrong kind.
    void Bind(ISkinForm& form);
    bool Bound() const { return bound_; }

    int Position(Bar bar) const;
    void SetPosition(Bar bar, int position, bool redraw);
    void Show(Bar bar, bool visible);
    QString GetText(Text text) const;
    void SetText(Text text, const QString& value);
    void ShowPreListenOff(bool visible);

    // The pictures of the file behind "Begin bar" and "End bar" ("Begin overview", "End
    // overview"), those the skin has; the program works without them.
    const std::vector<ISkinWave*>& Overviews() const { return overviews_; }

  private:
    struct Slider {
        ISkinObject* object = nullptr;
        ISkinSlider* slider = nullptr;
        ISkinElement* element = nullptr;
    };
    struct Label {
        ISkinObject* object = nullptr;
        ISkinLabel* label = nullptr;
        ISkinElement* element = nullptr;
    };

    const Slider& Of(Bar bar) const;
    const Label& Of(Text text) const;

    Slider bars_[3];
    Label texts_[5];
    ISkinElement* preListenOff_ = nullptr;
    std::vector<ISkinWave*> overviews_;
    bool bound_ = false;
};

}  // namespace quillet
