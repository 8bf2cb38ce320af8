// Colour values of the graphics framework: red in the low byte, green in the
// second, blue in the third. A value with the top bit set names a system colour.
#pragma once

#include <cstdint>

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;

// System colour constants: 0x80000000 plus the system colour index.
inline constexpr TColor kSystemColorFlag = 0x80000000u;
inline constexpr TColor clWindow = kSystemColorFlag | 5;
inline constexpr TColor clWindowText = kSystemColorFlag | 8;
inline constexpr TColor clBtnFace = kSystemColorFlag | 15;

constexpr TColor RGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return TColor(red) | (TColor(green) << 8) | (TColor(blue) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) { return std::uint8_t(c & 0xFF); }
constexpr std::uint8_t GetGValue(TColor c) { return std::uint8_t((c >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(TColor c) { return std::uint8_t((c >> 16) & 0xFF); }

// Resolves a system colour to its current RGB value; any other value is returned as is.
TColor ColorToRGB(TColor color);
