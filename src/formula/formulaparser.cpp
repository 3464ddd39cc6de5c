#include "formula/formulaparser.h"

#include "formula/formulasymbols.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace quill::formula {

namespace {

// ---------------------------------------------------------------------------
// Tables

// The generated tables are sorted; checked once here so a wrong order cannot
// make a look-up miss.
constexpr bool namesSorted() {
    for (std::size_t i = 1; i < NamedSymbols.size(); ++i)
        if (!(NamedSymbols[i - 1].name < NamedSymbols[i].name))
            return false;
    for (std::size_t i = 1; i < NamesByCharacter.size(); ++i)
        if (NamedSymbols[NamesByCharacter[i - 1]].ch > NamedSymbols[NamesByCharacter[i]].ch)
            return false;
    for (std::size_t i = 1; i < NamedFunctions.size(); ++i)
        if (!(NamedFunctions[i - 1].name < NamedFunctions[i].name))
            return false;
    for (std::size_t i = 1; i < Negations.size(); ++i)
        if (!(Negations[i - 1].ch < Negations[i].ch))
            return false;
    return true;
}
static_assert(namesSorted(), "the generated symbol tables must be sorted");

const NamedSymbol* findNamed(std::string_view name) {
    const auto it =
        std::lower_bound(NamedSymbols.begin(), NamedSymbols.end(), name,
                         [](const NamedSymbol& s, std::string_view n) { return s.name < n; });
    return it != NamedSymbols.end() && it->name == name ? &*it : nullptr;
}

// The entry of a character with its shortest name, or nothing.
const NamedSymbol* findByCharacter(char32_t ch) {
    const auto it =
        std::lower_bound(NamesByCharacter.begin(), NamesByCharacter.end(), ch,
                         [](unsigned short i, char32_t c) { return NamedSymbols[i].ch < c; });
    return it != NamesByCharacter.end() && NamedSymbols[*it].ch == ch ? &NamedSymbols[*it]
                                                                      : nullptr;
}

const NamedFunction* findFunction(std::string_view name) {
    const auto it =
        std::lower_bound(NamedFunctions.begin(), NamedFunctions.end(), name,
                         [](const NamedFunction& f, std::string_view n) { return f.name < n; });
    return it != NamedFunctions.end() && it->name == name ? &*it : nullptr;
}

char32_t negationOf(char32_t ch) {
    const auto it = std::lower_bound(Negations.begin(), Negations.end(), ch,
                                     [](const Negation& n, char32_t c) { return n.ch < c; });
    return it != Negations.end() && it->ch == ch ? it->negated : 0;
}

// What each command does, by kind; `arg` says which of its kind it is.
enum class Cmd : std::uint8_t {
    Frac,         // arg: 0 \frac, 1 \dfrac, 2 \tfrac, 3 \cfrac, 4 \binom, 5 \dbinom, 6 \tbinom
    Sqrt,         // \sqrt[n]{x}
    MathFont,     // arg: FontStyle
    FontSwitch,   // \rm \bf ...: the rest of the group; arg: FontStyle
    TextFont,     // \text{...} and its kin; arg: FontStyle
    Style,        // arg: MathStyle
    Accent,       // arg: index into Accents
    OverUnder,    // arg: OverUnderKind
    OverUnderTwo, // \overset \underset \stackrel; arg: OverUnderKind
    Left,
    Big, // arg: size * 4 + class (0 ord, 1 open, 2 close, 3 rel)
    Begin,
    Substack,
    OperatorName, // arg: 1 for \operatorname*
    Bmod,
    Pmod,
    Mod,
    Not,
    Space,   // arg: eighteenths of an em, plus 100
    HSpace,  // \hspace{len}, \mspace{len}
    Kern,    // \kern len, \mkern len
    Ignored, // \nonumber, \notag: nothing to draw
    Label,   // \label{...}: nothing to draw
    // Handled where a row is read, never as an atom:
    Row,
};

struct Command {
    std::string_view name;
    Cmd cmd;
    int arg = 0;
};

constexpr int spaceArg(int eighteenths) {
    return eighteenths + 100;
}
constexpr int bigArg(int size, SymbolClass cls) {
    return size * 4 + (cls == SymbolClass::Open       ? 1
                       : cls == SymbolClass::Close    ? 2
                       : cls == SymbolClass::Relation ? 3
                                                      : 0);
}

struct AccentInfo {
    std::string_view name;
    char32_t ch;
    bool wide;
};
constexpr std::array<AccentInfo, 13> Accents{{
    {"acute", 0x0301, false},
    {"bar", 0x0304, false},
    {"breve", 0x0306, false},
    {"check", 0x030C, false},
    {"ddot", 0x0308, false},
    {"dot", 0x0307, false},
    {"grave", 0x0300, false},
    {"hat", 0x0302, false},
    {"mathring", 0x030A, false},
    {"tilde", 0x0303, false},
    {"vec", 0x20D7, false},
    {"widehat", 0x0302, true},
    {"widetilde", 0x0303, true},
}};

constexpr int accentArg(std::string_view name) {
    for (std::size_t i = 0; i < Accents.size(); ++i)
        if (Accents[i].name == name)
            return static_cast<int>(i);
    return -1;
}

using OU = OverUnderKind;
constexpr int ou(OU k) {
    return static_cast<int>(k);
}
constexpr int fs(FontStyle f) {
    return static_cast<int>(f);
}
constexpr int ms(MathStyle s) {
    return static_cast<int>(s);
}

// Sorted by name (checked below).
constexpr std::array Commands{
    Command{" ", Cmd::Space, spaceArg(6)},
    Command{"!", Cmd::Space, spaceArg(-3)},
    Command{",", Cmd::Space, spaceArg(3)},
    Command{":", Cmd::Space, spaceArg(4)},
    Command{";", Cmd::Space, spaceArg(5)},
    Command{">", Cmd::Space, spaceArg(4)},
    Command{"Bbb", Cmd::MathFont, fs(FontStyle::Blackboard)},
    Command{"Big", Cmd::Big, bigArg(2, SymbolClass::Ordinary)},
    Command{"Bigg", Cmd::Big, bigArg(4, SymbolClass::Ordinary)},
    Command{"Biggl", Cmd::Big, bigArg(4, SymbolClass::Open)},
    Command{"Biggm", Cmd::Big, bigArg(4, SymbolClass::Relation)},
    Command{"Biggr", Cmd::Big, bigArg(4, SymbolClass::Close)},
    Command{"Bigl", Cmd::Big, bigArg(2, SymbolClass::Open)},
    Command{"Bigm", Cmd::Big, bigArg(2, SymbolClass::Relation)},
    Command{"Bigr", Cmd::Big, bigArg(2, SymbolClass::Close)},
    Command{"\\", Cmd::Row},
    Command{"acute", Cmd::Accent, accentArg("acute")},
    Command{"atop", Cmd::Row},
    Command{"bar", Cmd::Accent, accentArg("bar")},
    Command{"begin", Cmd::Begin},
    Command{"bf", Cmd::FontSwitch, fs(FontStyle::Bold)},
    Command{"big", Cmd::Big, bigArg(1, SymbolClass::Ordinary)},
    Command{"bigg", Cmd::Big, bigArg(3, SymbolClass::Ordinary)},
    Command{"biggl", Cmd::Big, bigArg(3, SymbolClass::Open)},
    Command{"biggm", Cmd::Big, bigArg(3, SymbolClass::Relation)},
    Command{"biggr", Cmd::Big, bigArg(3, SymbolClass::Close)},
    Command{"bigl", Cmd::Big, bigArg(1, SymbolClass::Open)},
    Command{"bigm", Cmd::Big, bigArg(1, SymbolClass::Relation)},
    Command{"bigr", Cmd::Big, bigArg(1, SymbolClass::Close)},
    Command{"binom", Cmd::Frac, 4},
    Command{"bm", Cmd::MathFont, fs(FontStyle::BoldItalic)},
    Command{"bmod", Cmd::Bmod},
    Command{"boldsymbol", Cmd::MathFont, fs(FontStyle::BoldItalic)},
    Command{"breve", Cmd::Accent, accentArg("breve")},
    Command{"cal", Cmd::FontSwitch, fs(FontStyle::Calligraphic)},
    Command{"cfrac", Cmd::Frac, 3},
    Command{"check", Cmd::Accent, accentArg("check")},
    Command{"choose", Cmd::Row},
    Command{"dbinom", Cmd::Frac, 5},
    Command{"ddot", Cmd::Accent, accentArg("ddot")},
    Command{"dfrac", Cmd::Frac, 1},
    Command{"displaystyle", Cmd::Style, ms(MathStyle::Display)},
    Command{"dot", Cmd::Accent, accentArg("dot")},
    Command{"emph", Cmd::TextFont, fs(FontStyle::Italic)},
    Command{"end", Cmd::Row},
    Command{"enskip", Cmd::Space, spaceArg(9)},
    Command{"enspace", Cmd::Space, spaceArg(9)},
    Command{"frac", Cmd::Frac, 0},
    Command{"grave", Cmd::Accent, accentArg("grave")},
    Command{"hat", Cmd::Accent, accentArg("hat")},
    Command{"hline", Cmd::Row},
    Command{"hspace", Cmd::HSpace},
    Command{"it", Cmd::FontSwitch, fs(FontStyle::Italic)},
    Command{"kern", Cmd::Kern},
    Command{"label", Cmd::Label},
    Command{"left", Cmd::Left},
    Command{"limits", Cmd::Row},
    Command{"mathbb", Cmd::MathFont, fs(FontStyle::Blackboard)},
    Command{"mathbf", Cmd::MathFont, fs(FontStyle::Bold)},
    Command{"mathcal", Cmd::MathFont, fs(FontStyle::Calligraphic)},
    Command{"mathfrak", Cmd::MathFont, fs(FontStyle::Fraktur)},
    Command{"mathit", Cmd::MathFont, fs(FontStyle::Italic)},
    Command{"mathring", Cmd::Accent, accentArg("mathring")},
    Command{"mathrm", Cmd::MathFont, fs(FontStyle::Roman)},
    Command{"mathscr", Cmd::MathFont, fs(FontStyle::Calligraphic)},
    Command{"mathsf", Cmd::MathFont, fs(FontStyle::Sans)},
    Command{"mathtt", Cmd::MathFont, fs(FontStyle::Mono)},
    Command{"mbox", Cmd::TextFont, fs(FontStyle::Roman)},
    Command{"medspace", Cmd::Space, spaceArg(4)},
    Command{"middle", Cmd::Row},
    Command{"mkern", Cmd::Kern},
    Command{"mod", Cmd::Mod},
    Command{"mspace", Cmd::HSpace},
    Command{"negmedspace", Cmd::Space, spaceArg(-4)},
    Command{"negthickspace", Cmd::Space, spaceArg(-5)},
    Command{"negthinspace", Cmd::Space, spaceArg(-3)},
    Command{"nolimits", Cmd::Row},
    Command{"nonumber", Cmd::Ignored},
    Command{"not", Cmd::Not},
    Command{"notag", Cmd::Ignored},
    Command{"operatorname", Cmd::OperatorName},
    Command{"over", Cmd::Row},
    Command{"overbrace", Cmd::OverUnder, ou(OU::OverBrace)},
    Command{"overleftarrow", Cmd::OverUnder, ou(OU::OverLeftArrow)},
    Command{"overleftrightarrow", Cmd::OverUnder, ou(OU::OverLeftRightArrow)},
    Command{"overline", Cmd::OverUnder, ou(OU::Overline)},
    Command{"overrightarrow", Cmd::OverUnder, ou(OU::OverRightArrow)},
    Command{"overset", Cmd::OverUnderTwo, ou(OU::Over)},
    Command{"pmod", Cmd::Pmod},
    Command{"qquad", Cmd::Space, spaceArg(36)},
    Command{"quad", Cmd::Space, spaceArg(18)},
    Command{"right", Cmd::Row},
    Command{"rm", Cmd::FontSwitch, fs(FontStyle::Roman)},
    Command{"scriptscriptstyle", Cmd::Style, ms(MathStyle::ScriptScript)},
    Command{"scriptstyle", Cmd::Style, ms(MathStyle::Script)},
    Command{"sf", Cmd::FontSwitch, fs(FontStyle::Sans)},
    Command{"sqrt", Cmd::Sqrt},
    Command{"stackrel", Cmd::OverUnderTwo, ou(OU::Over)},
    Command{"substack", Cmd::Substack},
    Command{"tbinom", Cmd::Frac, 6},
    Command{"text", Cmd::TextFont, fs(FontStyle::Roman)},
    Command{"textbf", Cmd::TextFont, fs(FontStyle::Bold)},
    Command{"textit", Cmd::TextFont, fs(FontStyle::Italic)},
    Command{"textnormal", Cmd::TextFont, fs(FontStyle::Roman)},
    Command{"textrm", Cmd::TextFont, fs(FontStyle::Roman)},
    Command{"textsf", Cmd::TextFont, fs(FontStyle::Sans)},
    Command{"textstyle", Cmd::Style, ms(MathStyle::Text)},
    Command{"texttt", Cmd::TextFont, fs(FontStyle::Mono)},
    Command{"textup", Cmd::TextFont, fs(FontStyle::Roman)},
    Command{"tfrac", Cmd::Frac, 2},
    Command{"thickspace", Cmd::Space, spaceArg(5)},
    Command{"thinspace", Cmd::Space, spaceArg(3)},
    Command{"tilde", Cmd::Accent, accentArg("tilde")},
    Command{"tt", Cmd::FontSwitch, fs(FontStyle::Mono)},
    Command{"underbrace", Cmd::OverUnder, ou(OU::UnderBrace)},
    Command{"underline", Cmd::OverUnder, ou(OU::Underline)},
    Command{"underset", Cmd::OverUnderTwo, ou(OU::Under)},
    Command{"vec", Cmd::Accent, accentArg("vec")},
    Command{"widehat", Cmd::Accent, accentArg("widehat")},
    Command{"widetilde", Cmd::Accent, accentArg("widetilde")},
};

constexpr bool commandsSorted() {
    for (std::size_t i = 1; i < Commands.size(); ++i)
        if (!(Commands[i - 1].name < Commands[i].name))
            return false;
    for (const Command& c : Commands)
        if (c.cmd == Cmd::Accent && c.arg < 0)
            return false;
    return true;
}
static_assert(commandsSorted(), "the command table must be sorted by name");

const Command* findCommand(std::string_view name) {
    const auto it =
        std::lower_bound(Commands.begin(), Commands.end(), name,
                         [](const Command& c, std::string_view n) { return c.name < n; });
    return it != Commands.end() && it->name == name ? &*it : nullptr;
}

// The environments and what they become.
struct Environment {
    std::string_view name;
    ArrayKind kind;
    char32_t open; // the delimiters around it; 0 for none
    char32_t close;
};
constexpr std::array<Environment, 11> Environments{{
    {"Bmatrix", ArrayKind::Matrix, '{', '}'},
    {"Vmatrix", ArrayKind::Matrix, 0x2016, 0x2016},
    {"align", ArrayKind::Aligned, 0, 0},
    {"align*", ArrayKind::Aligned, 0, 0},
    {"aligned", ArrayKind::Aligned, 0, 0},
    {"array", ArrayKind::Array, 0, 0},
    {"bmatrix", ArrayKind::Matrix, '[', ']'},
    {"cases", ArrayKind::Cases, '{', 0},
    {"matrix", ArrayKind::Matrix, 0, 0},
    {"pmatrix", ArrayKind::Matrix, '(', ')'},
    {"smallmatrix", ArrayKind::SmallMatrix, 0, 0},
}};
// vmatrix comes after the others alphabetically but is looked up by name.
constexpr Environment VMatrix{"vmatrix", ArrayKind::Matrix, '|', '|'};

const Environment* findEnvironment(std::string_view name) {
    if (name == VMatrix.name)
        return &VMatrix;
    for (const Environment& e : Environments)
        if (e.name == name)
            return &e;
    return nullptr;
}

// The delimiters \left, \right, \middle and \big take.
bool isDelimiter(char32_t c) {
    switch (c) {
    case '(':
    case ')':
    case '[':
    case ']':
    case '{':
    case '}':
    case '|':
    case '/':
    case '\\':
    case 0x2016: // double bar
    case 0x27E8: // angle brackets
    case 0x27E9:
    case 0x230A: // floor
    case 0x230B:
    case 0x2308: // ceiling
    case 0x2309:
    case 0x2191: // arrows
    case 0x2193:
    case 0x2195:
    case 0x21D1:
    case 0x21D3:
    case 0x21D5:
    case 0x27E6: // white square brackets
    case 0x27E7:
    case 0x27EE: // flattened parentheses
    case 0x27EF:
        return true;
    default:
        return false;
    }
}

// The signs a line can hold as themselves, with their class.
bool asciiSign(char32_t c, SymbolClass& cls) {
    switch (c) {
    case '+':
    case '-':
    case '*':
        cls = SymbolClass::Binary;
        return true;
    case '=':
    case '<':
    case '>':
    case ':':
        cls = SymbolClass::Relation;
        return true;
    case '(':
    case '[':
        cls = SymbolClass::Open;
        return true;
    case ')':
    case ']':
    case '!':
    case '?':
        cls = SymbolClass::Close;
        return true;
    case ',':
    case ';':
        cls = SymbolClass::Punctuation;
        return true;
    case '.':
    case '/':
    case '|':
    case '@':
    case '"':
        cls = SymbolClass::Ordinary;
        return true;
    default:
        return false;
    }
}

bool isLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool isSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// ---------------------------------------------------------------------------
// Characters

// A byte that is not part of valid UTF-8 decodes to this plus its value,
// outside Unicode, so that messages can show it.
constexpr char32_t BadByte = 0x110000;

struct Decoded {
    std::u32string text;
    int badPosition = 0; // the first byte that is not UTF-8 (1-based characters), or 0
};

Decoded decodeUtf8(std::string_view s) {
    Decoded d;
    d.text.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int extra = b < 0x80         ? 0
                          : (b >> 5) == 6  ? 1
                          : (b >> 4) == 14 ? 2
                          : (b >> 3) == 30 ? 3
                                           : -1;
        char32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool good = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
        for (int k = 1; good && k <= extra; ++k) {
            const auto cb = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cb >> 6) != 2)
                good = false;
            else
                c = (c << 6) | (cb & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not characters.
        constexpr char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (good && (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            good = false;
        if (!good) {
            if (d.badPosition == 0)
                d.badPosition = static_cast<int>(d.text.size()) + 1;
            d.text.push_back(BadByte + b);
            ++i;
            continue;
        }
        d.text.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return d;
}

void appendUtf8(std::string& s, char32_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Characters a terminal or a text box would act on rather than show: the
// control characters, and those that reorder or break a line.
bool needsEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
           c >= BadByte;
}

// A character as a message shows it.
void appendShown(std::string& s, char32_t c) {
    if (!needsEscape(c)) {
        appendUtf8(s, c);
        return;
    }
    char buf[12];
    if (c >= BadByte)
        std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c - BadByte));
    else if (c < 0x80)
        std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
    else
        std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
    s += buf;
}

std::string quoted(char32_t c) {
    std::string s = "\"";
    appendShown(s, c);
    return s + "\"";
}

std::string at(int position) {
    return " at " + std::to_string(position);
}

// A command's name as a message shows it: long ones cut short.
std::string shownName(const std::string& name) {
    constexpr std::size_t MaxShown = 40;
    return name.size() <= MaxShown ? name : name.substr(0, MaxShown) + "...";
}

// ---------------------------------------------------------------------------
// Fonts

bool isUpperGreek(char32_t c) {
    return c >= 0x0391 && c <= 0x03A9;
}

// Which symbols a font command changes: letters and digits always, the
// upright capital Greek letters in the fonts that have them, and every
// symbol in bold italic (\boldsymbol).
bool fontApplies(char32_t c, FontStyle f) {
    if (isLetter(c) || isDigit(c))
        return true;
    switch (f) {
    case FontStyle::BoldItalic:
        return true;
    case FontStyle::Roman:
    case FontStyle::Italic:
    case FontStyle::Bold:
    case FontStyle::Sans:
    case FontStyle::Mono:
        return isUpperGreek(c);
    default:
        return false;
    }
}

// Sets the font of every symbol in `row` that has none of its own yet; an
// inner font command has already set its own symbols.
void applyFont(Node& n, FontStyle f) {
    if (n.kind == Node::Kind::Symbol && n.font == FontStyle::Math && fontApplies(n.ch, f))
        n.font = f;
    for (Row& part : n.parts)
        for (Node& inner : part)
            applyFont(inner, f);
}

void applyFont(Row& row, FontStyle f) {
    for (Node& n : row)
        applyFont(n, f);
}

// ---------------------------------------------------------------------------
// The reader

struct Failure {
    std::string message;
    int position;
};

class Parser {
public:
    Parser(const std::u32string& text, std::size_t begin, std::size_t end)
        : m_s(text), m_i(begin), m_end(end) {}

