// Writes a storage as a BMP file: file header, info header, the valid colour
// table entries and the pixel data exactly as held (RLE stays RLE).
#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIBErrors.h"

#include <cstddef>

void TQvInternalDIB::SaveToStream(TStream& stream) const
{
    const std::uint32_t colors = DIBInfos.Header.biClrUsed;
    QvAssert(colors <= kMaxPaletteSize, "TQvInternalDIB.SaveToStream: Invalid Palette Size");
    const std::uint32_t infoBytes = sizeof(BITMAPINFOHEADER) + 4 * colors;

    BITMAPFILEHEADER file{};
    file.bfType = kBitmapFileType;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + infoBytes;
    file.bfSize = file.bfOffBits + std::uint32_t(DIBInfos.BitsSize);
    stream.WriteBuffer(&file, sizeof file);

    // Header and colour table lie back to back in the record: one write.
    const auto* info = reinterpret_cast<const std::uint8_t*>(&DIBInfos) + offsetof(TQvDIBInfos, Header);
    stream.WriteBuffer(info, infoBytes);
    stream.WriteBuffer(DIBInfos.Bits, std::size_t(DIBInfos.BitsSize));
}
