#include "common/FormatTime.h"

namespace quillet {

QString FormatTime(int seconds) {
    const int hours = seconds / 3600;
    const int minutes = (seconds - hours * 3600) / 60;
    return QString::asprintf("%.2d:%.2d:%.2d", hours, minutes, seconds % 60);
}

}  // namespace quillet
