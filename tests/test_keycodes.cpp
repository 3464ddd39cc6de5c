#include "edit/keycodes.h"

#include <gtest/gtest.h>
#include <optional>

using namespace quill;

namespace {

QString ch(char16_t c) {
    return QString(QChar(c));
}

TEST(VirtualKeyCode, NamedKeys) {
    const struct {
        int key;
        int vk;
    } cases[] = {
        {Qt::Key_Delete, 46},  {Qt::Key_Left, 37},     {Qt::Key_Up, 38},       {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},    {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},       {Qt::Key_Backtab, 9},
        {Qt::Key_Return, 13},  {Qt::Key_Enter, 13},    {Qt::Key_Escape, 27},   {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17}, {Qt::Key_Alt, 18},      {Qt::Key_Space, 32},    {Qt::Key_Home, 36},
        {Qt::Key_End, 35},     {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34}, {Qt::Key_Insert, 45},
        {Qt::Key_F1, 112},     {Qt::Key_F12, 123},     {Qt::Key_F13, 0},       {Qt::Key_Eacute, 0},
        {Qt::Key_sterling, 0}, {Qt::Key_Period, 0},    {Qt::Key_Meta, 0},      {Qt::Key_unknown, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(virtualKeyCode(c.key), c.vk) << "Qt key 0x" << std::hex << c.key;
}

TEST(VirtualKeyCode, LetterDigitAndFunctionRanges) {
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(virtualKeyCode(Qt::Key_A + i), 65 + i);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(virtualKeyCode(Qt::Key_0 + i), 48 + i);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(virtualKeyCode(Qt::Key_F1 + i), 112 + i);
}

TEST(ShiftMask, Modifiers) {
    EXPECT_EQ(shiftMask(Qt::NoModifier), 0);
    EXPECT_EQ(shiftMask(Qt::ShiftModifier), 1);
    EXPECT_EQ(shiftMask(Qt::ControlModifier), 2);
    EXPECT_EQ(shiftMask(Qt::AltModifier), 4);
    EXPECT_EQ(shiftMask(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier), 7);
    EXPECT_EQ(shiftMask(Qt::ShiftModifier | Qt::KeypadModifier | Qt::MetaModifier), 1);
}

TEST(KeyAscii, KeyPresses) {
    const auto none = Qt::NoModifier;
    const auto shift = Qt::ShiftModifier;
    const std::optional<std::int16_t> no;
    const struct {
        const char* what;
        int key;
        QString text;
        Qt::KeyboardModifiers mods;
        std::optional<std::int16_t> code;
    } cases[] = {
        {"a", Qt::Key_A, QStringLiteral("a"), none, 97},
        {"Shift+a", Qt::Key_A, QStringLiteral("A"), shift, 65},
        {"digit", Qt::Key_7, QStringLiteral("7"), none, 55},
        {"keypad digit", Qt::Key_5, QStringLiteral("5"), Qt::KeypadModifier, 53},
        {"Shift+1", Qt::Key_Exclam, QStringLiteral("!"), shift, 33},
        {"space", Qt::Key_Space, QStringLiteral(" "), none, 32},
        {"tilde", Qt::Key_AsciiTilde, QStringLiteral("~"), shift, 126},
        {"pound (Shift+3 UK)", Qt::Key_sterling, ch(0xA3), shift, 163},
        {"not sign (Shift+` UK)", Qt::Key_notsign, ch(0xAC), shift, 172},
        {"e-acute", Qt::Key_Eacute, ch(0xE9), none, no},
        {"cent", 0xA2, ch(0xA2), none, no},
        {"no-break space", 0xA0, ch(0xA0), none, no},
        {"euro", 0x20AC, ch(0x20AC), none, no},
        {"emoji (two units)", Qt::Key_unknown, QString::fromUtf8("\xF0\x9F\x98\x80"), none, no},
        {"two characters", Qt::Key_unknown, QStringLiteral("ab"), none, no},
        {"Escape", Qt::Key_Escape, ch(0x1B), none, 27},
        {"Tab", Qt::Key_Tab, ch(0x09), none, 9},
        {"Shift+Tab", Qt::Key_Backtab, QString(), shift, 9},
        {"Backspace", Qt::Key_Backspace, ch(0x08), none, 8},
        {"Return", Qt::Key_Return, ch(0x0D), none, 13},
        {"keypad Enter", Qt::Key_Enter, ch(0x0D), Qt::KeypadModifier, 13},
        {"Ctrl+C as control char", Qt::Key_C, ch(0x03), Qt::ControlModifier, no},
        {"Ctrl+C as letter", Qt::Key_C, QStringLiteral("c"), Qt::ControlModifier, no},
        {"Alt+a", Qt::Key_A, QStringLiteral("a"), Qt::AltModifier, no},
        {"Ctrl+Backspace", Qt::Key_Backspace, ch(0x7F), Qt::ControlModifier, no},
        {"Ctrl+Return", Qt::Key_Return, ch(0x0A), Qt::ControlModifier, no},
        {"Delete", Qt::Key_Delete, ch(0x7F), none, no},
        {"Left", Qt::Key_Left, QString(), none, no},
        {"stray control char", Qt::Key_unknown, ch(0x01), none, no},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyAsciiFor(c.key, c.text, c.mods), c.code) << c.what;
}

// Every single UTF-16 unit arrives as itself exactly when it is one of the
// typeable codes; nothing above 255 may alias to one through truncation.
TEST(KeyAscii, OnlyTypeableCharactersArriveFromText) {
    for (int c = 0; c <= 0xFFFF; ++c) {
        const bool typeable = (c >= 32 && c <= 126) || c == 163 || c == 172;
        const auto got = keyAsciiFor(Qt::Key_unknown, ch(static_cast<char16_t>(c)), Qt::NoModifier);
        ASSERT_EQ(got.has_value(), typeable) << "U+" << std::hex << c;
        if (got) {
            EXPECT_EQ(*got, c);
            EXPECT_TRUE(acceptsTypedCode(*got));
        }
    }
}

TEST(AcceptsTypedCode, Table) {
    for (int k : {8, 13, 32, 48, 65, 97, 126, 163, 172})
        EXPECT_TRUE(acceptsTypedCode(static_cast<std::int16_t>(k))) << k;
    // 9 and 27 arrive but are refused; -93/-84 are 163/172 read as signed
    // bytes, 288/419/428 alias 32/163/172 in 8 bits.
    for (int k : {0, 9, 10, 27, 31, 127, 162, 164, 171, 173, 233, 255, -93, -84, -1, 288, 419, 428})
        EXPECT_FALSE(acceptsTypedCode(static_cast<std::int16_t>(k))) << k;
}

} // namespace
