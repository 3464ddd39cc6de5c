// Typing a line into the typing box, the blinking caret, and committing the
// line as a new text item.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "edit/keycodes.h"
#include "edit/tables.h"

namespace quill {

namespace {
// The characters Backspace, Tab and Enter deliver share their keys' codes.
constexpr std::int16_t KeyBackspace = vk::Backspace;
constexpr std::int16_t KeyTab = vk::Tab;
constexpr std::int16_t KeyEnter = vk::Return;
constexpr int KeyboardStep = 50;
// Arrows nudge the selection by a pixel, with Shift by ten.
constexpr int NudgeStep = 1;
constexpr int ShiftNudgeStep = 10;
constexpr std::int16_t ShiftMask = 1;
} // namespace

void MainPanel::Picture4_KeyPress(std::int16_t keyAscii) {
    if (keyAscii == KeyTab)
        return;
    if (chkText->value() != 1 || !acceptsTypedCode(keyAscii))
        return;
    if (keyAscii == KeyBackspace) {
        if (!textString.empty())
            textString.pop_back();
    } else if (keyAscii != KeyEnter) {
        textString.push_back(static_cast<char>(static_cast<unsigned char>(keyAscii)));
    }
    SetFont();
    Redraw();
    if (keyAscii != KeyEnter)
        return;

    // Commit the line (an empty one too) as a new text item.
    SetFont();
    Theight = roundHalfEven16(canvas.textHeight(textString));
    const std::int16_t size = roundHalfEven16(canvas.fontSize());
    expression.AddTextItem(canvas.fontName(), toVb(canvas.fontBold()), toVb(canvas.fontItalic()),
                           size, textString, TypedLineX, TypedLineY, TypedLineX - 5,
                           add16(Theight, 95), Theight);
    textString.clear();
    chkText->setValue(0);
    canvas.cls();
    Redraw();
    DrawItems();
    chkMarkers->setValue(1);
    DrawMarkers();
    selection->draw(); // the selected handles stay marked over the markers
    canvas.refresh();
    expressionChanged();
}

void MainPanel::Picture4_KeyDown(std::int16_t keyCode, std::int16_t shift) {
    // With a selection the arrows move it; without, the keyboard's picture.
    const int nudge = (shift & ShiftMask) != 0 ? ShiftNudgeStep : NudgeStep;
    switch (keyCode) {
    case vk::Left:
        if (selection->nudge(-nudge, 0))
            return;
        break;
    case vk::Right:
        if (selection->nudge(nudge, 0))
            return;
        break;
    case vk::Up:
        if (selection->nudge(0, -nudge))
            return;
        break;
    case vk::Down:
        if (selection->nudge(0, nudge))
            return;
        break;
    default:
        break;
    }
    switch (keyCode) {
    case vk::Delete:
        DelObject = VbTrue;
        break;
    case vk::Left:
        keyboardOffsetX = add16(keyboardOffsetX, -KeyboardStep);
        Redraw();
        break;
    case vk::Right:
        keyboardOffsetX = add16(keyboardOffsetX, KeyboardStep);
        Redraw();
        break;
    case vk::Up:
        keyboardOffsetY = add16(keyboardOffsetY, -KeyboardStep);
        Redraw();
        break;
    case vk::Down:
        keyboardOffsetY = add16(keyboardOffsetY, KeyboardStep);
        Redraw();
        break;
    default:
        break;
    }
}

void MainPanel::Picture4_KeyUp(std::int16_t keyCode, std::int16_t) {
    if (keyCode == vk::Delete) // released without a click: the selection goes
        selection->deleteKeyReleased();
    DelObject = VbFalse;
}

void MainPanel::Form_KeyDown(std::int16_t keyCode, std::int16_t) {
    if (keyCode == vk::Delete)
        DelObject = VbTrue;
}

void MainPanel::Timer2_Timer() {
    timerState = timerState != VbFalse ? VbFalse : VbTrue;
    if (chkText->value() == 1)
        DrawCaret();
}

void MainPanel::DrawCaret() {
    SetFont();
    const double w = canvas.textWidth(textString);
    const double h = canvas.textHeight(textString);
    canvas.setCurrentPos(w + 20, h + 100);
    const BgrColour colour = timerState != VbFalse ? 0xFFC0C0 : 0xFFFFFF;
    const double s = canvas.fontSize();
    canvas.fillBox(w + 20, h + 100, w + 20 + s / 2, h + 100 - s / 12, colour);
    canvas.refresh();
    if (refocusTypingBox != VbFalse) {
        Picture4->setFocus();
        refocusTypingBox = VbFalse;
    }
}

void MainPanel::chkText_Click() {
    if (chkText->value() == 0) {
        textString.clear();
        Redraw();
    }
    Picture4->setFocus();
}

} // namespace quill
