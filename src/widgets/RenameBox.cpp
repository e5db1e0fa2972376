#include "widgets/RenameBox.h"

#include <QKeyEvent>

namespace quillet {

RenameBox::RenameBox(QWidget* parent) : QLineEdit(parent) { hide(); }

void RenameBox::Open(const QRect& row, int width, const QString& caption) {
    setGeometry(0, row.top() - 1, width, 16);
    setText(caption);
    show();
    raise();
    setFocus();
}

void RenameBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // Hiding takes the focus away; that loss is no end of the edit.
        cancelling_ = true;
        hide();
        cancelling_ = false;
        return;
    }
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Hiding the focused box ends the edit through its focus loss; without focus (the window
    // not active) nothing else would.
    const bool focused = hasFocus();
    hide();
    if (!focused) emit Left();
}

void RenameBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (!cancelling_) emit Left();
}

}  // namespace quillet
