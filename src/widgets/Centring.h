#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace quillet {

// Where a window of the given size stands centred on an area: each half-difference truncated
// toward zero, as every dialog of the main window is placed.
inline QPoint CentredOn(const QRect& area, const QSize& size) {
    return {area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2};
}

}  // namespace quillet