    Row parseAll() { return parseRow(0, Stop::End, nullptr); }

    bool failed() const { return m_failed; }
    const Failure& failure() const { return m_failure; }

private:
    // What ends a row.
    enum class Stop : std::uint8_t {
        End,     // the end of the line
        Brace,   // }
        Bracket, // ] (a root's index)
        Right,   // \middle or \right
        Cell,    // &, \\ or the end of the array
        Dollar,  // $ (maths inside \text)
    };
    // How the last row ended.
    enum class Ended : std::uint8_t {
        End,
        Brace,
        Bracket,
        Middle,
        Right,
        Cell,
        NewRow,
        Array,
        Dollar
    };

    // What opened a row, for the message when its end never comes: "missing
    // `closer` for the `what` opened at `position`".
    struct Opener {
        std::string what;
        std::string closer;
        int position;
    };

    int pos() const { return static_cast<int>(m_i) + 1; }
    bool atEnd() const { return m_i >= m_end; }
    char32_t peek() const { return m_s[m_i]; }
    char32_t peekAt(std::size_t k) const { return m_i + k < m_end ? m_s[m_i + k] : 0; }

    void fail(std::string message, int position) {
        if (m_failed)
            return;
        m_failed = true;
        m_failure = Failure{std::move(message), position};
    }
    void failMissing(const Opener& o) {
        fail("missing " + o.closer + " for the " + o.what + " opened" + at(o.position), o.position);
    }
    bool tooDeep(int depth) {
        if (depth <= MaxFormulaDepth)
            return false;
        fail("formula nested too deeply" + at(pos()), pos());
        return true;
    }

