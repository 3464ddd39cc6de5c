#pragma once
// How an atom of a formula sits between its neighbours (TeX's atom classes).

#include <cstdint>

namespace quill::formula {

enum class SymbolClass : std::uint8_t {
    Ordinary,      // letters, digits, signs standing alone
    Binary,        // + - \pm ...: a medium space each side unless unary
    Relation,      // = < \le \to ...: a thick space each side
    LargeOperator, // \sum \prod, and named functions (\sin, \lim): an
                   // operator atom; symbols of this class are drawn larger
                   // in display style, limits above and below there
    Integral,      // \int: an operator atom drawn larger, limits beside it
    Open,          // ( [ \langle
    Close,         // ) ] \rangle !
    Punctuation,   // ,: a thin space after it
    Inner,         // \cdots, \ldots, a \left...\right group: thin spaces
};

} // namespace quill::formula
