// libFuzzer target for the formula reader. Any line must either be refused
// with a message and a position inside it, or give a tree whose every node
// lies inside the line and whose depth stays within the reader's bound.

#include "formula/formulaparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    using Kind = quill::formula::Node::Kind;
    if (depth > 2 * quill::formula::MaxFormulaDepth + 4)
        fail("tree deeper than the reader allows");
    for (const quill::formula::Node& n : row) {
        if (n.position < 1 || static_cast<std::size_t>(n.position) > length)
            fail("node outside the line");
        const std::size_t parts = n.kind == Kind::Group || n.kind == Kind::Root ? 1
                                  : n.kind == Kind::Fraction                    ? 2
                                  : n.kind == Kind::Scripts                     ? 3
                                                                                : 0;
        if (n.parts.size() != parts)
            fail("wrong number of parts");
        if (n.kind == Kind::Scripts && (n.parts[0].size() > 1 || !(n.hasSup || n.hasSub)))
            fail("scripts without a script or with a base of several nodes");
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
        return 0;
    }
    check(r.row, 0, length);
    const std::string tree = quill::formula::describe(r.row);
    if (quill::formula::describe(quill::formula::parseFormula(line).row) != tree)
        fail("reading the same line twice gave two trees");
    return 0;
}
