#pragma once
// How a symbol of a formula sits between its neighbours.

#include <cstdint>

namespace quill::formula {

enum class SymbolClass : std::uint8_t {
    Ordinary,      // letters, digits, signs standing alone
    Binary,        // + - \pm ...: a medium space each side unless unary
    Relation,      // = < \le \to ...: a thick space each side
    LargeOperator, // \sum \prod: drawn larger, limits above and below
    Integral,      // \int: drawn larger, limits beside it as scripts
    Open,          // ( [
    Close,         // ) ] !
    Punctuation,   // ,: a thin space after it
};

} // namespace quill::formula
