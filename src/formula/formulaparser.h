#pragma once
// The formula language: a line such as "x = \frac{-b \pm \sqrt{b^2-4ac}}{2a}"
// read into a tree of rows, symbols, fractions, roots, scripts, delimiters,
// arrays, accents and the rest. Reading never throws; a line that is not part
// of the language comes back with the reason and the position (1-based, in
// characters) where it went wrong.
//
// The tree says what the line means, not how it looks: symbols are Unicode
// characters with their class and the font style asked for; the typesetter
// (formulalayout.h) chooses faces, sizes and places.
//
// No Qt here: the fuzzer compiles this file on its own.

#include "formula/symbolclass.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill::formula {

// TeX's four styles; each has a cramped variant, which the typesetter
// works out itself.
enum class MathStyle : std::uint8_t { Display, Text, Script, ScriptScript };

// The font a symbol or a text is asked in. `Math` is the formula's own:
// Latin letters and lowercase Greek italic, digits, signs and uppercase
// Greek upright.
enum class FontStyle : std::uint8_t {
    Math,
    Roman,        // \mathrm, \text, \textrm, named functions
    Italic,       // \mathit, \textit
    Bold,         // \mathbf, \textbf
    BoldItalic,   // \boldsymbol, \bm
    Sans,         // \mathsf, \textsf
    Mono,         // \mathtt, \texttt
    Calligraphic, // \mathcal
    Blackboard,   // \mathbb
    Fraktur,      // \mathfrak
};

// Where a large operator's limits go.
enum class Limits : std::uint8_t {
    Auto,   // above and below in display style for \sum-like operators and
            // \lim-like names, beside as scripts otherwise
    Above,  // \limits
    Beside, // \nolimits
};

enum class ArrayKind : std::uint8_t {
    Matrix,      // matrix and its delimited kinds: columns centred, a quad apart
    SmallMatrix, // smallmatrix: script style, closer together
    Cases,       // cases: two left-aligned columns, maths and condition
    Aligned,     // aligned: columns in pairs, right- and left-aligned, the
                 // pairs joined without space (as at an "=")
    Array,       // array{lcr}: the columns its preamble gives
};

enum class OverUnderKind : std::uint8_t {
    Overline,           // \overline{x}: a rule above
    Underline,          // \underline{x}: a rule below
    OverBrace,          // \overbrace{x}^{note}: a brace above, parts[1] above it
    UnderBrace,         // \underbrace{x}_{note}: a brace below, parts[1] under it
    OverRightArrow,     // \overrightarrow{AB}: an arrow as wide as its base
    OverLeftArrow,      // \overleftarrow{AB}
    OverLeftRightArrow, // \overleftrightarrow{AB}
    Over,               // \overset{a}{b}, \stackrel{a}{b}: parts[1] above
                        // parts[0], in script style
    Under,              // \underset{a}{b}: parts[1] below parts[0]
};

struct Node;
using Row = std::vector<Node>;

struct Node {
    enum class Kind : std::uint8_t {
        Symbol,      // one character `ch` of class `cls`, in `font`
        Text,        // `text` set as words (\text{...}) in `font`
        Space,       // `space` eighteenths of an em (negative: closer)
        Group,       // parts[0]: a braced row, one ordinary atom
        Fraction,    // parts[0] over parts[1]
        Root,        // the root of parts[0]; parts[1] is the index when hasIndex
        Scripts,     // parts[0]: the base (empty, or one node), parts[1]
                     // superscript, parts[2] subscript, as hasSup/hasSub say
        Delimited,   // \left ... \middle ... \right: `delims` holds the
                     // delimiters, parts the rows between them
                     // (parts.size() == delims.size() - 1)
        Array,       // cells row by row in parts, `columns` of them a row
        Accent,      // the accent `ch` over parts[0]
        OverUnder,   // `overUnder` on parts[0]; parts[1] the note when it has one
        Operator,    // a named function such as \sin: `text` set upright
        StyleChange, // \displaystyle ...: what follows in the row takes `style`
    };
    Kind kind = Kind::Symbol;
    SymbolClass cls = SymbolClass::Ordinary;
    FontStyle font = FontStyle::Math;

    // Symbol: the character. Accent: the accent's combining character
    // (U+0302 hat, U+0303 tilde, U+0304 bar, U+20D7 vector arrow, U+0307
    // dot, U+0308 two dots, U+030C check, U+0306 breve, U+0301 acute,
    // U+0300 grave, U+030A ring).
    char32_t ch = 0;
    // Symbol: 1 to 4 for \big, \Big, \bigg, \Bigg before a delimiter, else 0.
    std::uint8_t bigSize = 0;
    // Symbol: \not before it, where no single character says it.
    bool negated = false;

