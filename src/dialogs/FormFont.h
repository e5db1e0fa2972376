#pragma once

#include <QFont>

class QWidget;

namespace quillet {

// The forms' font: the desktop's default sans-serif at 8 points.
QFont FormFont();

// A fixed-size window of the given client area in the forms' font.
void SetUpFixedForm(QWidget& form, int clientWidth, int clientHeight);

}  // namespace quillet
