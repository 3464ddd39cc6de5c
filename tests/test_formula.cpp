// The formula language: good lines and the tree they give, bad lines and
// the message and position they give, fifty everyday formulas and the
// quotes messages make of a line.

#include "everydayformulas.h"
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
    {"\\text{}  \\text{  a  b  } \\text{\xC3\xA9}",
     "text(\"\") text(\" a b \") text(\"\xC3\xA9\")"},
    {"\\text{if $x > 0$ and $y$}", "{text(\"if \") x > 0 text(\" and \") y}"},
    {"\\text{a \\textbf{b}\\,c}", "{text(\"a \") textbf(\"b\") space(3) text(\"c\")}"},
    {"\\text{50\\% \\$ \\{ \\} \\& \\# \\_ \\textbackslash}", "text(\"50% $ { } & # _ \\\")"},
    {"\\textrm{a} \\textbf{b} \\textit{c} \\textsf{d} \\texttt{e} \\mbox{f} \\emph{g}",
     "text(\"a\") textbf(\"b\") textit(\"c\") textsf(\"d\") texttt(\"e\") text(\"f\") "
     "textit(\"g\")"},
    {"\\mathbb{R} \\mathbb N", "\\mathbb{R} \\mathbb{N}"},
    {"\\mathbb{Q} \\mathbb{RR}", "\\mathbb{Q} {\\mathbb{R} \\mathbb{R}}"},
    {"\\mathrm{d}x \\mathbf{v} \\mathsf{S} \\mathtt{t} \\mathcal{L} \\mathscr{F} \\mathfrak{g}",
     "\\mathrm{d} x \\mathbf{v} \\mathsf{S} \\mathtt{t} \\mathcal{L} \\mathcal{F} \\mathfrak{g}"},
    // A font command changes letters, digits and upright capital Greek;
    // \boldsymbol every symbol; an inner command's font stays.
    {"\\mathbf{\\Gamma \\gamma + 1} \\mathcal{\\Gamma} \\boldsymbol{\\alpha +} "
     "\\mathbf{\\mathrm{x} y}",
     "{\\mathbf{\\Gamma} \\gamma + \\mathbf{1}} \\Gamma {\\boldsymbol{\\alpha} \\boldsymbol{+}} "
     "{\\mathrm{x} \\mathbf{y}}"},
    {"{\\rm d}x {\\bf v \\it w}", "{\\mathrm{d}} x {\\mathbf{v} \\mathit{w}}"},
    {"\\displaystyle x \\textstyle y \\scriptstyle z \\scriptscriptstyle w",
     "\\displaystyle x \\textstyle y \\scriptstyle z \\scriptscriptstyle w"},
    {"{a+b}^2", "{a + b}^2"},
    {"\\Gamma \\Omega \\le \\ne \\to \\infty \\partial",
     "\\Gamma \\Omega \\le \\ne \\to \\infty \\partial"},
    {"(a) [b] |c| 3! x:y, z. p/q <>", "( a ) [ b ] | c | 3 ! x : y , z . p / q < >"},
    {"\\frac{a}{b}^2", "frac(a,b)^2"},
    // Roots, fractions and their kin
    {"\\sqrt[3]{8} \\sqrt[n]x", "sqrt[3](8) sqrt[n](x)"},
    {"\\dfrac{a}{b} \\tfrac{a}{b} \\cfrac{1}{x} \\binom{n}{k} \\dbinom{n}{k} \\tbinom{n}{k}",
     "dfrac(a,b) tfrac(a,b) dfrac(1,x) binom(n,k) dbinom(n,k) tbinom(n,k)"},
    {"{a \\over b} {n \\choose k} {a \\atop b} \\over c",
     "frac({frac(a,b)} {binom(n,k)} {atop(a,b)},c)"},
    {"a^{b \\over c} {\\over}", "a^frac(b,c) {frac(,)}"},
    // Primes: x' is x^{\prime}, and a superscript after them joins them
    {"x' f''(x) x'^2 x'_1 x_1' {x}'",
     "x^\\prime f^(\\prime \\prime) ( x ) x^(\\prime 2) x_1^\\prime x_1^\\prime {x}^\\prime"},
    {"x''^{ab} \\prime", "x^(\\prime \\prime a b) \\prime"},
    // Delimiters
    {"\\left( \\frac{a}{b} \\right)^2", "\\left( frac(a,b) \\right)^2"},
    {"\\left\\{ x \\middle| x > 0 \\right. \\left\\langle a \\right\\rangle \\left\\lfloor x "
     "\\right\\rceil",
     "\\left\\{ x \\middle| x > 0 \\right. \\left\\langle a \\right\\rangle \\left\\lfloor x "
     "\\right\\rceil"},
    {"\\left< x \\right> \\left/ a \\right\\backslash \\left\\uparrow \\right\\Vert",
     "\\left\\langle x \\right\\rangle \\left/ a \\right\\backslash \\left\\uparrow \\right\\|"},
    {"\\bigl( x \\bigr) \\Big| \\biggm\\| \\Bigg\\{ \\bigl. x",
     "\\bigl( x \\bigr) \\Big| \\biggm\\| \\Bigg\\{ space(2) x"},
    // Arrays: short rows filled up, a last \\ starting no row
    {"\\begin{matrix} a & b & c \\\\ d \\\\ \\end{matrix} \\begin{matrix}\\end{matrix}",
     "matrix(a & b & c \\\\ d &  & ) matrix()"},
    {"\\begin{pmatrix} 1 \\end{pmatrix} \\begin{bmatrix} 1 \\end{bmatrix} \\begin{Bmatrix} 1 "
     "\\end{Bmatrix} \\begin{vmatrix} 1 \\end{vmatrix} \\begin{Vmatrix} 1 \\end{Vmatrix}",
     "\\left( matrix(1) \\right) \\left[ matrix(1) \\right] \\left\\{ matrix(1) \\right\\} "
     "\\left| matrix(1) \\right| \\left\\| matrix(1) \\right\\|"},
    {"\\begin{smallmatrix} a & b \\end{smallmatrix} \\sum_{\\substack{i<j \\\\ k}}",
     "smallmatrix(a & b) \\sum_smallmatrix(i < j \\\\ k)"},
    {"\\begin{cases} 1 & x > 0 \\\\ 0 \\end{cases}",
     "\\left\\{ cases(1 & x > 0 \\\\ 0 & ) \\right."},
    {"\\begin{aligned} a &= b & c &= d \\\\ e &= f \\end{aligned} \\begin{align*} g &= h "
     "\\end{align*}",
     "aligned(a & = b & c & = d \\\\ e & = f &  & ) aligned(g & = h)"},
    {"\\begin{array}{l c r} \\hline a & b & c \\\\ \\hline\\hline d \\\\ \\hline \\end{array}",
     "array{lcr}(\\hline a & b & c \\\\ \\hline \\hline d &  &  \\hline)"},
    // \\[2pt] leaves the length out; "\\ [b]" starts a row with [b]
    {"\\begin{array}{c} a \\\\[2pt] b \\\\ [c] \\end{array}", "array{c}(a \\\\ b \\\\ [ c ])"},
    // Named functions and operators
    {"\\sin x \\arctan y \\lim_{n\\to\\infty} \\limsup \\Pr(E) \\gcd",
     "op(sin) x op(arctan) y op*(lim)_(n \\to \\infty) op*(lim sup) op*(Pr) ( E ) op*(gcd)"},
    {"\\operatorname{Var} \\operatorname*{argmax}_x \\operatorname{arg\\,max} \\operatorname{a "
     "b~c}",
     "op(Var) op*(argmax)_x op(arg max) op(ab c)"},
    {"a \\bmod b \\pmod{n} \\mod 5",
     "a binop(mod) b space(18) ( ordop(mod) space(6) {n} ) space(18) ordop(mod) space(6) {5}"},
    {"\\sum\\limits_{i=1}^n \\int\\nolimits_0^1 \\lim\\limits_{x} \\sum_i\\limits "
     "\\overbrace{x}\\limits^{a}",
     "\\sum\\limits_(i = 1)^n \\int\\nolimits_0^1 op*(lim)\\limits_x \\sum\\limits_i "
     "overbrace(x,a)"},
    // Accents and marks over and under
    {"\\hat a \\widehat{ab} \\tilde a \\widetilde{ab} \\bar a \\vec v \\dot x \\ddot x \\check a "
     "\\breve a \\acute a \\grave a \\mathring A",
     "hat(a) widehat(a b) tilde(a) widetilde(a b) bar(a) vec(v) dot(x) ddot(x) check(a) breve(a) "
     "acute(a) grave(a) mathring(A)"},
    {"\\overline{AB} \\underline{x} \\overbrace{a}^{2} \\underbrace{b}_{n} \\overbrace{c}_{m} "
     "\\overrightarrow{AB} \\overleftarrow{C} \\overleftrightarrow{D}",
     "overline(A B) underline(x) overbrace(a,2) underbrace(b,n) overbrace(c)_m overrightarrow(A B) "
     "overleftarrow(C) overleftrightarrow(D)"},
    {"\\overset{def}{=} \\underset{x}{\\arg} \\stackrel{?}{=}",
     "overset(d e f,=) underset(x,op(arg)) overset(?,=)"},
    // \not: the single character where there is one
    {"x \\not= y \\not< z \\not\\le w \\not\\in A \\not\\subset B \\not\\preceq d",
     "x \\ne y \\nless z \\nleq w \\notin A \xE2\x8A\x84 B \\not\\preceq d"},
    // Spaces
    {"\\! \\: \\> \\  ~ \\enspace \\thinspace \\medspace \\thickspace \\negthinspace",
     "space(-3) space(4) space(4) space(6) space(6) space(9) space(3) space(4) space(5) space(-3)"},
    {"\\hspace{1em} \\hspace{-0.5em} \\hspace*{2pt} \\hspace{ 3 mu } \\hspace{1ex} \\mspace{9mu} "
     "\\kern1em \\mkern-3mu \\hspace{.5em} \\hspace{1mm}",
     "space(18) space(-9) space(4) space(3) space(8) space(9) space(18) space(-3) space(9) "
     "space(5)"},
    // Symbols and escapes; characters typed as themselves
    {"\\cdot \\cdots \\ldots \\vdots \\ddots \\colon \\mid \\parallel \\ell \\hbar \\varnothing",
     "\\cdot \\cdots \\dots \\vdots \\ddots : \\mid \\parallel \\ell \\hbar \\varnothing"},
    {"* ? ; \" @ \\{ \\} \\% \\$ \\& \\# \\_ \\| \\lvert \\rVert",
     "* ? ; \" @ \\{ \\} \\% \\$ \\& \\# \\_ \\| | \\|"},
    {"x \xE2\x89\xA4 \xCE\xB1 \xE2\x88\x92 \xCE\xB2 \xC2\xB5", "x \\le \\alpha - \\beta \\mu"},
    // A whole line between maths delimiters; what numbers and labels equations
    {"$x^2$", "x^2"},
    {" $$ x $$ ", "x"},
    {"\\( y \\)", "y"},
    {"\\[ z \\]", "z"},
    {"\\nonumber x \\notag \\label{eq:1}", "x"},
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
    // Control characters and bytes that are not UTF-8, shown escaped
    {"a\tb\x01", "character \"\\x01\" is not part of the formula language at 4", 4},
    {"x \xE2\x80\xAE y", "character \"\\u202e\" is not part of the formula language at 3", 3},
    {"a\xFF", "invalid UTF-8 (byte \\xff) at 2", 2},
    {"\\fract{ \xC0\xAF", "invalid UTF-8 (byte \\xc0) at 9", 9},
    {"\\text{a\xC3}", "invalid UTF-8 (byte \\xc3) at 8", 8},
    {"\\text x", "missing { after \\text at 1", 1},
    {"\\text{a", "missing } for the \\text opened at 1", 1},
    {"\\text{a\\b}", "\\b cannot be used in \\text at 8", 8},
    {"\\text{\xE2\x82\xAC}", "character \"\xE2\x82\xAC\" cannot be set in \\text at 7", 7},
    {"\\text{$x}", "missing $ for the $ opened at 7", 7},
    {"x$", "a $ may only stand around the whole formula or inside \\text at 2", 2},
    {"x\\", "a lone \\ at 2", 2},
    {"\\\x01", "unknown command \\\\x01 at 1", 1},
    {"\\fooooooooooooooooooooooooooooooooooooooooooo",
     "unknown command \\fooooooooooooooooooooooooooooooooooooooo... at 1", 1},
    {"\\mathbf", "missing argument for \\mathbf at 8", 8},
    {"\\sqrt[3{8}", "missing ] for the index of \\sqrt opened at 6", 6},
    {"\\cfrac[l]{1}{2}", "\\cfrac[...], a numerator set to one side, is not supported at 7", 7},
    {"x^2'", "double superscript at 4", 4},
    {"x'^", "missing superscript after ^ at 3", 3},
    {"x^\\right", "missing superscript after ^ at 2", 2},
    // Delimiters
    {"\\left( x", "missing \\right for the \\left opened at 1", 1},
    {"{\\left( x }", "missing \\right for the \\left opened at 2", 2},
    {"x \\middle|", "\\middle without \\left at 3", 3},
    {"\\right)", "\\right without \\left at 1", 1},
    {"\\left x \\right)", "\\left needs a delimiter such as ( [ \\{ | or . at 7", 7},
    {"\\big", "\\big needs a delimiter such as ( [ \\{ | or . at 5", 5},
    // Arrays
    {"\\begin{pmatrix} a & b", "missing \\end{pmatrix} for the \\begin{pmatrix} opened at 1", 1},
    {"\\begin{foo} x \\end{foo}", "unknown environment foo at 1", 1},
    {"\\begin x", "missing { after \\begin at 1", 1},
    {"\\begin{p-matrix}", "character \"-\" cannot be part of an environment's name at 9", 9},
    {"\\begin{pmatrix} a \\end{bmatrix}", "\\begin{pmatrix} at 1 ended by \\end{bmatrix} at 19",
     19},
    {"\\end{matrix}", "\\end{matrix} without \\begin at 1", 1},
    {"a & b", "& outside an array at 3", 3},
    {"\\begin{matrix} {a & b} \\end{matrix}", "& inside a group of an array's cell at 19", 19},
    {"a \\\\ b", "\\\\ outside an array at 3", 3},
    {"\\begin{array}{lx} a \\end{array}",
     "the columns of an array take the letters l, c and r only at 14", 14},
    {"\\begin{array}{cc} a & b & c \\end{array}",
     "more cells in a row than the 2 columns of the array at 25", 25},
    {"\\begin{cases} a & b & c \\end{cases}",
     "more cells in a row than the 2 columns of the cases at 21", 21},
    {"\\begin{matrix} a \\\\ \\hline b \\end{matrix}", "\\hline is allowed in array only at 21",
     21},
    {"\\begin{array}{c} a \\hline \\end{array}", "\\hline must start a row of the array at 20", 20},
    {"\\substack{a \\\\ b", "missing } for the \\substack opened at 1", 1},
    // Fractions, functions, \not, \limits, spaces
    {"{a \\over b \\over c}", "two of \\over, \\choose and \\atop in one group at 12", 12},
    {"x\\limits", "\\limits must follow an operator such as \\sum or \\lim at 2", 2},
    {"\\not{=}", "\\not must stand before a relation such as = or \\in at 1", 1},
    {"\\operatorname{}", "\\operatorname needs a name at 1", 1},
    {"\\operatorname{a^b}", "\\operatorname takes letters, digits and spaces at 16", 16},
    {"\\hspace{2px}", "unknown unit px in \\hspace: use em, ex, mu, pt, mm, cm or in at 9", 9},
    {"\\hspace{x}", "\\hspace needs a length such as 1em, 3mu or 2pt at 9", 9},
    {"\\hspace{101em}", "\\hspace is more than 100em at 9", 9},
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

    // Short rows are filled up with empty cells, which count.
    std::string cells = "\\begin{matrix}" + std::string(1000, '&');
    for (int i = 0; i < 1000; ++i)
        cells += "\\\\";
    r = parseFormula(cells + "\\end{matrix}");
    EXPECT_EQ(r.message, "too many array cells in one formula, at most 8000 at 1");

    const std::string longLine(MaxFormulaCharacters + 1, 'x');
    r = parseFormula(longLine);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "formula too long: 4001 characters, at most 4000");
    EXPECT_TRUE(parseFormula(std::string(MaxFormulaCharacters, 'x')).ok);
}