    void skipSpaces() {
        while (!atEnd() && isSpace(peek()))
            ++m_i;
    }

    // The name after a backslash (which is at m_i): letters, or one other
    // character. Leaves m_i after it.
    std::string readCommandName() {
        ++m_i;
        std::string name;
        if (atEnd())
            return name;
        if (!isLetter(peek())) {
            const char32_t c = peek();
            ++m_i;
            if (isSpace(c))
                return " ";
            appendShown(name, c); // a control character stays escaped in messages
            return name;
        }
        while (!atEnd() && isLetter(peek()))
            name += static_cast<char>(peek()), ++m_i;
        return name;
    }

    // The command at m_i, without moving.
    std::string peekCommandName() {
        const std::size_t keep = m_i;
        std::string name = readCommandName();
        m_i = keep;
        return name;
    }

    // Commands that act on the row they stand in, and cannot be an argument.
    static bool rowLevel(std::string_view name) {
        const Command* c = findCommand(name);
        return c != nullptr &&
               (c->cmd == Cmd::Row || c->cmd == Cmd::FontSwitch || c->cmd == Cmd::Style ||
                c->cmd == Cmd::Ignored || c->cmd == Cmd::Label);
    }

    // Whether the next token can be an argument.
    bool argumentAhead() {
        skipSpaces();
        if (atEnd())
            return false;
        const char32_t c = peek();
        if (c == '}' || c == '^' || c == '_' || c == '&' || c == '$' || c == '\'')
            return false;
        if (c == '\\')
            return !rowLevel(peekCommandName());
        return true;
    }

    // ---- Rows

    Row parseRow(int depth, Stop stop, const Opener* opener) {
        Row row;
        if (tooDeep(depth))
            return row;
        // \rm and its kin: the font from a position on.
        std::vector<std::pair<std::size_t, FontStyle>> switches;
        // \over, \choose or \atop: where, which and at what position.
        std::size_t splitAt = 0;
        std::string split;
        int splitPosition = 0;
        bool done = false;
        while (!m_failed && !done) {
            skipSpaces();
            if (atEnd()) {
                if (stop == Stop::End) {
                    m_ended = Ended::End;
                    break;
                }
                failMissing(*opener);
                break;
            }
            const char32_t c = peek();
            const int here = pos();
            switch (c) {
            case '}':
                if (stop == Stop::Brace) {
                    ++m_i;
                    m_ended = Ended::Brace;
                    done = true;
                } else if (stop == Stop::Cell && opener->closer == "}") {
                    ++m_i; // the end of a \substack
                    m_ended = Ended::Array;
                    done = true;
                } else if (opener) {
                    failMissing(*opener);
                } else {
                    fail("unexpected }" + at(here), here);
                }
                continue;
            case ']':
                if (stop == Stop::Bracket) {
                    ++m_i;
                    m_ended = Ended::Bracket;
                    done = true;
                    continue;
                }
                break;
            case '$':
                if (stop == Stop::Dollar) {
                    ++m_i;
                    m_ended = Ended::Dollar;
                    done = true;
                } else {
                    fail("a $ may only stand around the whole formula or inside \\text" + at(here),
                         here);
                }
                continue;
            case '&':
                if (stop == Stop::Cell) {
                    ++m_i;
                    m_ended = Ended::Cell;
                    m_endPosition = here;
                    done = true;
                } else {
                    fail(m_openArrays > 0 ? "& inside a group of an array's cell" + at(here)
                                          : "& outside an array" + at(here),
                         here);
                }
                continue;
            case '^':
            case '_':
                attachScript(row, c == '^', depth);
                continue;
            case '\'':
                attachPrimes(row, depth);
                continue;
            case '\\':
                if (rowCommand(row, stop, depth, switches, splitAt, split, splitPosition, done))
                    continue;
                break;
            default:
                break;
            }
            if (!m_failed && !done)
                parseAtom(row, depth);
        }
        if (m_failed)
            return row;
        // Font switches, each to the next or to the end of the row.
        for (std::size_t k = 0; k < switches.size(); ++k) {
            const std::size_t from = switches[k].first;
            const std::size_t to = k + 1 < switches.size() ? switches[k + 1].first : row.size();
            for (std::size_t i = from; i < to; ++i)
                applyFont(row[i], switches[k].second);
        }
        if (!split.empty()) {
            Node f;
            f.kind = Node::Kind::Fraction;
            f.position = splitAt > 0 ? row[0].position : splitPosition;
            f.bar = split == "over";
            if (split == "choose") {
                f.open = '(';
                f.close = ')';
            }
            f.parts.resize(2);
            f.parts[0].assign(std::make_move_iterator(row.begin()),
                              std::make_move_iterator(row.begin() + static_cast<long>(splitAt)));
            f.parts[1].assign(std::make_move_iterator(row.begin() + static_cast<long>(splitAt)),
                              std::make_move_iterator(row.end()));
            row.clear();
            row.push_back(std::move(f));
        }
        return row;
    }

