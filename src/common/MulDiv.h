#pragma once

#include <cstdint>

namespace quillet {

// a * b / c with a 64-bit intermediate, rounded to nearest with halves away from zero.
// A zero divisor, or a result outside the signed 32-bit range, gives -1.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// 64-bit positions take part in MulDiv with their low 32 bits.
inline int32_t Low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace quillet
