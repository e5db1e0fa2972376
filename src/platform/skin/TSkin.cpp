#include "platform/skin/TSkin.h"

#include <QMainWindow>

#include "platform/skin/SkinFormWidget.h"
#include "platform/skin/SkinLibrary.h"

namespace quillet {

TSkin::TSkin(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Skin"));
    hide();
}

// The form belongs to the window it lies in; it outlives this control if the window does.
TSkin::~TSkin() = default;

void TSkin::LoadSkin(const QString& path) {
    // A library that fails to load leaves the one loaded before in place.
    library_ = std::make_unique<SkinLibrary>(path);
}

const SkinLibrary& TSkin::Library() const {
    if (!library_) throw SkinError(QStringLiteral("No skin library is loaded."));
    return *library_;
}

void TSkin::ApplySkin(QWidget* window) {
    const SkinLibrary& library = Library();
    if (!window) throw SkinError(QStringLiteral("There is no window to skin."));
    window->setPalette(library.Palette());
}

void TSkin::ApplyFormByName(QWidget* window, const QString& formName) {
    const SkinLibrary& library = Library();
    if (!window) throw SkinError(QStringLiteral("There is no window to lay a skin form onto."));
    const SkinFormLayout* item = library.Form(formName);
    if (!item)
        throw SkinError(QStringLiteral("The skin library %1 has no form \"%2\".")
                            .arg(library.Path(), formName));
    QWidget* host = window;
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window)) {
        host = mainWindow->centralWidget();
        if (!host) {
            host = new QWidget(mainWindow);
            mainWindow->setCentralWidget(host);
        }
    }
    host->setMinimumSize(host->minimumSize().expandedTo(item->size));
    // A form laid again replaces the one before it in the same window.
    delete form_.data();
    form_ = new SkinFormWidget(*item, window, host);
    connect(form_, &SkinFormWidget::clicked, this, &TSkin::OnClick);
    connect(form_, &SkinFormWidget::mouseDown, this, &TSkin::OnMouseDown);
    connect(form_, &SkinFormWidget::mouseUp, this, &TSkin::OnMouseUp);
    connect(form_, &SkinFormWidget::scrollTrack, this, &TSkin::OnScrollTrack);
}

ISkinForm* TSkin::GetFormObject(QWidget* window) {
    if (!form_ || form_->Window() != window) return nullptr;
    return form_.data();
}

}  // namespace quillet
