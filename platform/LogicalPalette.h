// Logical palettes: owned objects that stand in for palette handles. A handle is
// a number naming one object in a table; 0 names none.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct PALETTEENTRY {
    std::uint8_t peRed;
    std::uint8_t peGreen;
    std::uint8_t peBlue;
    std::uint8_t peFlags;
};
static_assert(sizeof(PALETTEENTRY) == 4);

using HPALETTE = std::uintptr_t;

// A new palette holding a copy of the entries; 0 when it cannot be made.
HPALETTE CreatePalette(std::span<const PALETTEENTRY> entries);
// Deletes the palette; false when the handle names none.
bool DeletePalette(HPALETTE palette);
// The entries of a palette; empty when the handle names none.
std::vector<PALETTEENTRY> GetPaletteEntries(HPALETTE palette);
// How many palettes exist: lets tests see that every palette made was deleted.
std::size_t LivePaletteCount();
