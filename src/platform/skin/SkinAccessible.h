#pragma once

namespace quillet {

// Makes assistive technology see skin texts as static text named after the object, with the
// shown text as value, and skin bars as sliders whose value the user can set like a drag.
class SkinAccessible {
  public:
    static void Install();
};

}  // namespace quillet
