// The font and size choice: the two lists and applying them to the canvas.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "edit/tables.h"

#include <QComboBox>

namespace quill {

void MainPanel::SetFont() {
    const int sizeIndex = cboFsize->currentIndex();
    if (sizeIndex >= 0 && sizeIndex < static_cast<int>(FontSizeTable.size()))
        canvas.setFontSize(FontSizeTable[static_cast<std::size_t>(sizeIndex)]);
    const int fontIndex = cboFont->currentIndex();
    if (fontIndex >= 0 && fontIndex < static_cast<int>(FontTable.size())) {
        const FontChoice& f = FontTable[static_cast<std::size_t>(fontIndex)];
        canvas.setFontName(std::string(f.face));
        canvas.setFontBold(f.bold);
        canvas.setFontItalic(f.italic);
        mathSymbolsFont = toVb(f.mathSymbols);
    }
    if (mathSymbolsFont == VbFalse)
        chkShowKB->setValue(0); // runs its handler when it was checked
}

// Choosing from either list redraws in the new font, moves the focus off
// the list to the next control, and asks the next caret tick to give it
// back to the typing box.
void MainPanel::cboFont_Click() {
    Redraw();
    focusNextChild();
    refocusTypingBox = VbTrue;
}

void MainPanel::cboFsize_Click() {
    Redraw();
    focusNextChild();
    refocusTypingBox = VbTrue;
}

} // namespace quill
