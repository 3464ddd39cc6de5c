#include "edit/keycodes.h"

namespace quill {

namespace {

bool isPrintableCode(int c) {
    return (c >= 32 && c <= 126) || c == PoundSign || c == NotSign;
}

} // namespace

std::int16_t virtualKeyCode(int qtKey) {
    // Qt's codes for letters, digits and space are their ASCII codes, which
    // the virtual key codes share.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<std::int16_t>(qtKey);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<std::int16_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return static_cast<std::int16_t>(vk::F1 + (qtKey - Qt::Key_F1));

    switch (qtKey) {
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_Backspace:
        return vk::Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Return;
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Shift:
        return vk::Shift;
    case Qt::Key_Control:
        return vk::Control;
    case Qt::Key_Alt:
        return vk::Alt;
    case Qt::Key_PageUp:
        return vk::PageUp;
    case Qt::Key_PageDown:
        return vk::PageDown;
    case Qt::Key_End:
        return vk::End;
    case Qt::Key_Home:
        return vk::Home;
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Insert:
        return vk::Insert;
    case Qt::Key_Delete:
        return vk::Delete;
    default:
        return 0;
    }
}

std::int16_t shiftMask(Qt::KeyboardModifiers mods) {
    std::int16_t mask = 0;
    if (mods.testFlag(Qt::ShiftModifier))
        mask |= 1;
    if (mods.testFlag(Qt::ControlModifier))
        mask |= 2;
    if (mods.testFlag(Qt::AltModifier))
        mask |= 4;
    return mask;
}

std::optional<std::int16_t> keyAsciiFor(int qtKey, const QString& text,
                                        Qt::KeyboardModifiers mods) {
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return std::nullopt;

    // Backspace, Tab, Enter and Escape deliver the characters 8, 9, 13 and
    // 27, which are also their key codes.
    const std::int16_t code = virtualKeyCode(qtKey);
    if (code == vk::Backspace || code == vk::Tab || code == vk::Return || code == vk::Escape)
        return code;

    if (text.size() != 1)
        return std::nullopt;
    const int c = text.at(0).unicode();
    if (!isPrintableCode(c))
        return std::nullopt;
    return static_cast<std::int16_t>(c);
}

bool acceptsTypedCode(std::int16_t k) {
    return isPrintableCode(k) || k == vk::Backspace || k == vk::Return;
}

} // namespace quill