    // Text: the characters, UTF-8 (all of them in Latin-1). Operator: its
    // name as set ("sin", "arg max").
    std::string text;

    // Space: eighteenths of the em of the style it is set in.
    int space = 0;

    // Scripts: which scripts there are, and where a large operator's
    // limits go (\limits, \nolimits). A Symbol or Operator followed by
    // \limits or \nolimits holds it too, and hands it to the Scripts it
    // becomes the base of.
    bool hasSup = false;
    bool hasSub = false;
    Limits limits = Limits::Auto;

    // Operator: takes its limits above and below in display style, as \lim,
    // \max, \min, \sup, \inf, \det, \gcd, \Pr and \operatorname* do.
    bool displayLimits = false;

    // Root: parts[1] is its index (\sqrt[3]{x}).
    bool hasIndex = false;

    // Fraction: a bar between the parts (\binom and \choose have none); the
    // delimiters around it (\binom: "(" and ")"; 0 for none); the style of
    // its parts when forced (\dfrac, \tfrac, \cfrac: hasStyle).
    bool bar = true;
    char32_t open = 0;
    char32_t close = 0;
    // Fraction, StyleChange, Array (smallmatrix: Script).
    bool hasStyle = false;
    MathStyle style = MathStyle::Text;

    // Accent: grows with its base (\widehat, \widetilde).
    bool wide = false;

    // Delimited: left, every \middle, right; 0 for the empty delimiter ".".
    std::vector<char32_t> delims;

    // Array: its kind, the number of cells a row, one alignment letter per
    // column ('l', 'c' or 'r'), and for each line between rows (0 above the
    // first row to rows() below the last) the number of \hline there.
    ArrayKind arrayKind = ArrayKind::Matrix;
    int columns = 0;
    std::string align;
    std::vector<std::uint8_t> hlines;
    int rows() const { return columns > 0 ? static_cast<int>(parts.size()) / columns : 0; }

    OverUnderKind overUnder = OverUnderKind::Overline;

    int position = 0; // where in the line it starts (1-based characters)
    std::vector<Row> parts;
};

// Limits that keep a hostile line from costing more than a long one should.
inline constexpr int MaxFormulaCharacters = 4000;
inline constexpr int MaxFormulaDepth = 40;
// Cells of all the arrays of one line together, short rows filled up.
inline constexpr int MaxArrayCells = 2 * MaxFormulaCharacters;
// A message quotes at most this many characters of the line.
inline constexpr int MaxQuotedCharacters = 60;

struct ParseResult {
    bool ok = false;
    std::string message; // when not ok: "unknown command \fract at 12"
    int position = 0;    // when not ok: where (1-based characters)
    Row row;
};

// `line` is UTF-8.
ParseResult parseFormula(std::string_view line);

// The tree as a short text, for tests and messages: ASCII symbols as
// themselves, others as "\name", text("..."), space(N), {..} for groups,
// frac(A,B), sqrt(A), and base^A, base_B, base_B^A for scripts (one-node
// parts bare, longer ones in parentheses). Also:
//   \mathbf{x}        a symbol in another font (\mathrm \mathit \mathbf
//                     \boldsymbol \mathsf \mathtt \mathcal \mathbb \mathfrak)
//   \not\prec         a symbol struck through
//   \bigl(            a delimiter of a fixed size (\big \Big \bigg \Bigg,
//                     l, r or m for its class)
//   textbf("...")     text in another font (textit, textsf, texttt)
//   dfrac(A,B) tfrac(A,B) binom(A,B) dbinom(A,B) tbinom(A,B) atop(A,B)
//   sqrt[N](A)        a root with its index
//   \sum\limits_A     scripts with \limits or \nolimits
//   \left( A \middle| B \right)   with \left. for the empty delimiter
//   matrix(a & b \\ c & d)   smallmatrix(..), cases(..), aligned(..),
//                     array{lcr}(..); \hline where the array has lines
//   hat(A) widehat(A) tilde(A) ...   accents by their command's name
//   overline(A) overbrace(A,NOTE) overset(ABOVE,A) underset(BELOW,A) ...
//   op(sin) op*(lim)  a named function (* for its limits below);
//                     binop(mod) for \bmod, ordop(mod) inside \pmod
//   \displaystyle      a style change
std::string describe(const Row& row);

// The part of `line` around `position` (1-based characters) that a message
// quotes: at most MaxQuotedCharacters characters, "..." where it is cut.
// Control characters, bytes that are not UTF-8 and the characters that
// reorder or break a line are shown escaped ("\x1b", "\xff", "\u202e"), so
// the quote is safe to print on a terminal.
std::string quoteAround(std::string_view line, int position);

// The shortest command name (without backslash) of a symbol character, or
// "" when no command names it.
std::string_view symbolName(char32_t ch);

} // namespace quill::formula
