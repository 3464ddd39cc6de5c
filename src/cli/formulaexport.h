#pragma once
// --formula: formula lines typeset into an expression, as Insert Formula
// places it on a fresh canvas, and exported as pictures or written as an
// expression file.

#include "cli/exportcommand.h"

#include <QString>
#include <deque>

namespace quill::cli {

// How the Nth formula (from 1) is named in messages: formula N ("TEXT"),
// TEXT being at most 60 characters of the line around `position` (1-based
// characters), anything a terminal would act on shown escaped.
QString formulaName(int n, const QByteArray& line, int position = 1);

// Where the Nth of `count` formulas goes: -o OUT itself for one formula,
// OUT-N.EXT for several; without -o, formula-N.EXT in --out-dir or here.
QString formulaOutputPath(const ExportOptions& options, int n, int count, int factor);

// True when -o names an expression file: the typeset expression is
// written instead of a picture.
bool writesExpressionFile(const ExportOptions& options);

// Starts the export of every formula in turn, appending one pending result
// each to `pending`; a formula that cannot be typeset, or whose picture
// would be larger than MaxCanvasSide a side or MaxAreaPixels in all, is a
// failed input. The canvas grows to hold each formula whole.
void startFormulaExports(Exporter& exporter, const ExportOptions& options,
                         std::deque<PendingExport>& pending, const std::function<void()>& settle);

} // namespace quill::cli