TEST(FormulaParser, EverydayFormulasGiveTheirTree) {
    for (const quill::test::EverydayFormula& f : quill::test::EverydayFormulas) {
        const ParseResult r = parseFormula(f.line);
        ASSERT_TRUE(r.ok) << f.line << ": " << r.message;
        EXPECT_EQ(describe(r.row), f.tree) << f.line;
    }
}

// What a message quotes of a line: at most 60 characters around the
// position, cut with "...", nothing a terminal would act on.
TEST(FormulaParser, MessagesQuoteTheLineSafely) {
    const std::string longLine = std::string(50, 'a') + "\\fract" + std::string(50, 'b');
    const struct {
        std::string line;
        int position;
        std::string quote;
    } cases[] = {
        {"x = \\fract{1}", 5, "x = \\fract{1}"},
        {longLine, 51, "..." + std::string(30, 'a') + "\\fract" + std::string(24, 'b') + "..."},
        {longLine, 1, std::string(50, 'a') + "\\fract" + std::string(4, 'b') + "..."},
        {longLine, 106, "...aaaa\\fract" + std::string(50, 'b')},
        {"a\x1b[31mb\x7f", 2, "a\\x1b[31mb\\x7f"},
        {"ab\xff\xC3(c", 3, "ab\\xff\\xc3(c"},
        {"x\xE2\x80\xAEy\xC2\x9B\xE2\x80\xA8", 2, "x\\u202ey\\u009b\\u2028"},
        {"\xCE\xB1\xCE\xB2 \xE2\x89\xA4", 2, "\xCE\xB1\xCE\xB2 \xE2\x89\xA4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quoteAround(c.line, c.position), c.quote) << c.line;
}

} // namespace
