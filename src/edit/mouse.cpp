// Picking, dragging and deleting items on the canvas by their handles.

#include "app/mainpanel.h"
#include "edit/hotspot.h"

namespace quill {

std::int16_t MainPanel::FindHotspot(std::int16_t x, std::int16_t y) {
    return findHotspot(expression, x, y, hitRow, hitHandle);
}

void MainPanel::Form_MouseDown(int, int, double x, double y) {
    canvasButtonDown = VbTrue;
    Xloc = pointerToPixel(x);
    Yloc = pointerToPixel(y);
    hitKind = FindHotspot(Xloc, Yloc);
    if (DelObject != VbFalse && hitKind >= 1 && hitKind <= 3) {
        deleteHit(expression, hitKind, hitRow); // shown at the next move or release
        expressionChanged();
    }
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
    if (hitKind != 0 && !(expression == history.current()))
        expressionChanged();
    DelObject = VbFalse;
    Redraw();
}

} // namespace quill
