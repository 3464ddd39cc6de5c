// The symbol keyboard's key grid: which key a point of the picture lies on,
// at every kind of boundary, and the agreement between the hit test and the
// key boxes the pictures are drawn from.

#include "edit/keyboardtable.h"

#include <gtest/gtest.h>

using namespace quill;

namespace {

constexpr int None = -1;
constexpr int Shift = -2;

int partAt(int x, int y) {
    const KeyboardHit h = keyboardKeyAt(x, y);
    switch (h.part) {
    case KeyboardPart::Key:
        return h.index;
    case KeyboardPart::Shift:
        return Shift;
    case KeyboardPart::None:
        break;
    }
    return None;
}

TEST(KeyboardKeyAt, KeysBordersAndGaps) {
    const struct {
        int x, y, expected;
    } cases[] = {
        // A key in each row, and the two clicks right of row 1 and row 2.
        {50, 45, 13},
        {400, 75, 36},
        {400, 45, 24},
        {65, 15, 2},
        {230, 100, 43},
        {10, 100, Shift},
        // Row 0: x 0 and the line y 0 and y 30 hit nothing; keys meet at x 30.
        {0, 15, None},
        {1, 1, 0},
        {29, 29, 0},
        {30, 29, 1},
        {389, 1, 12},
        {390, 15, None},
        {200, 0, None},
        {100, 30, None},
        // Row 1 starts at 46; x 45 is a border.
        {45, 45, None},
        {46, 31, 13},
        {74, 59, 13},
        {75, 59, 14},
        {404, 59, 24},
        {405, 45, None},
        // Row 2 starts at 61.
        {60, 75, None},
        {61, 61, 25},
        {419, 89, 36},
        {420, 75, None},
        {200, 60, None},
        // Row 3 and the shift key, which share the line x 45.
        {1, 91, Shift},
        {44, 119, Shift},
        {0, 100, None},
        {45, 100, None},
        {46, 91, 37},
        {374, 119, 47},
        {375, 100, None},
        {200, 90, None},
        {20, 90, None},
        // The band below the keys and points off the picture.
        {20, 120, None},
        {200, 139, None},
        {-1, 15, None},
        {15, -1, None},
        {464, 139, None},
        {1000, 15, None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(partAt(c.x, c.y), c.expected) << "at (" << c.x << ", " << c.y << ")";
}

TEST(KeyboardKeyAt, RowsAndColumns) {
    const struct {
        int x, y, row, column;
    } cases[] = {
        {389, 15, 0, 12}, {46, 45, 1, 0}, {404, 45, 1, 11}, {90, 75, 2, 1}, {374, 100, 3, 10}};
    for (const auto& c : cases) {
        const KeyboardHit h = keyboardKeyAt(c.x, c.y);
        EXPECT_EQ(std::pair(h.row, h.column), std::pair(c.row, c.column))
            << "at (" << c.x << ", " << c.y << ")";
    }
}

// The pictures draw each key in the box keyboardKeyBox gives: every pixel of
// that box must hit the key, the pixels just outside must not, and its cell
// must sit on the grid lines.
TEST(KeyboardKeyBox, AgreesWithTheHitTest) {
    int pixels = 0;
    for (int i = 0; i < KeyboardNormalKeys; ++i) {
        SCOPED_TRACE(testing::Message() << "key " << i);
        const KeyboardKeyBox k = keyboardKeyBox(i);
        for (int y = k.yFrom; y <= k.yTo; ++y)
            for (int x = k.xFrom; x <= k.xTo; ++x, ++pixels)
                if (partAt(x, y) != i)
                    ADD_FAILURE() << "(" << x << ", " << y << ") misses";
        EXPECT_NE(partAt(k.xFrom - 1, k.yFrom), i);
        EXPECT_NE(partAt(k.xTo + 1, k.yFrom), i);
        EXPECT_NE(partAt(k.xFrom, k.yFrom - 1), i);
        EXPECT_NE(partAt(k.xFrom, k.yTo + 1), i);
        EXPECT_EQ(k.cellTop, 30 * k.row);
        EXPECT_EQ(k.yFrom, k.cellTop + 1);
        EXPECT_EQ(k.yTo, k.cellTop + 29);
        EXPECT_EQ(k.xTo, k.cellLeft + 29);
        EXPECT_EQ(k.xFrom, k.column == 0 ? k.cellLeft + 1 : k.cellLeft);
    }
    // Every key pixel of the four rows is some key's.
    EXPECT_EQ(pixels, 29 * (389 + (404 - 45) + (419 - 60) + (374 - 45)));
}

TEST(KeyboardChars, ShiftedCharacterOfAKeyIs48Further) {
    const struct {
        int x, y;
        unsigned char normal, shifted;
    } cases[] = {{50, 45, 'q', 'Q'},  {65, 15, '2', '\\'},   {230, 100, 'n', 'n'},
                 {15, 15, '`', 172},  {105, 15, '3', 163},   {400, 75, '#', '#'},
                 {400, 45, ']', ']'}, {60, 100, '\\', '\\'}, {370, 110, '/', '/'}};
    for (const auto& c : cases) {
        const KeyboardHit h = keyboardKeyAt(c.x, c.y);
        ASSERT_EQ(h.part, KeyboardPart::Key);
        EXPECT_EQ(keyboardChars[static_cast<std::size_t>(h.index)], c.normal);
        EXPECT_EQ(keyboardChars[static_cast<std::size_t>(h.index + 48)], c.shifted);
    }
}

} // namespace
