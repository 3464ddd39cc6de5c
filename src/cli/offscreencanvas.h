#pragma once
// The exporter's canvas is ExpressionCanvas (export/expressioncanvas.h),
// shared with the editor's Copy; this header keeps the names that code of
// the command line's library used for the program's fonts.

#include "export/expressioncanvas.h"

namespace quill::cli {

using quill::registerProgramFonts;

} // namespace quill::cli