    // A command that acts on the row: true when it was one (handled, or
    // failed), false when it is an atom's.
    bool rowCommand(Row& row, Stop stop, int depth,
                    std::vector<std::pair<std::size_t, FontStyle>>& switches, std::size_t& splitAt,
                    std::string& split, int& splitPosition, bool& done) {
        const int here = pos();
        const std::size_t start = m_i;
        const std::string name = readCommandName();
        const Command* cmd = findCommand(name);
        if (!cmd || (cmd->cmd != Cmd::Row && cmd->cmd != Cmd::FontSwitch &&
                     cmd->cmd != Cmd::Ignored && cmd->cmd != Cmd::Label)) {
            m_i = start;
            return false;
        }
        if (cmd->cmd == Cmd::FontSwitch) {
            switches.emplace_back(row.size(), static_cast<FontStyle>(cmd->arg));
            return true;
        }
        if (cmd->cmd == Cmd::Ignored)
            return true;
        if (cmd->cmd == Cmd::Label) {
            std::string ignored;
            readBracedWord(ignored, "\\label", here, false);
            return true;
        }
        if (name == "\\") {
            if (stop != Stop::Cell) {
                fail(m_openArrays > 0 ? "\\\\ inside a group of an array's cell" + at(here)
                                      : "\\\\ outside an array" + at(here),
                     here);
                return true;
            }
            // \\[4pt]: the extra space of the row is not kept.
            if (!atEnd() && peek() == '[') {
                const std::size_t keep = m_i;
                ++m_i;
                int ignored = 0;
                if (!readLength(ignored) || atEnd() || peek() != ']')
                    m_i = keep;
                else
                    ++m_i;
            }
            m_ended = Ended::NewRow;
            m_endPosition = here;
            done = true;
            return true;
        }
        if (name == "right" || name == "middle") {
            if (stop != Stop::Right) {
                fail("\\" + name + " without \\left" + at(here), here);
                return true;
            }
            if (!readDelimiter("\\" + name, m_delimiter))
                return true;
            m_ended = name == "right" ? Ended::Right : Ended::Middle;
            done = true;
            return true;
        }
        if (name == "end") {
            std::string env;
            if (!readBracedWord(env, "\\end", here, true))
                return true;
            if (stop != Stop::Cell || m_arrayName.empty() || m_arrayCloser.empty() ||
                m_arrayCloser == "}") {
                fail("\\end{" + shownName(env) + "} without \\begin" + at(here), here);
                return true;
            }
            if (env != m_arrayName) {
                fail("\\begin{" + m_arrayName + "} at " + std::to_string(m_arrayPosition) +
                         " ended by \\end{" + shownName(env) + "}" + at(here),
                     here);
                return true;
            }
            m_ended = Ended::Array;
            done = true;
            return true;
        }
        if (name == "over" || name == "choose" || name == "atop") {
            if (!split.empty()) {
                fail("two of \\over, \\choose and \\atop in one group" + at(here), here);
                return true;
            }
            split = name;
            splitAt = row.size();
            splitPosition = here;
            return true;
        }
        if (name == "limits" || name == "nolimits") {
            setLimits(row, name == "limits" ? Limits::Above : Limits::Beside, here);
            return true;
        }
        // \hline: the array reads those that start a row itself.
        fail(m_arrayKind == ArrayKind::Array && m_openArrays > 0
                 ? "\\hline must start a row of the array" + at(here)
                 : "\\hline is allowed in array only" + at(here),
             here);
        (void)depth;
        return true;
    }

    static bool isOperator(const Node& n) {
        return (n.kind == Node::Kind::Symbol &&
                (n.cls == SymbolClass::LargeOperator || n.cls == SymbolClass::Integral)) ||
               (n.kind == Node::Kind::Operator && n.cls == SymbolClass::LargeOperator) ||
               (n.kind == Node::Kind::OverUnder && (n.overUnder == OverUnderKind::OverBrace ||
                                                    n.overUnder == OverUnderKind::UnderBrace));
    }

    void setLimits(Row& row, Limits limits, int here) {
        if (!row.empty()) {
            Node& last = row.back();
            if (last.kind == Node::Kind::Scripts && last.parts[0].size() == 1 &&
                isOperator(last.parts[0][0])) {
                last.limits = limits;
                last.parts[0][0].limits = limits;
                return;
            }
            if (isOperator(last)) {
                last.limits = limits;
                return;
            }
        }
        fail("\\" + std::string(limits == Limits::Above ? "limits" : "nolimits") +
                 " must follow an operator such as \\sum or \\lim" + at(here),
             here);
    }

    // ---- Scripts and primes

    // The Scripts node at the end of `row` that the next script goes to,
    // made around the last node when there is none.
    Node& scriptsNode(Row& row, int here) {
        if (row.empty() || row.back().kind != Node::Kind::Scripts) {
            Node s;
            s.kind = Node::Kind::Scripts;
            s.parts.resize(3);
            if (!row.empty() && row.back().kind != Node::Kind::Space &&
                row.back().kind != Node::Kind::StyleChange) {
                s.position = row.back().position;
                s.limits = row.back().limits;
                s.parts[0].push_back(std::move(row.back()));
                row.pop_back();
            } else {
                s.position = here;
            }
            row.push_back(std::move(s));
        }
        return row.back();
    }

    // The brace whose note the script is: \overbrace{x}^{note}.
    static Node* braceWithoutNote(Row& row, bool sup) {
        if (row.empty())
            return nullptr;
        Node* n = &row.back();
        if (n->kind == Node::Kind::Scripts && n->parts[0].size() == 1)
            n = &n->parts[0][0];
        const OverUnderKind want = sup ? OverUnderKind::OverBrace : OverUnderKind::UnderBrace;
        if (n->kind == Node::Kind::OverUnder && n->overUnder == want && n->parts.size() == 1)
            return n;
        return nullptr;
    }

    void attachScript(Row& row, bool sup, int depth) {
        const int here = pos();
        ++m_i; // the ^ or _
        if (!argumentAhead()) {
            fail(std::string("missing ") + (sup ? "superscript after ^" : "subscript after _") +
                     at(here),
                 here);
            return;
        }
        if (Node* brace = braceWithoutNote(row, sup)) {
            Row note = parseArgument(depth + 1, sup ? "^" : "_");
            // parseArgument may have moved the row's nodes: find it again.
            if (!m_failed)
                braceWithoutNote(row, sup)->parts.push_back(std::move(note));
            (void)brace;
            return;
        }
        Node& scripts = scriptsNode(row, here);
        if (sup ? scripts.hasSup : scripts.hasSub) {
            fail(std::string(sup ? "double superscript" : "double subscript") + at(here), here);
            return;
        }
        Row arg = parseArgument(depth + 1, sup ? "^" : "_");
        if (m_failed)
            return;
        Node& s = row.back();
        (sup ? s.hasSup : s.hasSub) = true;
        s.parts[sup ? 1 : 2] = std::move(arg);
    }

    // x' is x^{\prime}; x''^2 is x^{\prime\prime 2}.
    void attachPrimes(Row& row, int depth) {
        const int here = pos();
        Row primes;
        while (!atEnd() && peek() == '\'') {
            Node p;
            p.kind = Node::Kind::Symbol;
            p.ch = 0x2032;
            p.position = pos();
            primes.push_back(std::move(p));
            ++m_i;
            skipSpaces();
        }
        Node& scripts = scriptsNode(row, here);
        if (scripts.hasSup) {
            fail("double superscript" + at(here), here);
            return;
        }
        if (!atEnd() && peek() == '^') {
            const int caret = pos();
            ++m_i;
            if (!argumentAhead()) {
                fail("missing superscript after ^" + at(caret), caret);
                return;
            }
            Row more = parseArgument(depth + 1, "^");
            if (m_failed)
                return;
            for (Node& n : more)
                primes.push_back(std::move(n));
        }
        Node& s = row.back();
        s.hasSup = true;
        s.parts[1] = std::move(primes);
    }

    // An argument: a braced row, or one token standing alone.
    Row parseArgument(int depth, const std::string& of) {
        Row arg;
        if (!argumentAhead()) {
            fail("missing argument for " + of + at(pos()), pos());
            return arg;
        }
        if (tooDeep(depth))
            return arg;
        if (peek() == '{') {
            // A command's argument reports the command, a script's the brace.
            const Opener o = of[0] == '\\' ? Opener{of, "}", m_argOpener} : Opener{"{", "}", pos()};
            ++m_i;
            return parseRow(depth + 1, Stop::Brace, &o);
        }
        parseAtom(arg, depth + 1);
        return arg;
    }

    // A command's argument, its position remembered for the message.
    Row commandArgument(int depth, const std::string& command, int commandAt) {
        m_argOpener = commandAt;
        return parseArgument(depth, command);
    }

    // ---- Atoms

    Node symbol(char32_t ch, SymbolClass cls, int position) {
        Node n;
        n.kind = Node::Kind::Symbol;
        n.ch = ch;
        n.cls = cls;
        n.position = position;
        return n;
    }

