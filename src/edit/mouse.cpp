// Picking, dragging and deleting items on the canvas by their handles. The
// selection is asked first: a press with Shift or Ctrl, a press on empty
// canvas and a press on a selected item's carrying handle are its own.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "edit/hotspot.h"

namespace quill {

std::int16_t MainPanel::FindHotspot(std::int16_t x, std::int16_t y) {
    return findHotspot(expression, x, y, hitRow, hitHandle);
}

void MainPanel::Form_MouseDown(int, int shift, double x, double y) {
    // A second button pressed during a drag ends the first drag's action.
    if ((rowAtPress && handleRowValues(expression, hitKind, hitRow) != rowAtPress) ||
        selection->release())
        expressionChanged();
    canvasButtonDown = VbTrue;
    Xloc = pointerToPixel(x);
    Yloc = pointerToPixel(y);
    hitKind = FindHotspot(Xloc, Yloc);
    rowAtPress = handleRowValues(expression, hitKind, hitRow);
    const bool deleted =
        DelObject != VbFalse && hitKind >= 1 && hitKind <= 3 &&
        deleteHit(expression, hitKind, hitRow); // shown at the next move or release
    if (selection->press(shift, deleted))
        rowAtPress.reset(); // the selection's press: no handle of its own moves
}

void MainPanel::Form_MouseMove(int, int, double x, double y) {
    if (canvasButtonDown == VbFalse) {
        Redraw();
        return;
    }
    Xloc = pointerToPixel(x);
    Yloc = pointerToPixel(y);
    if (!selection->drag(Xloc, Yloc) && hitKind != 0)
        moveHandle(expression, hitKind, hitRow, hitHandle, Xloc, Yloc);
    Redraw();
}

void MainPanel::Form_MouseUp(int, int, double, double) {
    canvasButtonDown = VbFalse;
    DelObject = VbFalse;
    // A press, a drag and this release are one action: it changed the
    // expression when it deleted or moved the grabbed row, or moved the
    // selection.
    const bool changed =
        (rowAtPress && handleRowValues(expression, hitKind, hitRow) != rowAtPress) |
        selection->release();
    rowAtPress.reset();
    Redraw();
    if (changed)
        expressionChanged();
}

} // namespace quill
