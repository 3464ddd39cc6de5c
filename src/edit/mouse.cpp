// Picking, dragging and deleting items on the canvas by their handles.

#include "app/mainpanel.h"
#include "edit/hotspot.h"

namespace quill {

std::int16_t MainPanel::FindHotspot(std::int16_t x, std::int16_t y) {
    return findHotspot(expression, x, y, hitRow, hitHandle);
}

void MainPanel::Form_MouseDown(int, int, double x, double y) {
    // A second button pressed during a drag ends the first drag's action.
    if (rowAtPress && handleRowValues(expression, hitKind, hitRow) != rowAtPress)
        expressionChanged();
    canvasButtonDown = VbTrue;
    Xloc = pointerToPixel(x);
    Yloc = pointerToPixel(y);
    hitKind = FindHotspot(Xloc, Yloc);
    rowAtPress = handleRowValues(expression, hitKind, hitRow);
    if (DelObject != VbFalse && hitKind >= 1 && hitKind <= 3)
        deleteHit(expression, hitKind, hitRow); // shown at the next move or release
}

void MainPanel::Form_MouseMove(int, int, double x, double y) {
    if (canvasButtonDown == VbFalse) {
        Redraw();
        return;
    }
    Xloc = pointerToPixel(x);
    Yloc = pointerToPixel(y);
    if (hitKind != 0)
        moveHandle(expression, hitKind, hitRow, hitHandle, Xloc, Yloc);
    Redraw();
}

void MainPanel::Form_MouseUp(int, int, double, double) {
    canvasButtonDown = VbFalse;
    DelObject = VbFalse;
    // A press, a drag and this release are one action: it changed the
    // expression when it deleted or moved the grabbed row.
    const bool changed = rowAtPress && handleRowValues(expression, hitKind, hitRow) != rowAtPress;
    rowAtPress.reset();
    Redraw();
    if (changed)
        expressionChanged();
}

} // namespace quill
