#pragma once
// Pasting one expression into another: the live items of the pasted one are
// appended, each at the place and with the values it was saved with.

#include "model/expression.h"

namespace quill {

// Appends every live row of `from` to `to`, tables in file order and rows
// in index order. All or nothing: false, and `to` unchanged, when a table
// would grow past MaxTableRows. Returns true also when `from` has no live
// item (then nothing is added).
bool appendLiveItems(Expression& to, const Expression& from);

// Whether `expr` has a live item in any table.
bool hasLiveItem(const Expression& expr);

} // namespace quill
