#include "common/MulDiv.h"

#include <limits>

namespace quillet {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    // |product| < 2^62, so doubling the remainder cannot overflow.
    const int64_t twiceRem = remainder < 0 ? -2 * remainder : 2 * remainder;
    const int64_t absDivisor = c < 0 ? -static_cast<int64_t>(c) : c;
    if (twiceRem >= absDivisor) quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient < std::numeric_limits<int32_t>::min() ||
        quotient > std::numeric_limits<int32_t>::max())
        return -1;
    return static_cast<int32_t>(quotient);
}

}  // namespace quillet