    // One token's nodes, appended to `row`.
    void parseAtom(Row& row, int depth) {
        const char32_t c = peek();
        const int here = pos();
        if (c == '{') {
            const Opener o{"{", "}", here};
            ++m_i;
            Node n;
            n.kind = Node::Kind::Group;
            n.position = here;
            n.parts.push_back(parseRow(depth + 1, Stop::Brace, &o));
            row.push_back(std::move(n));
            return;
        }
        if (c == '\\') {
            command(row, depth);
            return;
        }
        if (c == '~') {
            ++m_i;
            Node n;
            n.kind = Node::Kind::Space;
            n.space = 6;
            n.position = here;
            row.push_back(std::move(n));
            return;
        }
        ++m_i;
        if (isLetter(c) || isDigit(c)) {
            row.push_back(symbol(c, SymbolClass::Ordinary, here));
            return;
        }
        SymbolClass cls{};
        if (asciiSign(c, cls)) {
            row.push_back(symbol(c, cls, here));
            return;
        }
        // A character the language has a name for stands for that symbol;
        // a typed minus sign and micro sign for their mathematical selves.
        const char32_t as = c == 0x2212 ? '-' : c == 0x00B5 ? 0x03BC : c;
        if (as == '-') {
            row.push_back(symbol('-', SymbolClass::Binary, here));
            return;
        }
        if (as >= 0x80) {
            if (const NamedSymbol* s = findByCharacter(as)) {
                row.push_back(symbol(s->ch, s->cls, here));
                return;
            }
        }
        fail("character " + quoted(c) + " is not part of the formula language" + at(here), here);
    }

    void command(Row& row, int depth) {
        const int here = pos();
        const std::string name = readCommandName();
        if (name.empty()) {
            fail("a lone \\" + at(here), here);
            return;
        }
        if (const Command* cmd = findCommand(name)) {
            runCommand(row, *cmd, name, here, depth);
            return;
        }
        if (const NamedSymbol* s = findNamed(name)) {
            row.push_back(symbol(s->ch, s->cls, here));
            return;
        }
        if (const NamedFunction* f = findFunction(name)) {
            Node n;
            n.kind = Node::Kind::Operator;
            n.cls = SymbolClass::LargeOperator;
            n.font = FontStyle::Roman;
            n.text = std::string(f->text);
            n.displayLimits = f->limits;
            n.position = here;
            row.push_back(std::move(n));
            return;
        }
        fail("unknown command \\" + shownName(name) + at(here), here);
    }

    void runCommand(Row& row, const Command& cmd, const std::string& name, int here, int depth) {
        const std::string cs = "\\" + name;
        Node n;
        n.position = here;
        switch (cmd.cmd) {
        case Cmd::Frac: {
            n.kind = Node::Kind::Fraction;
            if (cmd.arg == 3) {
                skipSpaces();
                if (!atEnd() && peek() == '[') {
                    fail("\\cfrac[...], a numerator set to one side, is not supported" + at(pos()),
                         pos());
                    return;
                }
            }
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            const int kind = cmd.arg;
            if (kind >= 4) {
                n.bar = false;
                n.open = '(';
                n.close = ')';
            }
            if (kind == 1 || kind == 3 || kind == 5) {
                n.hasStyle = true;
                n.style = MathStyle::Display;
            } else if (kind == 2 || kind == 6) {
                n.hasStyle = true;
                n.style = MathStyle::Text;
            }
            break;
        }
        case Cmd::Sqrt: {
            n.kind = Node::Kind::Root;
            skipSpaces();
            Row index;
            if (!atEnd() && peek() == '[') {
                const Opener o{"index of \\sqrt", "]", pos()};
                ++m_i;
                index = parseRow(depth + 1, Stop::Bracket, &o);
                if (m_failed)
                    return;
                n.hasIndex = true;
            }
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            if (n.hasIndex)
                n.parts.push_back(std::move(index));
            break;
        }
        case Cmd::MathFont: {
            Row arg = commandArgument(depth + 1, cs, here);
            if (m_failed)
                return;
            applyFont(arg, static_cast<FontStyle>(cmd.arg));
            if (arg.size() == 1 && arg[0].kind == Node::Kind::Symbol &&
                arg[0].cls == SymbolClass::Ordinary) {
                row.push_back(std::move(arg[0]));
                return;
            }
            n.kind = Node::Kind::Group;
            n.parts.push_back(std::move(arg));
            break;
        }
        case Cmd::TextFont:
            parseText(row, cs, here, static_cast<FontStyle>(cmd.arg), depth);
            return;
        case Cmd::Style:
            n.kind = Node::Kind::StyleChange;
            n.hasStyle = true;
            n.style = static_cast<MathStyle>(cmd.arg);
            break;
        case Cmd::Accent: {
            const AccentInfo& a = Accents[static_cast<std::size_t>(cmd.arg)];
            n.kind = Node::Kind::Accent;
            n.ch = a.ch;
            n.wide = a.wide;
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            break;
        }
        case Cmd::OverUnder:
            n.kind = Node::Kind::OverUnder;
            n.overUnder = static_cast<OverUnderKind>(cmd.arg);
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            break;
        case Cmd::OverUnderTwo: {
            n.kind = Node::Kind::OverUnder;
            n.overUnder = static_cast<OverUnderKind>(cmd.arg);
            Row note = commandArgument(depth + 1, cs, here);
            if (m_failed)
                return;
            n.parts.push_back(commandArgument(depth + 1, cs, here));
            if (m_failed)
                return;
            n.parts.push_back(std::move(note));
            break;
        }
        case Cmd::Left:
            parseLeft(row, here, depth);
            return;
        case Cmd::Big: {
            char32_t d = 0;
            if (!readDelimiter(cs, d))
                return;
            if (d == 0) {
                // \bigl. : the empty delimiter, only its small space.
                n.kind = Node::Kind::Space;
                n.space = 2;
                break;
            }
            constexpr SymbolClass classes[] = {SymbolClass::Ordinary, SymbolClass::Open,
                                               SymbolClass::Close, SymbolClass::Relation};
            n = symbol(d, classes[cmd.arg % 4], here);
            n.bigSize = static_cast<std::uint8_t>(cmd.arg / 4);
            break;
        }
        case Cmd::Begin:
            parseEnvironment(row, here, depth);
            return;
        case Cmd::Substack:
            parseSubstack(row, here, depth);
            return;
        case Cmd::OperatorName:
            parseOperatorName(row, here);
            return;
        case Cmd::Bmod:
            n.kind = Node::Kind::Operator;
            n.cls = SymbolClass::Binary;
            n.font = FontStyle::Roman;
            n.text = "mod";
            break;
        case Cmd::Pmod:
        case Cmd::Mod: {
            // \pmod{n}: a quad, then "(mod n)"; \mod n: a quad, "mod n".
            Row arg = commandArgument(depth + 1, cs, here);
            if (m_failed)
                return;
            Node space;
            space.kind = Node::Kind::Space;
            space.position = here;
            space.space = 18;
            row.push_back(space);
            if (cmd.cmd == Cmd::Pmod)
                row.push_back(symbol('(', SymbolClass::Open, here));
            Node mod;
            mod.kind = Node::Kind::Operator;
            mod.font = FontStyle::Roman;
            mod.text = "mod";
            mod.position = here;
            row.push_back(std::move(mod));
            space.space = 6;
            row.push_back(space);
            Node group;
            group.kind = Node::Kind::Group;
            group.position = here;
            group.parts.push_back(std::move(arg));
            row.push_back(std::move(group));
            if (cmd.cmd == Cmd::Pmod)
                row.push_back(symbol(')', SymbolClass::Close, here));
            return;
        }
        case Cmd::Not: {
            Row next;
            if (argumentAhead() && peek() != '{')
                parseAtom(next, depth + 1);
            if (m_failed)
                return;
            if (next.size() != 1 || next[0].kind != Node::Kind::Symbol) {
                fail("\\not must stand before a relation such as = or \\in" + at(here), here);
                return;
            }
            n = std::move(next[0]);
            n.position = here;
            if (const char32_t negated = negationOf(n.ch);
                negated != 0 && n.bigSize == 0 && n.font == FontStyle::Math)
                n.ch = negated;
            else
                n.negated = true;
            break;
        }
        case Cmd::Space:
            n.kind = Node::Kind::Space;
            n.space = cmd.arg - 100;
            break;
        case Cmd::HSpace:
        case Cmd::Kern: {
            n.kind = Node::Kind::Space;
            if (!readSpaceLength(cs, here, cmd.cmd == Cmd::HSpace, n.space))
                return;
            break;
        }
        case Cmd::Ignored:
        case Cmd::Label:
        case Cmd::FontSwitch:
        case Cmd::Row:
            // Handled where the row is read: here only as an argument,
            // where they cannot stand.
            fail("missing argument before " + cs + at(here), here);
            return;
        }
        row.push_back(std::move(n));
    }

    // ---- Delimiters

    // The delimiter after \left, \right, \middle or \big: 0 for ".".
    bool readDelimiter(const std::string& of, char32_t& out) {
        skipSpaces();
        const int here = pos();
        auto refuse = [&] {
            fail(of + " needs a delimiter such as ( [ \\{ | or ." + at(here), here);
            return false;
        };
        if (atEnd())
            return refuse();
        const char32_t c = peek();
        if (c == '.') {
            ++m_i;
            out = 0;
            return true;
        }
        if (c == '<' || c == '>') {
            ++m_i;
            out = c == '<' ? 0x27E8 : 0x27E9;
            return true;
        }
        if (c == '\\') {
            const std::size_t keep = m_i;
            const std::string name = readCommandName();
            const NamedSymbol* s = findNamed(name);
            if (s && isDelimiter(s->ch)) {
                out = s->ch;
                return true;
            }
            m_i = keep;
            return refuse();
        }
        if (isDelimiter(c) && c != '{' && c != '}' && c != '\\') {
            ++m_i;
            out = c;
            return true;
        }
        return refuse();
    }

