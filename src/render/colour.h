#pragma once
// Colours are held the way the program stores them: 32-bit 0x00BBGGRR.

#include <QColor>
#include <cstdint>

namespace quill {

using BgrColour = std::uint32_t;

inline constexpr BgrColour BgrBlack = 0x000000;
inline constexpr BgrColour BgrWhite = 0xFFFFFF;
inline constexpr BgrColour BgrBlue = 0xFF0000;
inline constexpr BgrColour BgrRed = 0x0000FF;
inline constexpr BgrColour BgrGreen = 0x008000;

inline QRgb bgrToRgb(BgrColour c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}
inline BgrColour rgbToBgr(QRgb c) {
    return static_cast<BgrColour>(qRed(c)) | (static_cast<BgrColour>(qGreen(c)) << 8) |
           (static_cast<BgrColour>(qBlue(c)) << 16);
}
inline QColor bgrToQColor(BgrColour c) {
    return QColor::fromRgb(bgrToRgb(c));
}

} // namespace quill
