#pragma once
// Picking, moving and deleting items by their handles.
//
// Every item has fixed handle points: a text item one (markerX, markerY), a
// line three (handle 1 the first end, 2 the middle, 3 the second end). A
// pointer position grabs a handle when both distances are at most 3 pixels.

#include "model/expression.h"

#include <array>
#include <cstdint>
#include <optional>

namespace quill {

// What a press hit.
namespace hitkind {
inline constexpr std::int16_t None = 0;
inline constexpr std::int16_t Text = 1;
inline constexpr std::int16_t HLine = 2;
inline constexpr std::int16_t VLine = 3;
} // namespace hitkind

// The state a press leaves behind: kind 0 nothing, 1 text item, 2 horizontal
// line, 3 vertical line; the row in that table; for a line, the handle.
struct Hit {
    std::int16_t kind = 0;
    std::int16_t row = 0;
    std::int16_t handle = 0;
};

// Hit test at canvas position (x, y). Returns the kind of the last matching
// handle in the scan order text items, horizontal lines, vertical lines,
// rows ascending, so a vertical line wins over a horizontal one, a line over
// a text item and a higher row over a lower one. Within one line the first
// matching handle counts (1, then 2, then 3). Dead rows and tables whose
// exists flag is 0 are skipped.
//
// On a match `hitRow` is set, and for a line `hitHandle`; a text hit leaves
// `hitHandle` as it was, and no match leaves both untouched.
std::int16_t findHotspot(const Expression& e, std::int16_t x, std::int16_t y, std::int16_t& hitRow,
                         std::int16_t& hitHandle);

// The same on a Hit: kind := result, row and handle updated as above.
inline void findHotspot(const Expression& e, std::int16_t x, std::int16_t y, Hit& hit) {
    hit.kind = findHotspot(e, x, y, hit.row, hit.handle);
}

// Drags a grabbed handle to the pointer (X, Y), live row or not:
//   text item:   marker = (X, Y), x = X + 4, y = Y - height + 4
//   line end:    that end's coordinate := X (or Y for a vertical line), the
//                middle handle := the rounded midpoint of the ends
//   line middle: the cross coordinate := Y (or X), both ends shift by the
//                distance from the middle handle to the pointer, and the
//                middle handle follows.
// Every result is clamped into 16 bits. A line dragged by its middle stops
// at the edge of the 16-bit range with its length intact. A row the hit test
// could not have returned, an unknown kind or handle, changes nothing.
void moveHandle(Expression& e, std::int16_t kind, std::int16_t row, std::int16_t handle,
                std::int16_t X, std::int16_t Y);

inline void moveHandle(Expression& e, const Hit& hit, std::int16_t X, std::int16_t Y) {
    moveHandle(e, hit.kind, hit.row, hit.handle, X, Y);
}

// Deletes the hit item: its live value := 0 and nothing else changes.
// Returns false, changing nothing, for kind 0, an unknown kind or a row the
// hit test could not have returned.
bool deleteHit(Expression& e, std::int16_t kind, std::int16_t row);

inline bool deleteHit(Expression& e, const Hit& hit) {
    return deleteHit(e, hit.kind, hit.row);
}

// The values of the row a handle belongs to that moving and deleting can
// change (a text item's x, y, markerX, markerY, height and live; a line's
// six columns), or nothing for a row the hit test could not have returned.
// Compared before and after, they tell whether a press and drag changed
// the expression.
std::optional<std::array<std::int16_t, 6>> handleRowValues(const Expression& e, std::int16_t kind,
                                                           std::int16_t row);

// A pointer coordinate in whole pixels: rounded to the nearest integer, a
// half to the even neighbour, clamped into 16 bits (NaN gives 0).
std::int16_t pointerToPixel(double v);

} // namespace quill
