#pragma once

#include <Qt>

namespace quillet {

// Mouse buttons as the skin reports them: 0 left, 1 right, 2 middle, 3 any other.
struct SkinMouse {
    static int ButtonCode(Qt::MouseButton button) {
        switch (button) {
            case Qt::LeftButton:
                return 0;
            case Qt::RightButton:
                return 1;
            case Qt::MiddleButton:
                return 2;
            default:
                return 3;
        }
    }
};

}  // namespace quillet
