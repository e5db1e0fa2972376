#include "dialogs/FormFont.h"

#include <QApplication>
#include <QWidget>

namespace quillet {

QFont FormFont() {
    QFont font = QApplication::font();
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void SetUpFixedForm(QWidget& form, int clientWidth, int clientHeight) {
    form.setFont(FormFont());
    form.setFixedSize(clientWidth, clientHeight);
}

}  // namespace quillet
