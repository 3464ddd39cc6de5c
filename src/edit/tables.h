#pragma once
// The choices of the tool strip's lists, by list position.

#include "model/vbtypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quill {

struct FontChoice {
    std::string_view listText;
    std::string_view face; // the face name the canvas font takes
    bool bold;
    bool italic;
    bool mathSymbols; // gates the symbol keyboard
};

inline constexpr std::array<FontChoice, 7> FontTable{{
    {"Arial", "Arial", false, false, false},
    {"Math Symbols", "MathSymbols", false, false, true},
    {"Math Symbols Bold", "MathSymbols", true, false, true},
    {"Arial Bold", "Arial", true, false, false},
    {"Arial Italic", "Arial", false, true, false},
    {"Arial Italic Bold", "Arial", true, true, false},
    {"Zidezir", "Zidezir", false, false, false},
}};

// The font files the build puts in the program folder, registered at
// start-up by the editor and by the command-line exporter.
inline constexpr std::array<std::string_view, 20> ProgramFontFiles{
    "MathSymbols.ttf",          "MathSymbolsBold.ttf",       "Zidezir.ttf",
    "CorvelSans.ttf",           "CorvelSansBold.ttf",        "CorvelSansItalic.ttf",
    "CorvelSansBoldItalic.ttf", "CorvelSerif.ttf",           "CorvelSerifBold.ttf",
    "CorvelSerifItalic.ttf",    "CorvelSerifBoldItalic.ttf", "CorvelMono.ttf",
    "CorvelMath.otf",           "CorvelMathRelations.otf",   "CorvelMathExtra.otf",
    "CorvelMathGreek.otf",      "CorvelMathLarge.otf",       "CorvelMathDelimiters.otf",
    "CorvelMathPieces.otf",     "CorvelMathAlphabets.otf"};

// Font sizes in points; the list shows the same numbers.
inline constexpr std::array<int, 7> FontSizeTable{25, 50, 75, 100, 150, 200, 250};
inline constexpr std::array<std::string_view, 7> FontSizeItems{"25",  "50",  "75", "100",
                                                               "150", "200", "250"};

// Line widths in pixels: the list shows percentages of a 12-pixel width.
inline constexpr std::array<std::int16_t, 7> LineWidthTable{3, 6, 9, 12, 18, 24, 30};
inline constexpr std::array<std::string_view, 7> LineWidthItems{"25",  "50",  "75", "100",
                                                                "150", "200", "250"};

inline constexpr std::array<std::string_view, 6> SizeReductionItems{"1", "2", "4", "8", "16", "32"};

// The list position of a factor typed into the size-reduction field: one of
// the list's six, blanks around it allowed (" 16 "); -1 for anything else.
constexpr int sizeReductionPositionOfText(std::string_view typed) {
    constexpr std::string_view blanks = " \t";
    const auto first = typed.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return -1;
    typed = typed.substr(first, typed.find_last_not_of(blanks) - first + 1);
    for (std::size_t i = 0; i < SizeReductionItems.size(); ++i)
        if (typed == SizeReductionItems[i])
            return static_cast<int>(i);
    return -1;
}

// Where new items appear on the canvas.
inline constexpr int TypedLineX = 30;
inline constexpr int TypedLineY = 100;

} // namespace quill