    void parseLeft(Row& row, int here, int depth) {
        Node n;
        n.kind = Node::Kind::Delimited;
        n.cls = SymbolClass::Inner;
        n.position = here;
        char32_t d = 0;
        if (!readDelimiter("\\left", d))
            return;
        n.delims.push_back(d);
        const Opener o{"\\left", "\\right", here};
        while (true) {
            Row part = parseRow(depth + 1, Stop::Right, &o);
            if (m_failed)
                return;
            n.parts.push_back(std::move(part));
            n.delims.push_back(m_delimiter);
            if (m_ended == Ended::Right)
                break;
        }
        row.push_back(std::move(n));
    }

    // ---- Arrays

    // A word in braces after a command: an environment's or a label's name.
    bool readBracedWord(std::string& word, const std::string& of, int here, bool nameOnly) {
        skipSpaces();
        if (atEnd() || peek() != '{') {
            fail("missing { after " + of + at(here), here);
            return false;
        }
        ++m_i;
        while (!atEnd() && peek() != '}') {
            const char32_t c = peek();
            if (nameOnly && !isLetter(c) && c != '*') {
                fail("character " + quoted(c) + " cannot be part of an environment's name" +
                         at(pos()),
                     pos());
                return false;
            }
            if (c == '{' || c == '\\' || c >= BadByte || c < 0x20) {
                fail("character " + quoted(c) + " cannot be part of a name" + at(pos()), pos());
                return false;
            }
            appendUtf8(word, c);
            ++m_i;
        }
        if (atEnd()) {
            fail("missing } for the " + of + " opened" + at(here), here);
            return false;
        }
        ++m_i;
        return true;
    }

    // The cells of an array, up to its end (\end{name}, or } for a
    // \substack), into `n`.
    bool readCells(Node& n, const Opener& o, const std::string& name, int here, int depth,
                   int maxColumns) {
        // The array being read, for \end's and \hline's messages; put back
        // for the enclosing one after.
        const std::string outerName = m_arrayName, outerCloser = m_arrayCloser;
        const int outerPosition = m_arrayPosition;
        const ArrayKind outerKind = m_arrayKind;
        m_arrayName = name;
        m_arrayCloser = o.closer;
        m_arrayPosition = here;
        m_arrayKind = n.arrayKind;
        ++m_openArrays;

        std::vector<std::vector<Row>> rows(1);
        n.hlines.assign(1, 0);
        bool ok = true;
        while (ok) {
            if (rows.back().empty()) {
                // \hline starts a row.
                while (true) {
                    skipSpaces();
                    if (atEnd() || peek() != '\\' || peekCommandName() != "hline")
                        break;
                    if (n.arrayKind != ArrayKind::Array) {
                        fail("\\hline is allowed in array only" + at(pos()), pos());
                        ok = false;
                        break;
                    }
                    readCommandName();
                    if (n.hlines.back() < 255)
                        ++n.hlines.back();
                }
                if (!ok)
                    break;
            }
            Row cell = parseRow(depth + 1, Stop::Cell, &o);
            if (m_failed) {
                ok = false;
                break;
            }
            rows.back().push_back(std::move(cell));
            if (++m_cells > MaxArrayCells) {
                fail("too many array cells in one formula, at most " +
                         std::to_string(MaxArrayCells) + at(pos()),
                     pos());
                ok = false;
                break;
            }
            if (m_ended == Ended::Cell) {
                if (maxColumns > 0 && static_cast<int>(rows.back().size()) >= maxColumns) {
                    fail("more cells in a row than the " + std::to_string(maxColumns) +
                             " columns of the " + name + at(m_endPosition),
                         m_endPosition);
                    ok = false;
                }
                continue;
            }
            if (m_ended == Ended::NewRow) {
                rows.emplace_back();
                n.hlines.push_back(0);
                continue;
            }
            break; // the end of the array
        }
        --m_openArrays;
        m_arrayName = outerName;
        m_arrayCloser = outerCloser;
        m_arrayPosition = outerPosition;
        m_arrayKind = outerKind;
        if (!ok)
            return false;

        // A last \\ before the end starts no row of its own.
        if (rows.size() > 1 && rows.back().size() == 1 && rows.back()[0].empty())
            rows.pop_back();
        else
            n.hlines.push_back(0);
        int columns = maxColumns > 0 && n.arrayKind == ArrayKind::Array ? maxColumns : 1;
        for (const auto& r : rows)
            columns = std::max(columns, static_cast<int>(r.size()));
        // Short rows are filled up with empty cells, which count as well.
        const long long cells =
            static_cast<long long>(columns) * static_cast<long long>(rows.size());
        long long filled = 0;
        for (const auto& r : rows)
            filled += static_cast<long long>(r.size());
        if (m_cells + cells - filled > MaxArrayCells) {
            fail("too many array cells in one formula, at most " + std::to_string(MaxArrayCells) +
                     at(here),
                 here);
            return false;
        }
        m_cells += static_cast<int>(cells - filled);
        n.columns = columns;
        n.parts.reserve(static_cast<std::size_t>(cells));
        for (auto& r : rows) {
            for (Row& cell : r)
                n.parts.push_back(std::move(cell));
            for (int k = static_cast<int>(r.size()); k < columns; ++k)
                n.parts.emplace_back();
        }
        return true;
    }

    void parseEnvironment(Row& row, int here, int depth) {
        std::string name;
        if (!readBracedWord(name, "\\begin", here, true))
            return;
        const Environment* env = findEnvironment(name);
        if (!env) {
            fail("unknown environment " + shownName(name) + at(here), here);
            return;
        }
        Node a;
        a.kind = Node::Kind::Array;
        a.arrayKind = env->kind;
        a.position = here;
        int maxColumns = 0;
        if (env->kind == ArrayKind::Array) {
            std::string preamble;
            skipSpaces();
            const int preambleAt = pos();
            if (!readBracedWord(preamble, "\\begin{array}", here, false))
                return;
            for (const char c : preamble)
                if (c != ' ')
                    a.align += c;
            if (a.align.empty() || a.align.find_first_not_of("lcr") != std::string::npos) {
                fail("the columns of an array take the letters l, c and r only" + at(preambleAt),
                     preambleAt);
                return;
            }
            maxColumns = static_cast<int>(a.align.size());
        } else if (env->kind == ArrayKind::Cases) {
            maxColumns = 2;
        }
        if (env->kind == ArrayKind::SmallMatrix) {
            a.hasStyle = true;
            a.style = MathStyle::Script;
        }
        const Opener o{"\\begin{" + name + "}", "\\end{" + name + "}", here};
        if (!readCells(a, o, name, here, depth + 1, maxColumns))
            return;
        if (a.align.empty()) {
            for (int c = 0; c < a.columns; ++c)
                a.align += env->kind == ArrayKind::Cases     ? 'l'
                           : env->kind == ArrayKind::Aligned ? (c % 2 == 0 ? 'r' : 'l')
                                                             : 'c';
        }
        if (env->open == 0 && env->close == 0) {
            row.push_back(std::move(a));
            return;
        }
        Node d;
        d.kind = Node::Kind::Delimited;
        d.cls = SymbolClass::Inner;
        d.position = here;
        d.delims = {env->open, env->close};
        d.parts.emplace_back();
        d.parts[0].push_back(std::move(a));
        row.push_back(std::move(d));
    }

    // \substack{a \\ b}: lines centred on each other in script style.
    void parseSubstack(Row& row, int here, int depth) {
        skipSpaces();
        if (atEnd() || peek() != '{') {
            fail("missing { after \\substack" + at(here), here);
            return;
        }
        ++m_i;
        Node a;
        a.kind = Node::Kind::Array;
        a.arrayKind = ArrayKind::SmallMatrix;
        a.hasStyle = true;
        a.style = MathStyle::Script;
        a.position = here;
        const Opener o{"\\substack", "}", here};
        if (!readCells(a, o, "\\substack", here, depth + 1, 1))
            return;
        a.align = "c";
        row.push_back(std::move(a));
    }

    // ---- Words

    // \operatorname{name}, \operatorname*{name}.
    void parseOperatorName(Row& row, int here) {
        Node n;
        n.kind = Node::Kind::Operator;
        n.cls = SymbolClass::LargeOperator;
        n.font = FontStyle::Roman;
        n.position = here;
        if (!atEnd() && peek() == '*') {
            ++m_i;
            n.displayLimits = true;
        }
        skipSpaces();
        if (atEnd() || peek() != '{') {
            fail("missing { after \\operatorname" + at(here), here);
            return;
        }
        ++m_i;
        while (true) {
            if (atEnd()) {
                fail("missing } for the \\operatorname opened" + at(here), here);
                return;
            }
            const char32_t c = peek();
            const int where = pos();
            if (c == '}') {
                ++m_i;
                break;
            }
            if (isSpace(c)) {
                ++m_i; // spaces in maths are not set
                continue;
            }
            if (c == '\\' || c == '~') {
                const std::string name = c == '~' ? (++m_i, std::string("~")) : readCommandName();
                const Command* cmd = findCommand(name);
                if (name == "~" || (cmd && cmd->cmd == Cmd::Space && cmd->arg > 100)) {
                    if (!n.text.empty() && n.text.back() != ' ')
                        n.text += ' ';
                    continue;
                }
                fail("\\operatorname takes letters, digits and spaces" + at(where), where);
                return;
            }
            if (isLetter(c) || isDigit(c) || c == '-' || c == '.' || c == '\'' || c == '*' ||
                c == '/') {
                n.text += static_cast<char>(c);
                ++m_i;
                continue;
            }
            fail("\\operatorname takes letters, digits and spaces" + at(where), where);
            return;
        }
        while (!n.text.empty() && n.text.back() == ' ')
            n.text.pop_back();
        if (n.text.empty()) {
            fail("\\operatorname needs a name" + at(here), here);
            return;
        }
        row.push_back(std::move(n));
    }

