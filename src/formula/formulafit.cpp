#include "formula/formulafit.h"

namespace quill::formula {

std::string formulaFitProblem(QSize size, QPoint at, QSize canvas, int points) {
    const int wider = at.x() + size.width() - canvas.width();
    const int taller = at.y() + size.height() - canvas.height();
    if (wider <= 0 && taller <= 0)
        return {};
    std::string by;
    if (wider > 0)
        by = std::to_string(wider) + " pixels too wide";
    if (taller > 0)
        by += (by.empty() ? "" : " and ") + std::to_string(taller) + " pixels too tall";
    return "At " + std::to_string(points) + " points the formula is " +
           std::to_string(size.width()) + " x " + std::to_string(size.height()) + " pixels, " + by +
           " for the " + std::to_string(canvas.width()) + " x " + std::to_string(canvas.height()) +
           " canvas: choose a smaller size.";
}

} // namespace quill::formula
