#include "model/vbtypes.h"

#include <cmath>
#include <limits>

namespace quill {

std::int16_t saturate16(long long v) {
    if (v > std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    if (v < std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(v);
}

std::int16_t roundHalfEven16(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 32767.0)
        return std::numeric_limits<std::int16_t>::max();
    if (v <= -32768.0)
        return std::numeric_limits<std::int16_t>::min();
    // Round to nearest, ties to even, independent of the FPU rounding mode.
    const double fl = std::floor(v);
    const double diff = v - fl;
    double r;
    if (diff > 0.5)
        r = fl + 1.0;
    else if (diff < 0.5)
        r = fl;
    else
        r = (std::fmod(fl, 2.0) == 0.0) ? fl : fl + 1.0;
    return saturate16(static_cast<long long>(r));
}

std::int16_t midpoint16(std::int16_t a, std::int16_t b) {
    // The sum of two 16-bit values and its half are exact in a double.
    return roundHalfEven16((static_cast<double>(a) + static_cast<double>(b)) / 2.0);
}

} // namespace quill
