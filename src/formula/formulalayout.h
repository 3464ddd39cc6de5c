#pragma once
// Typesetting a formula into the editor's own items, by TeX's rules for
// mathematics in four styles: text items (Zidezir for Latin letters and
// digits, the Corvel Math faces for signs, Greek, large operators and
// growing delimiters, Corvel Serif for \text and named functions) and
// horizontal lines from the line-width list (fraction bars, radical bars,
// overlines, all of one thickness), placed with the fonts' own metrics as
// the canvas draws them. The result is ordinary items that the user can
// move by their handles afterwards.

#include "formula/formulaparser.h"
#include "formula/mathfont.h"
#include "model/expression.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quill::formula {

// Text items are this large at least and at most (points).
inline constexpr int MinFormulaPoints = 25;
inline constexpr int MaxFormulaPoints = 250;
// The widths a line can have (pixels), as the editor's line-width list gives them.
inline constexpr std::array<int, 7> FormulaBarWidths{3, 6, 9, 12, 18, 24, 30};
// Where new items appear on the canvas: a typed line's top-left corner.
inline constexpr QPoint NewItemSpot{30, 100};

std::string faceName(Face face);

// One text item of the result, relative to the formula's top-left corner.
struct PlacedText {
    Face face = Face::Variable;
    bool bold = false;
    bool italic = false;
    int points = 0;
    std::string text; // 8-bit characters of the face
    int x = 0;        // the text's top-left corner, as TextItems.x / .y
    int y = 0;
    int height = 0;   // the font's line height, as text entry measures it
    int baseline = 0; // y of its baseline
};

// One horizontal line, as the HLines table holds it (relative).
struct PlacedBar {
    int y = 0;
    int x1 = 0;
    int x2 = 0;
    int width = 0;
};

// One vertical line, as the VLines table holds it (relative).
struct PlacedVBar {
    int x = 0;
    int y1 = 0;
    int y2 = 0;
    int width = 0;
};

// What the layout did, for checking it: references to items (texts or bars).
struct ItemRef {
    bool bar = false;
    int index = 0;
    bool vertical = false; // a bar of `vbars`
    bool operator==(const ItemRef&) const = default;
};
struct FractionParts {
    int bar = -1; // -1: none (\binom)
    std::vector<ItemRef> numerator, denominator;
};
struct ScriptParts {
    std::vector<ItemRef> base, sup, sub;
    bool limits = false; // above and below a large operator
    bool prime = false;  // the superscript starts with a prime
};
struct RootParts {
    std::vector<ItemRef> sign; // one text item, or the pieces it is assembled from
    int bar = 0;
    std::vector<ItemRef> body;
    std::vector<ItemRef> index;
};
// A \left ... \right group: each delimiter's items, and the contents.
struct DelimiterParts {
    std::vector<std::vector<ItemRef>> delimiters;
    std::vector<ItemRef> contents;
};
struct ArrayParts {
    int columns = 0;
    std::string align;                       // per column: 'l', 'c' or 'r'
    std::vector<std::vector<ItemRef>> cells; // row by row
};
struct AccentParts {
    std::vector<ItemRef> accent, base;
};

struct TypesetFormula {
    bool ok = false;
    std::string message;
    int position = 0; // of a parse error
    std::vector<PlacedText> texts;
    std::vector<PlacedBar> bars;
    std::vector<PlacedVBar> vbars;
    QRect bounds; // the items' boxes, their ink and bars, from (0, 0)
    // The layout's account: which items share a baseline, which items are
    // a fraction's parts, a root's, a base's scripts, and so on.
    std::vector<std::vector<int>> baselineRows;
    std::vector<FractionParts> fractions;
    std::vector<ScriptParts> scripts;
    std::vector<RootParts> roots;
    std::vector<DelimiterParts> delimiters;
    std::vector<ArrayParts> arrays;
    std::vector<AccentParts> accents;
    // Items drawn overlapping on purpose: a radical sign and its bar, the
    // pieces of an assembled sign, a symbol and the stroke of its \not.
    std::vector<std::vector<ItemRef>> joins;
};

// Typesets formulas. It keeps the fonts' metrics between calls, so typesetting
// many formulas (or one as it is typed) measures each font once. Needs a
// QGuiApplication with the program's fonts registered.
class Typesetter {
public:
    Typesetter();
    ~Typesetter();
    Typesetter(const Typesetter&) = delete;
    Typesetter& operator=(const Typesetter&) = delete;

    // `points` is clamped to 25..250. A formula is set in display style.
    TypesetFormula typeset(std::string_view line, int points);
    TypesetFormula typeset(const Row& row, int points);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Appends the formula's items to `expr` with its top-left corner at
// `topLeft`, each text item as text entry would create it (handle at
// (x - 5, y + height - 5)). All or nothing: false when the tables cannot
// take every item.
bool addToExpression(const TypesetFormula& formula, Expression& expr, QPoint topLeft = NewItemSpot);

// The formula as the canvas draws it, black on white, with `margin` white
// pixels around its bounds.
QImage renderFormula(const TypesetFormula& formula, int margin = 8);

} // namespace quill::formula
