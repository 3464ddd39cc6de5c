#pragma once
// Whether a typeset formula fits the canvas where Insert Formula puts it.

#include <QPoint>
#include <QSize>
#include <string>

namespace quill::formula {

// Nothing when a formula of `size` pixels (its items' bounds) with its
// top-left corner at `at` lies inside a canvas of `canvas` pixels; else
// what is wrong, how much too wide or tall it is at `points`:
// "At 100 points the formula is 2338 x 123 pixels, 448 pixels too wide for
// the 1920 x 1080 canvas: choose a smaller size."
std::string formulaFitProblem(QSize size, QPoint at, QSize canvas, int points);

} // namespace quill::formula
