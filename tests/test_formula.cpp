// The formula language: good lines and the tree they give, bad lines and
// the message and position they give.

#include "formula/formulaparser.h"

#include <gtest/gtest.h>
#include <string>

using namespace quill::formula;

namespace {

struct Good {
    const char* line;
    const char* tree;
};

// Symbols of the variable face print as themselves, named symbols as
// \name, scripts as base_sub^sup.
const Good GoodLines[] = {
    {"", ""},
    {"x", "x"},
    {"  a +  b ", "a + b"},
    {"x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}", "x = frac(- b \\pm sqrt(b^2 - 4 a c),2 a)"},
    {"\\frac12", "frac(1,2)"},
    {"\\frac{\\frac{a}{b}}{c}", "frac(frac(a,b),c)"},
    {"\\sqrt{\\frac{1}{x}}", "sqrt(frac(1,x))"},
    {"x^2", "x^2"},
    {"x_i^2", "x_i^2"},
    {"x^2_i", "x_i^2"},
    {"x^{10}", "x^(1 0)"},
    {"x^\\alpha", "x^\\alpha"},
    {"e^{x^2}", "e^(x^2)"},
    {"^2", "()^2"},
    {"a \\, b \\; c \\quad d \\qquad e", "a space(3) b space(5) c space(18) d space(36) e"},
    {"\\sum_{i=1}^{n} i", "\\sum_(i = 1)^n i"},
    {"\\int_0^1 f", "\\int_0^1 f"},
    {"\\text{if } x > 0", "text(\"if \") x > 0"},
    {"\\text{a^b_c(1)}", "text(\"a^b_c(1)\")"},
    {"\\text{a~b}", "text(\"a~b\")"},
    {"\\mathbb{R} \\mathbb N", "\\mathbb{R} \\mathbb{N}"},
    {"{a+b}^2", "{a + b}^2"},
    {"\\Gamma \\Omega \\le \\ne \\to \\infty \\partial",
     "\\Gamma \\Omega \\le \\ne \\to \\infty \\partial"},
    {"(a) [b] |c| 3! x:y, z. p/q <>", "( a ) [ b ] | c | 3 ! x : y , z . p / q < >"},
    {"\\frac{a}{b}^2", "frac(a,b)^2"},
};

TEST(FormulaParser, GoodLinesGiveTheirTree) {
    for (const Good& g : GoodLines) {
        const ParseResult r = parseFormula(g.line);
        ASSERT_TRUE(r.ok) << g.line << ": " << r.message;
        EXPECT_EQ(describe(r.row), g.tree) << g.line;
    }
}

struct Bad {
    const char* line;
    const char* message;
    int position;
};

const Bad BadLines[] = {
    {"x = \\fract{a}{b}", "unknown command \\fract at 5", 5},
    {"x+\\frac{a", "missing } for the \\frac opened at 3", 3},
    {"x=\\frac{\\sqrt{a}}{b", "missing } for the \\frac opened at 3", 3},
    {"\\sqrt{x", "missing } for the \\sqrt opened at 1", 1},
    {"a^{2", "missing } for the { opened at 3", 3},
    {"{a", "missing } for the { opened at 1", 1},
    {"a}", "unexpected } at 2", 2},
    {"\\frac{a}", "missing argument for \\frac at 9", 9},
    {"\\frac{a}}", "missing argument for \\frac at 9", 9},
    {"\\sqrt", "missing argument for \\sqrt at 6", 6},
    {"x^", "missing superscript after ^ at 2", 2},
    {"x_ }", "missing subscript after _ at 2", 2},
    {"x^^2", "missing superscript after ^ at 2", 2},
    {"x^2^3", "double superscript at 4", 4},
    {"x_1^2_3", "double subscript at 6", 6},
    {"a # b", "character \"#\" is not part of the formula language at 3", 3},
    {"\xC3\xA9 = 1", "character \"\xC3\xA9\" is not part of the formula language at 1", 1},
    {"a\xFF", "character \"\xEF\xBF\xBD\" is not part of the formula language at 2", 2},
    {"a\tb\x01", "character code 1 is not part of the formula language at 4", 4},
    {"\\text x", "missing { after \\text at 1", 1},
    {"\\text{a", "missing } for the \\text opened at 1", 1},
    {"\\text{a\\b}", "character \"\\\" cannot be set in \\text at 8", 8},
    {"\\text{\xC3\xA9}", "character \"\xC3\xA9\" cannot be set in \\text at 7", 7},
    {"\\mathbb{Q}", "\\mathbb takes one of the letters C, N, R, Z at 1", 1},
    {"\\mathbb{RR}", "\\mathbb takes one of the letters C, N, R, Z at 1", 1},
    {"x\\", "a lone \\ at 2", 2},
    {"\\!", "unknown command \\! at 1", 1},
};

TEST(FormulaParser, BadLinesSayWhatAndWhere) {
    for (const Bad& b : BadLines) {
        const ParseResult r = parseFormula(b.line);
        EXPECT_FALSE(r.ok) << b.line;
        EXPECT_EQ(r.message, b.message) << b.line;
        EXPECT_EQ(r.position, b.position) << b.line;
        EXPECT_TRUE(r.row.empty()) << b.line;
    }
}

// Hostile lines end in a message, never in a crash or a deep recursion.
TEST(FormulaParser, DepthAndLengthAreBounded) {
    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep += "{";
    ParseResult r = parseFormula(deep);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.rfind("formula nested too deeply at ", 0), 0u) << r.message;

    std::string fracs;
    for (int i = 0; i < MaxFormulaDepth; ++i)
        fracs += "\\frac1";
    r = parseFormula(fracs + "2");
    EXPECT_FALSE(r.ok) << "nesting by arguments counts as well";

    std::string scripts = "x";
    for (int i = 0; i < 200; ++i)
        scripts += "^{x";
    r = parseFormula(scripts);
    EXPECT_FALSE(r.ok);

    const std::string longLine(MaxFormulaCharacters + 1, 'x');
    r = parseFormula(longLine);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "formula too long: 4001 characters, at most 4000");
    EXPECT_TRUE(parseFormula(std::string(MaxFormulaCharacters, 'x')).ok);
}

} // namespace
