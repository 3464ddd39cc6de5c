// The symbol keyboard panel: placing and painting it, and its check box.

#include "app/mainpanel.h"
#include "app/platform/platform.h"
#include "app/widgets.h"

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

void MainPanel::Picture3_MouseDown(int, int, double, double) {
    // Typing from the keyboard picture comes with the keyboard pictures.
    Picture4->setFocus();
}

} // namespace quill