    // \text{...} and its kin: words set as they are typed, $...$ inside
    // them set as maths. One Text node, or a group of the pieces.
    void parseText(Row& row, const std::string& cs, int here, FontStyle font, int depth) {
        if (tooDeep(depth))
            return;
        skipSpaces();
        if (atEnd() || peek() != '{') {
            fail("missing { after " + cs + at(here), here);
            return;
        }
        ++m_i;
        Row pieces;
        std::string words;
        int wordsAt = here;
        auto add = [&](int where, char32_t c) {
            if (words.empty())
                wordsAt = where;
            appendUtf8(words, c);
        };
        auto flush = [&] {
            if (words.empty())
                return;
            Node t;
            t.kind = Node::Kind::Text;
            t.font = font;
            t.text = std::move(words);
            t.position = pieces.empty() ? here : wordsAt;
            pieces.push_back(std::move(t));
            words.clear();
        };
        int braces = 0;
        while (true) {
            if (atEnd()) {
                fail("missing } for the " + cs + " opened" + at(here), here);
                return;
            }
            const char32_t c = peek();
            const int where = pos();
            if (c == '}') {
                ++m_i;
                if (braces-- == 0)
                    break;
                continue;
            }
            if (c == '{') {
                ++m_i;
                ++braces;
                continue;
            }
            if (isSpace(c)) {
                ++m_i;
                // Spaces in a row are one space.
                if (words.empty() || words.back() != ' ')
                    add(where, ' ');
                continue;
            }
            if (c == '$') {
                flush();
                ++m_i;
                const Opener o{"$", "$", where};
                Row maths = parseRow(depth + 1, Stop::Dollar, &o);
                if (m_failed)
                    return;
                for (Node& m : maths)
                    pieces.push_back(std::move(m));
                continue;
            }
            if (c == '\\') {
                const std::string name = readCommandName();
                const Command* cmd = findCommand(name);
                if (name.size() == 1 &&
                    std::string_view("{}$%&#_ ").find(name[0]) != std::string_view::npos) {
                    add(where, static_cast<unsigned char>(name[0]));
                    continue;
                }
                if (name == "textbackslash") {
                    add(where, '\\');
                    continue;
                }
                if (cmd && cmd->cmd == Cmd::Space) {
                    flush();
                    Node sp;
                    sp.kind = Node::Kind::Space;
                    sp.space = cmd->arg - 100;
                    sp.position = where;
                    pieces.push_back(std::move(sp));
                    continue;
                }
                if (cmd && cmd->cmd == Cmd::TextFont) {
                    flush();
                    parseText(pieces, "\\" + name, where, static_cast<FontStyle>(cmd->arg),
                              depth + 1);
                    if (m_failed)
                        return;
                    continue;
                }
                fail("\\" + shownName(name) + " cannot be used in " + cs + at(where), where);
                return;
            }
            // Latin-1's printable characters: what the text faces draw.
            if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) {
                add(where, c);
                ++m_i;
                continue;
            }
            fail("character " + quoted(c) + " cannot be set in " + cs + at(where), where);
            return;
        }
        flush();
        if (pieces.empty()) {
            Node t;
            t.kind = Node::Kind::Text;
            t.font = font;
            t.position = here;
            row.push_back(std::move(t));
            return;
        }
        if (pieces.size() == 1 && pieces[0].kind == Node::Kind::Text) {
            row.push_back(std::move(pieces[0]));
            return;
        }
        Node g;
        g.kind = Node::Kind::Group;
        g.position = here;
        g.parts.push_back(std::move(pieces));
        row.push_back(std::move(g));
    }

    // ---- Lengths

    // A length such as "1.5em", "-3mu" or "2 pt", in eighteenths of an em
    // (a point being a tenth of an em, as in a 10-point formula). Leaves
    // m_i after it; false when there is none here (nothing failed).
    bool readLength(int& eighteenths) {
        skipSpaces();
        double sign = 1;
        if (!atEnd() && (peek() == '-' || peek() == '+')) {
            sign = peek() == '-' ? -1 : 1;
            ++m_i;
            skipSpaces();
        }
        double value = 0, scale = 0;
        int digits = 0;
        while (!atEnd() && (isDigit(peek()) || (peek() == '.' && scale == 0))) {
            if (peek() == '.') {
                scale = 1;
            } else {
                if (digits++ < 12) {
                    value = value * 10 + (peek() - '0');
                    if (scale > 0)
                        scale *= 10;
                }
            }
            ++m_i;
        }
        if (digits == 0)
            return false;
        if (scale > 1)
            value /= scale;
        skipSpaces();
        std::string unit;
        while (!atEnd() && isLetter(peek()) && unit.size() < 3)
            unit += static_cast<char>(peek()), ++m_i;
        double per = 0;
        if (unit == "em")
            per = 18;
        else if (unit == "ex")
            per = 18 * 0.430554;
        else if (unit == "mu")
            per = 1;
        else if (unit == "pt")
            per = 1.8;
        else if (unit == "mm")
            per = 1.8 * 2.845276;
        else if (unit == "cm")
            per = 1.8 * 28.45276;
        else if (unit == "in")
            per = 1.8 * 72.27;
        m_unit = unit;
        if (per == 0)
            return false;
        const double e = sign * value * per;
        eighteenths = static_cast<int>(std::lround(std::clamp(e, -1e6, 1e6)));
        return true;
    }

    // \hspace{len}, \mspace{len}, \kern len, \mkern len.
    bool readSpaceLength(const std::string& cs, int here, bool braced, int& eighteenths) {
        constexpr int MaxSpace = 100 * 18; // 100em either way
        if (braced) {
            if (!atEnd() && peek() == '*')
                ++m_i; // \hspace*: the same in a formula
            skipSpaces();
            if (atEnd() || peek() != '{') {
                fail("missing { after " + cs + at(here), here);
                return false;
            }
            ++m_i;
        }
        const int lengthAt = pos();
        m_unit.clear();
        if (!readLength(eighteenths)) {
            fail(m_unit.empty() || isDigit(m_unit[0])
                     ? cs + " needs a length such as 1em, 3mu or 2pt" + at(lengthAt)
                     : "unknown unit " + shownName(m_unit) + " in " + cs +
                           ": use em, ex, mu, pt, mm, cm or in" + at(lengthAt),
                 lengthAt);
            return false;
        }
        if (eighteenths > MaxSpace || eighteenths < -MaxSpace) {
            fail(cs + " is more than 100em" + at(lengthAt), lengthAt);
            return false;
        }
        if (braced) {
            skipSpaces();
            if (atEnd() || peek() != '}') {
                fail("missing } for the " + cs + " opened" + at(here), here);
                return false;
            }
            ++m_i;
        }
        return true;
    }

    const std::u32string& m_s;
    std::size_t m_i;
    std::size_t m_end;
    bool m_failed = false;
    Failure m_failure;
    int m_argOpener = 0; // where the command whose argument is read began

    // How the last row ended, and what ended it.
    Ended m_ended = Ended::End;
    int m_endPosition = 0;
    char32_t m_delimiter = 0;
    std::string m_unit;

    // The array being read.
    int m_openArrays = 0;
    std::string m_arrayName;
    std::string m_arrayCloser;
    int m_arrayPosition = 0;
    ArrayKind m_arrayKind = ArrayKind::Matrix;
    int m_cells = 0; // of every array so far
};

// ---------------------------------------------------------------------------
// describe()

void describeRow(const Row& row, std::string& out);

void describePart(const Row& part, std::string& out) {
    if (part.size() == 1 && part[0].kind != Node::Kind::Scripts) {
        describeRow(part, out);
        return;
    }
    out += '(';
    describeRow(part, out);
    out += ')';
}

std::string_view fontCommand(FontStyle f) {
    switch (f) {
    case FontStyle::Math:
        return "";
    case FontStyle::Roman:
        return "mathrm";
    case FontStyle::Italic:
        return "mathit";
    case FontStyle::Bold:
        return "mathbf";
    case FontStyle::BoldItalic:
        return "boldsymbol";
    case FontStyle::Sans:
        return "mathsf";
    case FontStyle::Mono:
        return "mathtt";
    case FontStyle::Calligraphic:
        return "mathcal";
    case FontStyle::Blackboard:
        return "mathbb";
    case FontStyle::Fraktur:
        return "mathfrak";
    }
    return "";
}

// A character as describe() shows it: ASCII as itself, the rest by name.
void describeChar(char32_t ch, std::string& out) {
    if (ch >= 0x20 && ch < 0x7F &&
        std::string_view("{}\\%$&#_^~").find(static_cast<char>(ch)) == std::string_view::npos) {
        out += static_cast<char>(ch);
        return;
    }
    const std::string_view name = symbolName(ch);
    if (name.empty()) {
        appendShown(out, ch);
        return;
    }
    out += '\\';
    out += name;
}

