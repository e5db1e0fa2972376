#include "widgets/StretchKeys.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "editor/StretchCommands.h"

namespace quillet {

namespace {

bool FocusKeeps(const QWidget* focus, int key) {
    if (!focus) return false;
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QComboBox*>(focus)) return true;
    if (qobject_cast<const QAbstractButton*>(focus)) return key == Qt::Key_Space;
    if (qobject_cast<const QAbstractSlider*>(focus))
        return key == Qt::Key_Left || key == Qt::Key_Right;
    return false;
}

}  // namespace

bool TakeStretchKey(StretchCommands& commands, const QKeyEvent& key, const QWidget* focus) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    const int k = key.key();
    if (FocusKeeps(focus, k)) return false;
    if (k == Qt::Key_Z &&
        (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
        if (mods & Qt::ShiftModifier)
            commands.Redo();
        else
            commands.Undo();
        return true;
    }
    if ((k == Qt::Key_Left || k == Qt::Key_Right) && (mods & ~Qt::ShiftModifier) == 0) {
        const int steps = (k == Qt::Key_Left ? -1 : 1) * (mods & Qt::ShiftModifier ? 10 : 1);
        commands.Nudge(steps, key.isAutoRepeat());
        return true;
    }
    // Shift and the layout's third level may be what types a bracket; a command key is not.
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (k) {
        case Qt::Key_Space:
            commands.PlayPause();
            return true;
        case Qt::Key_B:
            commands.MarkBegin();
            return true;
        case Qt::Key_N:
            commands.MarkEnd();
            return true;
        case Qt::Key_BracketLeft:
            commands.PlayHeadToBegin();
            return true;
        case Qt::Key_BracketRight:
            commands.PlayHeadToEnd();
            return true;
        case Qt::Key_P:
            commands.PlayAround();
            return true;
        default:
            return false;
    }
}

}  // namespace quillet
