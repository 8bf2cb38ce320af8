// Error-diffused halftones onto the fixed 215-colour palette or black and white.
#pragma once

#include "qvdib/DIBTypes.h"

#include <array>
#include <cstdint>

// The levels of the colour cube. Palette entry 35 r + 5 g + b (r = 0..5, g = 0..6,
// b = 0..4) is (HalfToneRedLevels[r], HalfToneGreenLevels[g], HalfToneBlueLevels[b]).
inline constexpr std::array<std::uint8_t, 6> HalfToneRedLevels{0, 51, 102, 153, 204, 255};
inline constexpr std::array<std::uint8_t, 7> HalfToneGreenLevels{0, 43, 85, 128, 171, 214, 255};
inline constexpr std::array<std::uint8_t, 5> HalfToneBlueLevels{0, 64, 128, 192, 255};

struct THalfToneColor {
    std::uint8_t red, green, blue;
};
// Entries 210..214 of the palette, after the cube. The dithering never produces them.
inline constexpr std::array<THalfToneColor, 5> HalfToneExtraColors{{
    {128, 0, 0}, {128, 128, 0}, {128, 0, 128}, {192, 192, 192}, {128, 128, 128}}};

inline constexpr int kHalfToneCubeSize = 210;
inline constexpr int kHalfTonePaletteSize = 215;

// The colour table of a colour halftone: the cube, then the extra colours. The
// drawing layer builds its halftone palette from the same entries.
std::array<RGBQUAD, kHalfTonePaletteSize> MakeHalfToneColorTable();

// Both routines read any uncompressed 1-, 4-, 8- or 24-bit source without changing
// it and fill destination with a complete new image (new pixel memory under
// useFMO, biClrUsed 215 or 2, later colour table entries kept from the source).
// A compressed source, another bit count, or a source whose pixel memory is
// shorter than its header says fails the library's assertion before anything is
// allocated; destination is written only on success.
void ConvertToHalfTone(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void ConvertToHalfToneBW(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
