#include "widgets/MainSkin.h"

#include "platform/skin/SkinObject.h"
#include "platform/skin/TSkin.h"

namespace quillet {

namespace {

const QString kSkinFile = QStringLiteral("quilletskin.dll");
const QString kSkinForm = QStringLiteral("Pellicle");

// In the order the window binds them.
const char* const kBarNames[] = {"Begin bar", "End bar", "Current bar"};
const char* const kTextNames[] = {"Begin time", "End time", "Current time", "Total time",
                                  "Filename"};

ISkinObject* FindRequired(ISkinForm& form, const char* name) {
    ISkinObject* object = form.FindObject(QString::fromLatin1(name));
    if (!object) {
        throw SkinError(QStringLiteral("The skin object \"%1\" is missing from %2")
                            .arg(QString::fromLatin1(name), kSkinFile));
    }
    return object;
}

SkinError WrongKind(const char* name, const char* kind) {
    return SkinError(QStringLiteral("The skin object \"%1\" in %2 is not %3")
                         .arg(QString::fromLatin1(name), kSkinFile, QString::fromLatin1(kind)));
}

}  // namespace

void MainSkin::Load(TSkin& skin, QWidget* window, const QString& library) {
    skin.LoadSkin(library);
    skin.ApplySkin(window);
    skin.ApplyFormByName(window, kSkinForm);
    ISkinForm* form = skin.GetFormObject(window);
    if (!form) {
        throw SkinError(
            QStringLiteral("The skin form \"%1\" is missing from %2").arg(kSkinForm, kSkinFile));
    }
    Bind(*form);
}

void MainSkin::Bind(ISkinForm& form) {
    for (int i = 0; i < 3; ++i) {
        ISkinObject* object = FindRequired(form, kBarNames[i]);
        bars_[i] = {object, object->Slider(), object->Element()};
        if (!bars_[i].slider || !bars_[i].element) throw WrongKind(kBarNames[i], "a slider");
    }
    for (int i = 0; i < 5; ++i) {
        ISkinObject* object = FindRequired(form, kTextNames[i]);
        texts_[i] = {object, object->Label(), object->Element()};
        if (!texts_[i].label || !texts_[i].element) throw WrongKind(kTextNames[i], "a text");
    }
    preListenOff_ = FindRequired(form, "Pre-listen-off")->Element();
    if (!preListenOff_) throw WrongKind("Pre-listen-off", "a button");
    overviews_.clear();
    for (const char* name : {"Begin overview", "End overview"}) {
        ISkinObject* object = form.FindObject(QString::fromLatin1(name));
        if (object && object->Wave()) overviews_.push_back(object->Wave());
    }
    bound_ = true;
}

const MainSkin::Slider& MainSkin::Of(Bar bar) const { return bars_[static_cast<int>(bar)]; }

const MainSkin::Label& MainSkin::Of(Text text) const { return texts_[static_cast<int>(text)]; }

int MainSkin::Position(Bar bar) const { return Of(bar).slider ? Of(bar).slider->GetPosition() : 0; }

void MainSkin::SetPosition(Bar bar, int position, bool redraw) {
    const Slider& s = Of(bar);
    if (s.slider) s.slider->SetPosition(position);
    if (redraw && s.element) s.element->Redraw();
}

void MainSkin::Show(Bar bar, bool visible) {
    if (Of(bar).element) Of(bar).element->SetVisible(visible);
}

QString MainSkin::GetText(Text text) const {
    return Of(text).label ? Of(text).label->GetText() : QString();
}

void MainSkin::SetText(Text text, const QString& value) {
    const Label& l = Of(text);
    if (l.label) l.label->SetText(value);
    if (l.element) l.element->Redraw();
}

void MainSkin::ShowPreListenOff(bool visible) {
    if (preListenOff_) preListenOff_->SetVisible(visible);
}

}  // namespace quillet
