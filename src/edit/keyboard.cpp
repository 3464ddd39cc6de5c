// The symbol keyboard panel: placing and painting it, its check box, and
// typing by clicking its keys.

#include "app/mainpanel.h"
#include "app/platform/platform.h"
#include "app/widgets.h"
#include "edit/keyboardtable.h"

namespace quill {

void MainPanel::DrawKeyboard() {
    const int left = frameGeometry().width() - 474 + keyboardOffsetX;
    const int top = 96 + keyboardOffsetY;
    Picture3->move(left, top);
    const QImage& source = keyboardShifted != VbFalse ? KeyboardShiftDC : KeyboardNormalDC;
    picture3Surface.blit(source, QRect(0, 0, 465, 140), QPoint(0, 0));
    picture3Surface.refresh();
    Picture3->setVisible(true);
}

void MainPanel::chkShowKB_Click() {
    if (mathSymbolsFont != VbFalse) {
        Redraw();
        Picture4->setFocus();
        if (chkShowKB->value() == 1) {
            Picture3->setVisible(true);
            DrawKeyboard();
        }
        return;
    }
    if (chkShowKB->value() == 1)
        m_platform.messageBox(this, {QStringLiteral("Applies to Math Symbols font only"),
                                     QStringLiteral("Keyboard"), MessageIcon::Exclamation});
    chkShowKB->setValue(0); // runs this handler again, silently
    Redraw();
    Picture3->setVisible(false);
}

// Every mouse button clicks; a key types its character only in text mode,
// the shift key switches the layout at any time.
void MainPanel::Picture3_MouseDown(int, int, double x, double y) {
    const KeyboardHit hit = keyboardKeyAt(roundHalfEven16(x), roundHalfEven16(y));
    if (hit.part == KeyboardPart::Shift) {
        keyboardShifted = keyboardShifted != VbFalse ? VbFalse : VbTrue;
        Redraw();
    } else if (hit.part == KeyboardPart::Key && chkText->value() == 1) {
        const int index = hit.index + (keyboardShifted != VbFalse ? KeyboardNormalKeys : 0);
        textString.push_back(static_cast<char>(keyboardChars[static_cast<std::size_t>(index)]));
        Redraw();
    }
    Picture4->setFocus();
}

} // namespace quill
