#include "edit/keyboardtable.h"

#include <cassert>

namespace quill {

// A British layout, except that shifted 2 gives a backslash, shifted n and m
// stay lower case, and [ ] ; ' # \ , . / are the same in both layouts.
const std::array<unsigned char, 96> keyboardChars = {
    // normal
    '`', '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=', //
    'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '[', ']',      //
    'a', 's', 'd', 'f', 'g', 'h', 'j', 'k', 'l', ';', '\'', '#',     //
    '\\', 'z', 'x', 'c', 'v', 'b', 'n', 'm', ',', '.', '/',          //
    // shifted
    172, '!', '\\', 163, '$', '%', '^', '&', '*', '(', ')', '_', '+', //
    'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '[', ']',       //
    'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', ';', '\'', '#',      //
    '\\', 'Z', 'X', 'C', 'V', 'B', 'n', 'm', ',', '.', '/',           //
};

KeyboardHit keyboardKeyAt(int x, int y) {
    for (int r = 0; r < static_cast<int>(KeyboardRows.size()); ++r) {
        const KeyboardRow& row = KeyboardRows[static_cast<std::size_t>(r)];
        if (y >= row.yFrom && y <= row.yTo && x >= row.xFrom && x <= row.xTo) {
            const int column = (x - row.columnOrigin) / KeyboardKeySize;
            return {KeyboardPart::Key, r, column, row.firstIndex + column};
        }
    }
    if (y >= ShiftKeyYFrom && y <= ShiftKeyYTo && x >= ShiftKeyXFrom && x <= ShiftKeyXTo)
        return {KeyboardPart::Shift, 0, 0, 0};
    return {};
}

KeyboardKeyBox keyboardKeyBox(int index) {
    assert(index >= 0 && index < KeyboardNormalKeys);
    int r = static_cast<int>(KeyboardRows.size()) - 1;
    while (index < KeyboardRows[static_cast<std::size_t>(r)].firstIndex)
        --r;
    const KeyboardRow& row = KeyboardRows[static_cast<std::size_t>(r)];
    const int column = index - row.firstIndex;
    const int left = row.columnOrigin + KeyboardKeySize * column;
    return {r,
            column,
            column == 0 ? row.xFrom : left,
            left + KeyboardKeySize - 1,
            row.yFrom,
            row.yTo,
            left,
            row.yFrom - 1};
}

} // namespace quill
