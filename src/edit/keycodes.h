#pragma once
// Translation of the physical keyboard into the program's own codes: the
// virtual key codes the key-down and key-up handlers test, the shift mask
// they receive, and the 8-bit character code a key press delivers to the
// typing box.

#include <QString>
#include <Qt>
#include <cstdint>
#include <optional>

namespace quill {

// Virtual key codes tested by the key handlers.
namespace vk {
inline constexpr std::int16_t Backspace = 8;
inline constexpr std::int16_t Tab = 9;
inline constexpr std::int16_t Return = 13;
inline constexpr std::int16_t Shift = 16;
inline constexpr std::int16_t Control = 17;
inline constexpr std::int16_t Alt = 18;
inline constexpr std::int16_t Escape = 27;
inline constexpr std::int16_t Space = 32;
inline constexpr std::int16_t PageUp = 33;
inline constexpr std::int16_t PageDown = 34;
inline constexpr std::int16_t End = 35;
inline constexpr std::int16_t Home = 36;
inline constexpr std::int16_t Left = 37;
inline constexpr std::int16_t Up = 38;
inline constexpr std::int16_t Right = 39;
inline constexpr std::int16_t Down = 40;
inline constexpr std::int16_t Insert = 45;
inline constexpr std::int16_t Delete = 46;
inline constexpr std::int16_t F1 = 112; // F1..F12 are 112..123
} // namespace vk

// Character codes the typing box works with.
inline constexpr std::int16_t PoundSign = 163; // "£"
inline constexpr std::int16_t NotSign = 172;   // "¬"

// The virtual key code of a Qt key (QKeyEvent::key()), or 0 for a key the
// program has no code for. Letters give 65..90 whatever the case, digits
// 48..57 (the keypad's included), Shift+Tab gives Tab's 9, both Return and
// the keypad's Enter give 13.
std::int16_t virtualKeyCode(int qtKey);

// The shift mask handed to key and mouse handlers: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t shiftMask(Qt::KeyboardModifiers mods);

// The character code a key press delivers to the typing box, or nothing.
// Backspace 8, Tab 9, Return/Enter 13 and Escape 27 come from the key;
// everything else from the event's text, which must be one UTF-16 unit
// with a code of 32..126, 163 or 172. Presses with Ctrl, Alt or Meta held
// are shortcuts and deliver nothing.
std::optional<std::int16_t> keyAsciiFor(int qtKey, const QString& text, Qt::KeyboardModifiers mods);

// Whether the typing box takes a delivered character code: the printable
// codes 32..126, 163, 172, and 8 (Backspace) and 13 (Enter). Tab (9) and
// Escape (27) are never taken.
bool acceptsTypedCode(std::int16_t k);

} // namespace quill
