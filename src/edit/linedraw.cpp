// New horizontal and vertical lines from the "Line" group.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "edit/tables.h"

#include <QComboBox>
#include <QRadioButton>

namespace quill {

namespace {
// Every new line starts here, 88 pixels long; the user drags it into place.
constexpr std::int16_t NewHLineY = 160, NewHLineX1 = 26, NewHLineX2 = 114;
constexpr std::int16_t NewVLineX = 60, NewVLineY1 = 106, NewVLineY2 = 194;
// The canvas pen width carries the chosen width and is left at this.
constexpr int PenWidthAfterLine = 3;
} // namespace

void MainPanel::cmdLine_Click() {
    if (optH->isChecked())
        NewHLine();
    else
        NewVLine();
    Picture4->setFocus();
    Redraw();
    expressionChanged();
}

static std::int16_t chosenLineWidth(QComboBox* list, Surface& canvas) {
    const int index = list->currentIndex();
    if (index >= 0 && index < static_cast<int>(LineWidthTable.size()))
        canvas.setDrawWidth(LineWidthTable[static_cast<std::size_t>(index)]);
    return static_cast<std::int16_t>(canvas.drawWidth());
}

void MainPanel::NewHLine() {
    expression.AddHLine(NewHLineY, NewHLineX1, NewHLineX2, chosenLineWidth(cboLine, canvas));
    canvas.setDrawWidth(PenWidthAfterLine);
}

void MainPanel::NewVLine() {
    expression.AddVLine(NewVLineX, NewVLineY1, NewVLineY2, chosenLineWidth(cboLine, canvas));
    canvas.setDrawWidth(PenWidthAfterLine);
}

} // namespace quill
