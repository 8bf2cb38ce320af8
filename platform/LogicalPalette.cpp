#include "platform/LogicalPalette.h"

#include <map>

namespace {

// One thread uses the library, as with the GUI objects this stands in for.
struct PaletteTable {
    std::map<HPALETTE, std::vector<PALETTEENTRY>> palettes;
    HPALETTE next = 1;
};

PaletteTable& Table()
{
    static PaletteTable table;
    return table;
}

} // namespace

HPALETTE CreatePalette(std::span<const PALETTEENTRY> entries)
{
    if (entries.empty() || entries.size() > 0xFFFF)
        return 0;
    PaletteTable& table = Table();
    const HPALETTE handle = table.next++;
    table.palettes.emplace(handle, std::vector<PALETTEENTRY>(entries.begin(), entries.end()));
    return handle;
}

bool DeletePalette(HPALETTE palette)
{
    return Table().palettes.erase(palette) == 1;
}

std::vector<PALETTEENTRY> GetPaletteEntries(HPALETTE palette)
{
    const auto& palettes = Table().palettes;
    const auto found = palettes.find(palette);
    return found == palettes.end() ? std::vector<PALETTEENTRY>{} : found->second;
}

std::size_t LivePaletteCount()
{
    return Table().palettes.size();
}
