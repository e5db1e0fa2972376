#include "dialogs/Tfm_about.h"

#include "dialogs/FormFont.h"

namespace quillet {

Tfm_about::Tfm_about(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fm_about"));
    setWindowTitle(QStringLiteral("About"));
    SetUpFixedForm(*this, 314, 208);
}

}  // namespace quillet
