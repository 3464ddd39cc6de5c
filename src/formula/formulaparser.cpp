#include "formula/formulaparser.h"

#include "formula/formulasymbols.h"

#include <algorithm>

namespace quill::formula {

namespace {

// Named symbols sorted by name (the generator sorts them); checked once
// here so a wrong order cannot make a look-up miss.
constexpr bool namesSorted() {
    for (std::size_t i = 1; i < NamedSymbols.size(); ++i)
        if (!(NamedSymbols[i - 1].name < NamedSymbols[i].name))
            return false;
    return true;
}
static_assert(namesSorted(), "the generated symbol table must be sorted by name");

const NamedSymbol* findNamed(std::string_view name) {
    const auto it =
        std::lower_bound(NamedSymbols.begin(), NamedSymbols.end(), name,
                         [](const NamedSymbol& s, std::string_view n) { return s.name < n; });
    return it != NamedSymbols.end() && it->name == name ? &*it : nullptr;
}

// The signs the variable face draws, with their class.
bool variableSign(char32_t c, SymbolClass& cls) {
    switch (c) {
    case '+':
    case '-':
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
        cls = SymbolClass::Close;
        return true;
    case ',':
        cls = SymbolClass::Punctuation;
        return true;
    case '.':
    case '/':
    case '|':
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

// Decodes UTF-8 loosely: a byte that starts no valid sequence stands for
// itself as U+FFFD, so every input has positions to report.
std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
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
        // Overlong forms and values past Unicode are not characters.
        constexpr char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (good && (c < least[extra] || c > 0x10FFFF))
            good = false;
        if (!good) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string encodeUtf8(char32_t c) {
    std::string s;
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
    return s;
}

struct Failure {
    std::string message;
    int position;
};

class Parser {
public:
    explicit Parser(std::u32string text) : m_s(std::move(text)) {}

    Row parseAll() {
        Row row = parseRow(0, nullptr);
        if (!m_failed && m_i < m_s.size())
            fail("unexpected } at " + std::to_string(pos()), pos());
        return row;
    }

    bool failed() const { return m_failed; }
    const Failure& failure() const { return m_failure; }

private:
    // The opener a row ends at: its name and position, for the message
    // when the closing brace never comes.
    struct Opener {
        std::string what;
        int position;
    };

    int pos() const { return static_cast<int>(m_i) + 1; }
    int posOf(std::size_t i) const { return static_cast<int>(i) + 1; }
    bool atEnd() const { return m_i >= m_s.size(); }
    char32_t peek() const { return m_s[m_i]; }

    void fail(std::string message, int position) {
        if (m_failed)
            return;
        m_failed = true;
        m_failure = Failure{std::move(message), position};
    }

    void skipSpaces() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t'))
            ++m_i;
    }

    // Reads a row up to a closing brace (consumed) when `opener` is given,
    // or to the end of the line.
    Row parseRow(int depth, const Opener* opener) {
        Row row;
        if (depth > MaxFormulaDepth) {
            fail("formula nested too deeply at " + std::to_string(pos()), pos());
            return row;
        }
        while (!m_failed) {
            skipSpaces();
            if (atEnd()) {
                if (opener)
                    fail("missing } for the " + opener->what + " opened at " +
                             std::to_string(opener->position),
                         opener->position);
                return row;
            }
            const char32_t c = peek();
            if (c == '}') {
                if (opener) {
                    ++m_i;
                    return row;
                }
                fail("unexpected } at " + std::to_string(pos()), pos());
                return row;
            }
            if (c == '^' || c == '_') {
                attachScript(row, c == '^', depth);
                continue;
            }
            Node n;
            if (!parseAtom(n, depth))
                return row;
            row.push_back(std::move(n));
        }
        return row;
    }

    // One script after the last node of `row` (or on an empty base).
    void attachScript(Row& row, bool sup, int depth) {
        const int at = pos();
        ++m_i; // the ^ or _
        if (row.empty() || row.back().kind != Node::Kind::Scripts) {
            Node s;
            s.kind = Node::Kind::Scripts;
            s.parts.resize(3);
            if (!row.empty() && row.back().kind != Node::Kind::Space) {
                s.position = row.back().position;
                s.parts[0].push_back(std::move(row.back()));
                row.pop_back();
            } else {
                s.position = at;
            }
            row.push_back(std::move(s));
        }
        Node* scripts = &row.back();
        if (sup ? scripts->hasSup : scripts->hasSub) {
            fail(std::string(sup ? "double superscript" : "double subscript") + " at " +
                     std::to_string(at),
                 at);
            return;
        }
        skipSpaces();
        if (atEnd() || peek() == '}' || peek() == '^' || peek() == '_') {
            fail(std::string("missing ") + (sup ? "superscript after ^" : "subscript after _") +
                     " at " + std::to_string(at),
                 at);
            return;
        }
        Row arg = parseArgument(depth + 1, sup ? "^" : "_");
        if (m_failed)
            return;
        // parseArgument may have grown the row's storage: find the node again.
        scripts = &row.back();
        (sup ? scripts->hasSup : scripts->hasSub) = true;
        scripts->parts[sup ? 1 : 2] = std::move(arg);
    }

    // An argument: a braced row, or one atom standing alone.
    Row parseArgument(int depth, const std::string& of) {
        Row arg;
        skipSpaces();
        if (atEnd() || peek() == '}') {
            fail("missing argument for " + of + " at " + std::to_string(pos()), pos());
            return arg;
        }
        if (depth > MaxFormulaDepth) {
            fail("formula nested too deeply at " + std::to_string(pos()), pos());
            return arg;
        }
        if (peek() == '{') {
            // A command's argument reports the command, a script's the brace.
            const Opener o = of[0] == '\\' ? Opener{of, m_argOpener} : Opener{"{", pos()};
            ++m_i;
            return parseRow(depth + 1, &o);
        }
        if (peek() == '^' || peek() == '_') {
            fail("missing argument for " + of + " at " + std::to_string(pos()), pos());
            return arg;
        }
        Node n;
        if (parseAtom(n, depth + 1))
            arg.push_back(std::move(n));
        return arg;
    }

    bool parseAtom(Node& n, int depth) {
        const char32_t c = peek();
        n.position = pos();
        if (c == '{') {
            const Opener o{"{", pos()};
            ++m_i;
            n.kind = Node::Kind::Group;
            n.parts.push_back(parseRow(depth + 1, &o));
            return !m_failed;
        }
        if (c == '\\')
            return parseCommand(n, depth);
        if (isLetter(c) || isDigit(c)) {
            n.kind = Node::Kind::Symbol;
            n.ch = c;
            ++m_i;
            return true;
        }
        SymbolClass cls{};
        if (variableSign(c, cls)) {
            n.kind = Node::Kind::Symbol;
            n.cls = cls;
            n.ch = c;
            ++m_i;
            return true;
        }
        fail("character " + quoted(c) + " is not part of the formula language at " +
                 std::to_string(pos()),
             pos());
        return false;
    }

    static std::string quoted(char32_t c) {
        if (c < 0x20 || c == 0x7F)
            return "code " + std::to_string(static_cast<unsigned>(c));
        return "\"" + encodeUtf8(c) + "\"";
    }

    bool parseCommand(Node& n, int depth) {
        const int at = pos();
        ++m_i; // the backslash
        std::string name;
        while (!atEnd() && isLetter(peek()) && name.size() < 64)
            name += static_cast<char>(peek()), ++m_i;
        if (name.empty()) {
            if (!atEnd() && (peek() == ',' || peek() == ';')) {
                n.kind = Node::Kind::Space;
                n.space = peek() == ',' ? 3 : 5;
                ++m_i;
                return true;
            }
            if (atEnd()) {
                fail("a lone \\ at " + std::to_string(at), at);
                return false;
            }
            fail("unknown command \\" + encodeUtf8(peek()) + " at " + std::to_string(at), at);
            return false;
        }
        if (name == "quad" || name == "qquad") {
            n.kind = Node::Kind::Space;
            n.space = name == "quad" ? 18 : 36;
            return true;
        }
        if (name == "frac") {
            n.kind = Node::Kind::Fraction;
            m_argOpener = at;
            n.parts.push_back(parseArgument(depth + 1, "\\frac"));
            if (m_failed)
                return false;
            m_argOpener = at;
            n.parts.push_back(parseArgument(depth + 1, "\\frac"));
            return !m_failed;
        }
        if (name == "sqrt") {
            n.kind = Node::Kind::Root;
            m_argOpener = at;
            n.parts.push_back(parseArgument(depth + 1, "\\sqrt"));
            return !m_failed;
        }
        if (name == "text")
            return parseText(n, at);
        if (name == "mathbb") {
            skipSpaces();
            const bool braced = !atEnd() && peek() == '{';
            const std::size_t letterAt = m_i + (braced ? 1 : 0);
            const bool ok = letterAt < m_s.size() && isLetter(m_s[letterAt]) &&
                            std::string_view("CNRZ").find(static_cast<char>(m_s[letterAt])) !=
                                std::string_view::npos &&
                            (!braced || (letterAt + 1 < m_s.size() && m_s[letterAt + 1] == '}'));
            if (!ok) {
                fail("\\mathbb takes one of the letters C, N, R, Z at " + std::to_string(at), at);
                return false;
            }
            n.kind = Node::Kind::Symbol;
            n.font = FontStyle::Blackboard;
            n.ch = m_s[letterAt];
            m_i = letterAt + (braced ? 2 : 1);
            return true;
        }
        if (const NamedSymbol* s = findNamed(name)) {
            symbolNode(n, *s);
            return true;
        }
        fail("unknown command \\" + name + " at " + std::to_string(at), at);
        return false;
    }

    static void symbolNode(Node& n, const NamedSymbol& s) {
        n.kind = Node::Kind::Symbol;
        n.ch = s.ch;
        n.cls = s.cls;
    }

    // \text{...}: the characters a user can type, drawn as they are.
    bool parseText(Node& n, int at) {
        skipSpaces();
        if (atEnd() || peek() != '{') {
            fail("missing { after \\text at " + std::to_string(at), at);
            return false;
        }
        ++m_i;
        n.kind = Node::Kind::Text;
        while (!atEnd() && peek() != '}') {
            const char32_t c = peek();
            const bool typeable = (c >= 32 && c <= 126) || c == 163 || c == 172;
            if (!typeable || c == '{' || c == '\\') {
                fail("character " + quoted(c) + " cannot be set in \\text at " +
                         std::to_string(pos()),
                     pos());
                return false;
            }
            n.text += static_cast<char>(static_cast<unsigned char>(c));
            ++m_i;
        }
        if (atEnd()) {
            fail("missing } for the \\text opened at " + std::to_string(at), at);
            return false;
        }
        ++m_i;
        return true;
    }

    std::u32string m_s;
    std::size_t m_i = 0;
    bool m_failed = false;
    Failure m_failure;
    int m_argOpener = 0; // where the command whose argument is read began
};

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

void describeNode(const Node& n, std::string& out) {
    switch (n.kind) {
    case Node::Kind::Symbol:
        if (n.font == FontStyle::Blackboard) {
            out += "\\mathbb{";
            out += static_cast<char>(n.ch);
            out += '}';
        } else if (n.ch < 0x80) {
            out += static_cast<char>(n.ch);
        } else {
            out += '\\';
            out += symbolName(n.ch);
        }
        break;
    case Node::Kind::Text:
        out += "text(\"" + n.text + "\")";
        break;
    case Node::Kind::Space:
        out += "space(" + std::to_string(n.space) + ")";
        break;
    case Node::Kind::Group:
        out += '{';
        describeRow(n.parts[0], out);
        out += '}';
        break;
    case Node::Kind::Fraction:
        out += "frac(";
        describeRow(n.parts[0], out);
        out += ',';
        describeRow(n.parts[1], out);
        out += ')';
        break;
    case Node::Kind::Root:
        out += "sqrt(";
        describeRow(n.parts[0], out);
        out += ')';
        break;
    case Node::Kind::Scripts:
        describePart(n.parts[0], out);
        if (n.hasSub) {
            out += '_';
            describePart(n.parts[2], out);
        }
        if (n.hasSup) {
            out += '^';
            describePart(n.parts[1], out);
        }
        break;
    default:
        out += '?';
        break;
    }
}

void describeRow(const Row& row, std::string& out) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out += ' ';
        describeNode(row[i], out);
    }
}

} // namespace

ParseResult parseFormula(std::string_view line) {
    ParseResult r;
    std::u32string text = decodeUtf8(line);
    if (text.size() > static_cast<std::size_t>(MaxFormulaCharacters)) {
        r.message = "formula too long: " + std::to_string(text.size()) + " characters, at most " +
                    std::to_string(MaxFormulaCharacters);
        r.position = MaxFormulaCharacters + 1;
        return r;
    }
    Parser p(std::move(text));
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
    // The shortest of a symbol's names: \to rather than \rightarrow.
    std::string_view best;
    for (const NamedSymbol& s : NamedSymbols)
        if (s.ch == ch && (best.empty() || s.name.size() < best.size()))
            best = s.name;
    return best;
}

} // namespace quill::formula
