#include "dialogs/Tfm_set.h"

#include "dialogs/FormFont.h"

namespace quillet {

Tfm_set::Tfm_set(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fm_set"));
    setWindowTitle(QStringLiteral("Settings"));
    SetUpFixedForm(*this, 391, 349);
}

}  // namespace quillet
