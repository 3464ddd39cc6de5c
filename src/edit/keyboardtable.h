#pragma once
// The symbol keyboard picture as a grid of keys: which key a point of the
// 465 x 140 picture lies on, and which character each key gives.
//
// Four rows of 30 x 30 keys and a shift key at the left of the bottom row.
// A row's keys start at its column origin (0, 45, 60, 45) and follow each
// other without gaps; the lines y = 0, 30, 60, 90, the band below y 120, the
// first column of each row (x 0, 45 or 60) and everything right of a row's
// last key hit nothing.

#include <array>
#include <cstdint>

namespace quill {

struct KeyboardRow {
    std::int16_t yFrom, yTo; // inclusive
    std::int16_t xFrom, xTo; // inclusive
    std::int16_t columnOrigin;
    std::int16_t keys;
    std::int16_t firstIndex; // normal index of column 0
};

inline constexpr std::array<KeyboardRow, 4> KeyboardRows{{
    {1, 29, 1, 389, 0, 13, 0},
    {31, 59, 46, 404, 45, 12, 13},
    {61, 89, 61, 419, 60, 12, 25},
    {91, 119, 46, 374, 45, 11, 37},
}};

inline constexpr int KeyboardKeySize = 30;
inline constexpr int KeyboardNormalKeys = 48;
inline constexpr int KeyboardWidth = 465;
inline constexpr int KeyboardHeight = 140;

// The shift key, inclusive.
inline constexpr std::int16_t ShiftKeyXFrom = 1, ShiftKeyXTo = 44;
inline constexpr std::int16_t ShiftKeyYFrom = 91, ShiftKeyYTo = 119;

// The characters of the keys: indexes 0 to 47 the normal layout, 48 to 95
// the shifted one (a key's shifted character at its normal index + 48).
// Codes of the program's 8-bit character set.
extern const std::array<unsigned char, 96> keyboardChars;

enum class KeyboardPart { None, Key, Shift };

struct KeyboardHit {
    KeyboardPart part = KeyboardPart::None;
    int row = 0;
    int column = 0;
    int index = 0; // normal index; add 48 for the shifted layout
};

// What the point (x, y) of the picture lies on: the first row whose ranges
// hold it gives a key, else the shift key, else nothing.
KeyboardHit keyboardKeyAt(int x, int y);

// The pixels of a key (normal index 0 to 47) that hit it, inclusive, and the
// cell it is drawn in: the square whose edges lie on the grid lines.
struct KeyboardKeyBox {
    int row, column;
    int xFrom, xTo, yFrom, yTo; // hit range, inclusive
    int cellLeft, cellTop;      // the cell spans cellLeft..cellLeft + 30
};
KeyboardKeyBox keyboardKeyBox(int index);

} // namespace quill
