// Writes the symbol keyboard's key grid and characters, as the editor knows
// them, for the script that draws the keyboard pictures:
//   size WIDTH HEIGHT KEYSIZE
//   key INDEX ROW COLUMN XFROM XTO YFROM YTO CELLLEFT CELLTOP NORMALCODE SHIFTEDCODE
//   shift XFROM XTO YFROM YTO
// Ranges are inclusive pixels of the picture; codes are the characters of
// the program's 8-bit set.

#include "edit/keyboardtable.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace quill;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "size %d %d %d\n", KeyboardWidth, KeyboardHeight, KeyboardKeySize);
    for (int i = 0; i < KeyboardNormalKeys; ++i) {
        const KeyboardKeyBox k = keyboardKeyBox(i);
        std::fprintf(out, "key %d %d %d %d %d %d %d %d %d %d %d\n", i, k.row, k.column, k.xFrom,
                     k.xTo, k.yFrom, k.yTo, k.cellLeft, k.cellTop,
                     keyboardChars[static_cast<std::size_t>(i)],
                     keyboardChars[static_cast<std::size_t>(i + KeyboardNormalKeys)]);
    }
    std::fprintf(out, "shift %d %d %d %d\n", ShiftKeyXFrom, ShiftKeyXTo, ShiftKeyYFrom,
                 ShiftKeyYTo);
    return std::fclose(out) == 0 ? 0 : 1;
}
