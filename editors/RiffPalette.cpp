#include "editors/RiffPalette.h"

#include "editors/WindowPort.h"
#include "platform/AtomicFile.h"
#include "platform/Stream.h"
#include "qvdib/QvDIB.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

using PaletteFile = std::array<std::uint8_t, kRiffPaletteFileSize>;

constexpr int kEntries = 16;
constexpr std::size_t kFirstEntry = 24;
constexpr std::uint16_t kPaletteVersion = 0x0300;

// "RIFF", the rest of the file (80), "PAL ", "data", the chunk (4 + 16 x 4),
// version 0x0300 and 16 entries.
constexpr std::uint8_t kHeader[kFirstEntry] = {
    'R', 'I', 'F', 'F', 80, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 68, 0, 0, 0, 0x00, 0x03, 16, 0,
};

std::uint16_t Word(const PaletteFile& file, std::size_t offset)
{
    return std::uint16_t(file[offset] | (file[offset + 1] << 8));
}

bool Spells(const PaletteFile& file, std::size_t offset, const char* text)
{
    return std::memcmp(file.data() + offset, text, std::strlen(text)) == 0;
}

// The text of the first test the file fails, or nullptr when it is a palette
// file with at least 16 entries. Lengths in the file are not looked at.
const char* Refusal(const PaletteFile& file, std::size_t got)
{
    if (got < kRiffPaletteFileSize)
        return "\r\nInvalid file size.";
    if (!Spells(file, 0, "RIFF") || !Spells(file, 8, "PAL data") || Word(file, 20) != kPaletteVersion)
        return "\r\nNot a RIFF standard PAL file";
    if (Word(file, 22) < kEntries)
        return "\r\nPalette has <16 colors";
    return nullptr;
}

} // namespace

int WriteRiffPalette(const std::string& name, const TQvDIB& dib)
{
    PaletteFile file{};
    std::memcpy(file.data(), kHeader, sizeof kHeader);
    for (int i = 0; i < kEntries; ++i) {
        const TColor color = dib.GetColors(i);
        std::uint8_t* entry = file.data() + kFirstEntry + 4 * std::size_t(i);
        entry[0] = GetRValue(color);
        entry[1] = GetGValue(color);
        entry[2] = GetBValue(color);
        entry[3] = 0; // flags
    }
    AtomicFile out(name);
    if (out.Write(file.data(), file.size()) != file.size())
        return -1;
    try {
        out.Commit();
    } catch (const EWriteError&) {
        return -1; // the bytes never reached the disk whole; the old file stays
    }
    return 0;
}

int ReadRiffPalette(WindowPort& port, TQvDIB& dib, const std::string& name)
{
    PaletteFile file{};
    std::size_t got = 0;
    {
        TFileStream in(name, TFileMode::fmOpenRead);
        got = in.Read(file.data(), file.size());
    }
    if (const char* refusal = Refusal(file, got)) {
        port.ShowError(refusal);
        return -1;
    }
    for (int i = 0; i < kEntries; ++i) {
        const std::uint8_t* entry = file.data() + kFirstEntry + 4 * std::size_t(i);
        dib.SetColors(i, RGB(entry[0], entry[1], entry[2]));
    }
    return 0;
}