void describeSymbol(const Node& n, std::string& out) {
    if (n.negated)
        out += "\\not";
    if (n.bigSize > 0) {
        constexpr std::string_view sizes[] = {"", "\\big", "\\Big", "\\bigg", "\\Bigg"};
        out += sizes[std::min<int>(n.bigSize, 4)];
        out += n.cls == SymbolClass::Open       ? "l"
               : n.cls == SymbolClass::Close    ? "r"
               : n.cls == SymbolClass::Relation ? "m"
                                                : "";
    }
    const std::string_view font = fontCommand(n.font);
    if (!font.empty()) {
        out += '\\';
        out += font;
        out += '{';
    }
    describeChar(n.ch, out);
    if (!font.empty())
        out += '}';
}

std::string_view accentName(const Node& n) {
    for (const AccentInfo& a : Accents)
        if (a.ch == n.ch && a.wide == n.wide)
            return a.name;
    return "accent";
}

std::string_view overUnderName(OverUnderKind k) {
    switch (k) {
    case OverUnderKind::Overline:
        return "overline";
    case OverUnderKind::Underline:
        return "underline";
    case OverUnderKind::OverBrace:
        return "overbrace";
    case OverUnderKind::UnderBrace:
        return "underbrace";
    case OverUnderKind::OverRightArrow:
        return "overrightarrow";
    case OverUnderKind::OverLeftArrow:
        return "overleftarrow";
    case OverUnderKind::OverLeftRightArrow:
        return "overleftrightarrow";
    case OverUnderKind::Over:
        return "overset";
    case OverUnderKind::Under:
        return "underset";
    }
    return "overunder";
}

std::string_view arrayName(ArrayKind k) {
    switch (k) {
    case ArrayKind::Matrix:
        return "matrix";
    case ArrayKind::SmallMatrix:
        return "smallmatrix";
    case ArrayKind::Cases:
        return "cases";
    case ArrayKind::Aligned:
        return "aligned";
    case ArrayKind::Array:
        return "array";
    }
    return "array";
}

void describeDelimiter(char32_t d, std::string& out) {
    if (d == 0)
        out += '.';
    else
        describeChar(d, out);
}

void describeNode(const Node& n, std::string& out) {
    switch (n.kind) {
    case Node::Kind::Symbol:
        describeSymbol(n, out);
        break;
    case Node::Kind::Text: {
        constexpr std::string_view names[] = {"text",   "text",   "textit", "textbf", "textbfit",
                                              "textsf", "texttt", "text",   "text",   "text"};
        out += names[static_cast<std::size_t>(n.font)];
        out += "(\"" + n.text + "\")";
        break;
    }
    case Node::Kind::Space:
        out += "space(" + std::to_string(n.space) + ")";
        break;
    case Node::Kind::Group:
        out += '{';
        describeRow(n.parts[0], out);
        out += '}';
        break;
    case Node::Kind::Fraction:
        if (n.hasStyle)
            out += n.style == MathStyle::Display ? "d" : n.style == MathStyle::Text ? "t" : "s";
        out += n.bar ? "frac(" : n.open ? "binom(" : "atop(";
        describeRow(n.parts[0], out);
        out += ',';
        describeRow(n.parts[1], out);
        out += ')';
        break;
    case Node::Kind::Root:
        out += "sqrt";
        if (n.hasIndex) {
            out += '[';
            describeRow(n.parts[1], out);
            out += ']';
        }
        out += '(';
        describeRow(n.parts[0], out);
        out += ')';
        break;
    case Node::Kind::Scripts:
        describePart(n.parts[0], out);
        if (n.limits == Limits::Above)
            out += "\\limits";
        else if (n.limits == Limits::Beside)
            out += "\\nolimits";
        if (n.hasSub) {
            out += '_';
            describePart(n.parts[2], out);
        }
        if (n.hasSup) {
            out += '^';
            describePart(n.parts[1], out);
        }
        break;
    case Node::Kind::Delimited:
        for (std::size_t i = 0; i < n.delims.size(); ++i) {
            out += i == 0 ? "\\left" : i + 1 == n.delims.size() ? " \\right" : " \\middle";
            describeDelimiter(n.delims[i], out);
            if (i < n.parts.size() && !n.parts[i].empty()) {
                out += ' ';
                describeRow(n.parts[i], out);
            }
        }
        break;
    case Node::Kind::Array: {
        out += arrayName(n.arrayKind);
        if (n.arrayKind == ArrayKind::Array)
            out += "{" + n.align + "}";
        out += '(';
        const int rows = n.rows();
        auto hlines = [&](int line, bool before) {
            const int count = line < static_cast<int>(n.hlines.size())
                                  ? n.hlines[static_cast<std::size_t>(line)]
                                  : 0;
            for (int k = 0; k < count; ++k)
                out += before ? "\\hline " : " \\hline";
        };
        for (int r = 0; r < rows; ++r) {
            if (r > 0)
                out += " \\\\ ";
            hlines(r, true);
            for (int c = 0; c < n.columns; ++c) {
                if (c > 0)
                    out += " & ";
                describeRow(n.parts[static_cast<std::size_t>(r * n.columns + c)], out);
            }
        }
        hlines(rows, false);
        out += ')';
        break;
    }
    case Node::Kind::Accent:
        out += accentName(n);
        out += '(';
        describeRow(n.parts[0], out);
        out += ')';
        break;
    case Node::Kind::OverUnder:
        out += overUnderName(n.overUnder);
        out += '(';
        if (n.overUnder == OverUnderKind::Over || n.overUnder == OverUnderKind::Under) {
            describeRow(n.parts[1], out);
            out += ',';
            describeRow(n.parts[0], out);
        } else {
            describeRow(n.parts[0], out);
            if (n.parts.size() > 1) {
                out += ',';
                describeRow(n.parts[1], out);
            }
        }
        out += ')';
        break;
    case Node::Kind::Operator:
        out += n.cls == SymbolClass::Binary     ? "binop"
               : n.cls == SymbolClass::Ordinary ? "ordop"
                                                : "op";
        if (n.displayLimits)
            out += '*';
        out += "(" + n.text + ")";
        break;
    case Node::Kind::StyleChange: {
        constexpr std::string_view styles[] = {"\\displaystyle", "\\textstyle", "\\scriptstyle",
                                               "\\scriptscriptstyle"};
        out += styles[static_cast<std::size_t>(n.style)];
        break;
    }
    }
}

void describeRow(const Row& row, std::string& out) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out += ' ';
        describeNode(row[i], out);
    }
}

// The inside of a line written as a whole with maths delimiters around it
// ($...$, $$...$$, \(...\), \[...\]), as text copied from a document is.
void stripMathDelimiters(const std::u32string& s, std::size_t& begin, std::size_t& end) {
    std::size_t b = begin, e = end;
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    auto pair = [&](std::u32string_view open, std::u32string_view close) {
        if (e - b < open.size() + close.size())
            return false;
        if (std::u32string_view(s).substr(b, open.size()) != open ||
            std::u32string_view(s).substr(e - close.size(), close.size()) != close)
            return false;
        begin = b + open.size();
        end = e - close.size();
        return true;
    };
    if (pair(U"$$", U"$$") || pair(U"\\[", U"\\]") || pair(U"\\(", U"\\)"))
        return;
    pair(U"$", U"$");
}

} // namespace

ParseResult parseFormula(std::string_view line) {
    ParseResult r;
    const Decoded d = decodeUtf8(line);
    if (d.text.size() > static_cast<std::size_t>(MaxFormulaCharacters)) {
        r.message = "formula too long: " + std::to_string(d.text.size()) + " characters, at most " +
                    std::to_string(MaxFormulaCharacters);
        r.position = MaxFormulaCharacters + 1;
        return r;
    }
    if (d.badPosition > 0) {
        std::string byte;
        appendShown(byte, d.text[static_cast<std::size_t>(d.badPosition - 1)]);
        r.message = "invalid UTF-8 (byte " + byte + ")" + at(d.badPosition);
        r.position = d.badPosition;
        return r;
    }
    std::size_t begin = 0, end = d.text.size();
    stripMathDelimiters(d.text, begin, end);
    Parser p(d.text, begin, end);
    Row row = p.parseAll();
    if (p.failed()) {
        r.message = p.failure().message;
        r.position = p.failure().position;
        return r;
    }
    r.ok = true;
    r.row = std::move(row);
    return r;
}

std::string describe(const Row& row) {
    std::string out;
    describeRow(row, out);
    return out;
}

std::string_view symbolName(char32_t ch) {
    const NamedSymbol* s = findByCharacter(ch);
    return s ? s->name : std::string_view();
}

std::string quoteAround(std::string_view line, int position) {
    const std::u32string text = decodeUtf8(line).text;
    const long n = static_cast<long>(text.size());
    const long max = MaxQuotedCharacters;
    long from = std::clamp<long>(position - 1 - max / 2, 0, std::max<long>(0, n - max));
    const long to = std::min(n, from + max);
    std::string out;
    if (from > 0)
        out += "...";
    for (long i = from; i < to; ++i)
        appendShown(out, text[static_cast<std::size_t>(i)]);
    if (to < n)
        out += "...";
    return out;
}

} // namespace quill::formula
