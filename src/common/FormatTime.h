#pragma once

#include <QString>

namespace quillet {

// Whole seconds as "hh:mm:ss", each part at least two digits (100 hours and more get more).
QString FormatTime(int seconds);

}  // namespace quillet
