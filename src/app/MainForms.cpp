#include "app/MainForms.h"

#include <QCoreApplication>

#include "app/Tfm_main.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_dir.h"
#include "dialogs/Tfm_set.h"

namespace quillet {

MainForms CreateMainForms() {
    // The window manager shows the application's name where a window has no title of its own.
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    MainForms forms;
    forms.fm_main = std::make_unique<Tfm_main>();
    forms.fm_set = new Tfm_set(forms.fm_main.get());
    forms.fm_about = new Tfm_about(forms.fm_main.get());
    forms.fm_dir = new Tfm_dir(forms.fm_main.get());
    forms.fm_main->SetDialogs(forms.fm_set, forms.fm_about, forms.fm_dir);
    return forms;
}

}  // namespace quillet
