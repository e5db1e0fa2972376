#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

class QApplication;

namespace quillet {

// One look for everything the skin does not draw: menus, the list's popup, message boxes, the
// dialogs and the file dialogs take the skin's palette, a style sheet over Qt's Fusion style,
// and vector icons (message boxes, file dialogs, dialog buttons) that stay sharp at any scale.
// Also the program's own icon for its windows and the desktop entry it belongs to.
void ApplyTheme(QApplication& app);

// The palette of the skin library the program loads; Qt's own when it cannot be read (the
// start-up then reports that itself).
QPalette ThemePalette();

// One of the theme's icons by name ("information", "folder", ...), or the program's icon for
// "quillet". A null icon for an unknown name.
QIcon ThemeIcon(const QString& name);

}  // namespace quillet
