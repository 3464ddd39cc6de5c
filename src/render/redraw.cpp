// The canvas repaint: every change ends here. The canvas is cleared and
// painted again from the tables in a fixed order of layers.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "render/layers.h"

namespace quill {

void MainPanel::Redraw() {
    ++redrawCount;
    canvas.beginFrame(); // clears; paints only what changed when it ends
    for (;;) {
        if (chkGrid->value() == 1) // a greyed box draws no grid
            DrawGrid();
        canvas.setForeColor(BgrBlack);
        // Applying a font that is not a symbol font switches "Show Keyboard"
        // off, and its handler repaints everything before this repaint goes
        // on. That repaint has left the canvas's font and pen as its last
        // text item and line set them, and its drawing in this frame: start
        // the frame again, so that the picture is the one a single repaint
        // of the final state gives. The switch is off now; it happens once.
        const std::uint64_t redrawsBefore = redrawCount;
        SetFont();
        if (redrawCount == redrawsBefore)
            break;
        canvas.cls(); // within the frame: forgets what it recorded
    }
    canvas.setCurrentPos(30, 100);
    canvas.print(textString);
    DrawItems();
    if (chkMarkers->value() != 0) // a greyed box still draws markers
        DrawMarkers();
    if (selection) // its marks show with the markers off too, but never in image mode
        selection->draw();
    if ((mathSymbolsFont & static_cast<std::int16_t>(chkShowKB->value())) != 0) {
        Picture3->setVisible(true);
        DrawKeyboard();
    } else {
        Picture3->setVisible(false);
    }
    canvas.endFrame();
    canvas.refresh();
    updateEditMenu();
}

void MainPanel::DrawGrid() {
    quill::DrawGrid(canvas, screen.pixels());
}

void MainPanel::DrawItems() {
    quill::DrawItems(canvas, expression);
}

void MainPanel::DrawMarkers() {
    quill::DrawMarkers(canvas, expression, MarkerDC);
}

void MainPanel::chkGrid_Click() {
    Picture4->setFocus();
    Redraw();
}

void MainPanel::chkMarkers_Click() {
    Picture4->setFocus();
    Redraw();
}

} // namespace quill
