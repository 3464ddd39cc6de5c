#pragma once
// The formula language: a line such as "x = \frac{-b \pm \sqrt{b^2-4ac}}{2a}"
// read into a tree of rows, symbols, fractions, roots and scripts. Reading
// never throws; a line that is not part of the language comes back with the
// reason and the position (1-based, in characters) where it went wrong.
//
// No Qt here: the fuzzer compiles this file on its own.

#include "formula/symbolclass.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill::formula {

// Which face draws a symbol.
enum class Face : std::uint8_t {
    Variable, // Zidezir: letters in italic, digits and signs upright
    Symbol,   // MathSymbols: the named symbols, by their typed code
    Text,     // Arial: \text{...}
};

struct Node;
using Row = std::vector<Node>;

struct Node {
    enum class Kind : std::uint8_t {
        Symbol,   // one character `code` of `face`, of class `cls`
        Text,     // `text` (8-bit characters) in upright Arial
        Space,    // `space` eighteenths of an em
        Group,    // parts[0]: a braced row
        Fraction, // parts[0] over parts[1]
        Root,     // the square root of parts[0]
        Scripts,  // parts[0]: the base (empty, or one node), parts[1]
                  // superscript, parts[2] subscript, as hasSup/hasSub say
    };
    Kind kind = Kind::Symbol;
    Face face = Face::Variable;
    SymbolClass cls = SymbolClass::Ordinary;
    unsigned char code = 0;
    bool hasSup = false;
    bool hasSub = false;
    int space = 0;
    int position = 0; // where in the line it starts (1-based characters)
    std::string text;
    std::vector<Row> parts;
};

// Limits that keep a hostile line from costing more than a long one should.
inline constexpr int MaxFormulaCharacters = 4000;
inline constexpr int MaxFormulaDepth = 40;

struct ParseResult {
    bool ok = false;
    std::string message; // when not ok: "unknown command \fract at 12"
    int position = 0;    // when not ok: where (1-based characters)
    Row row;
};

// `line` is UTF-8.
ParseResult parseFormula(std::string_view line);

// The tree as a short text, for tests and messages: symbols of the variable
// face as themselves, "\name" for named symbols, text("..."), space(N),
// {..} for groups, frac(A,B), sqrt(A), and base^A, base_B, base_B^A for
// scripts (one-node parts bare, longer ones in parentheses).
std::string describe(const Row& row);

// The shortest command name (without backslash) of a symbol-face code, or
// "" when no command draws it.
std::string_view symbolName(unsigned char code);

} // namespace quill::formula
