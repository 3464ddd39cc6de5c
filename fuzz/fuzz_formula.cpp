// libFuzzer target for the formula reader. Any line must either be refused
// with a message and a position inside it, or give a tree whose every node
// lies inside the line, whose parts agree with each node's kind and whose
// depth stays within the reader's bound. What a message quotes of the line
// is never longer than its bound and holds no control character.

#include "formula/formulaparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_formula: %s\n", what);
    std::abort();
}

std::size_t characters(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

void check(const quill::formula::Row& row, int depth, std::size_t length) {
    using quill::formula::Node;
    using Kind = Node::Kind;
    if (depth > 2 * quill::formula::MaxFormulaDepth + 4)
        fail("tree deeper than the reader allows");
    for (const Node& n : row) {
        if (n.position < 1 || static_cast<std::size_t>(n.position) > length)
            fail("node outside the line");
        std::size_t parts = 0;
        switch (n.kind) {
        case Kind::Group:
        case Kind::Accent:
            parts = 1;
            break;
        case Kind::Fraction:
            parts = 2;
            break;
        case Kind::Root:
            parts = n.hasIndex ? 2 : 1;
            break;
        case Kind::Scripts:
            parts = 3;
            if (n.parts[0].size() > 1 || !(n.hasSup || n.hasSub))
                fail("scripts without a script or with a base of several nodes");
            break;
        case Kind::Delimited:
            if (n.delims.size() < 2)
                fail("delimiters without a left and a right");
            parts = n.delims.size() - 1;
            break;
        case Kind::Array:
            if (n.columns < 1 || n.align.size() != static_cast<std::size_t>(n.columns) ||
                n.hlines.size() != static_cast<std::size_t>(n.rows()) + 1 ||
                n.parts.size() % static_cast<std::size_t>(n.columns) != 0 || n.rows() < 1 ||
                n.parts.size() > static_cast<std::size_t>(quill::formula::MaxArrayCells))
                fail("an array's cells, columns, alignment and lines disagree");
            parts = n.parts.size();
            break;
        case Kind::OverUnder:
            parts = n.parts.size() == 2 ? 2 : 1;
            break;
        case Kind::Operator:
            if (n.text.empty())
                fail("a named function without a name");
            break;
        default:
            break;
        }
        if (n.parts.size() != parts)
            fail("wrong number of parts");
        for (const quill::formula::Row& p : n.parts)
            check(p, depth + 1, length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const quill::formula::ParseResult r = quill::formula::parseFormula(line);
    const std::size_t length = characters(line);
    if (!r.ok) {
        if (r.message.empty())
            fail("a refused line came without a reason");
        if (r.position < 1 || static_cast<std::size_t>(r.position) > length + 1)
            fail("error position outside the line");
        for (const std::string& shown : {r.message, quill::formula::quoteAround(line, r.position)})
            for (const char c : shown)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    fail("a message shows a control character");
        // Each character quoted is shown in at most six bytes (\u202e).
        if (characters(quill::formula::quoteAround(line, r.position)) >
            6 * quill::formula::MaxQuotedCharacters + 6)
            fail("a message quotes too much of the line");
        return 0;
    }
    check(r.row, 0, length);
    const std::string tree = quill::formula::describe(r.row);
    if (quill::formula::describe(quill::formula::parseFormula(line).row) != tree)
        fail("reading the same line twice gave two trees");
    return 0;
}
