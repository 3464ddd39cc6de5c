#pragma once
// Value conventions shared by the whole program: 16-bit booleans, the
// rounding of fractional values to 16-bit integers, and saturation.

#include <cstdint>

namespace quill {

// Booleans are 16-bit: True is -1, False is 0. Readers treat any non-zero
// value as true unless a caller says otherwise.
using VbBool = std::int16_t;
inline constexpr VbBool VbTrue = -1;
inline constexpr VbBool VbFalse = 0;

inline constexpr VbBool toVb(bool b) {
    return b ? VbTrue : VbFalse;
}

// Clamps any integer into the signed 16-bit range.
std::int16_t saturate16(long long v);

// Rounds to the nearest integer, a half going to the even neighbour
// (70.5 -> 70, 71.5 -> 72), and clamps the result into 16 bits.
// NaN gives 0.
std::int16_t roundHalfEven16(double v);

// The rounded midpoint of two 16-bit coordinates. The sum is taken in wider
// arithmetic, so the result is always the true midpoint and always fits.
std::int16_t midpoint16(std::int16_t a, std::int16_t b);

// a + b clamped into 16 bits.
inline std::int16_t add16(std::int16_t a, long long b) {
    return saturate16(a + b);
}

} // namespace quill
