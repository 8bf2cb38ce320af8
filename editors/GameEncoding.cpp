#include "editors/GameEncoding.h"

#include "qvdib/QvDIB.h"

namespace {

// The two forms keep the pixel pair in opposite halves of the byte.
constexpr std::uint8_t SwapNibbles(std::uint8_t b)
{
    return std::uint8_t((b << 4) | (b >> 4));
}

// The caller promises the region; a wrong promise must not become a stray write.
void RequireRegion(std::size_t bufferSize, std::size_t offset, std::size_t length, const char* operation)
{
    const bool inside = offset <= bufferSize && length <= bufferSize - offset;
    AssertAlways(inside, std::string(operation) + ": Region is Outside the Buffer", "GameEncoding");
}

// Bytes a picture region spans in the sheet: H - 1 full sheet rows and the last row's pixels.
std::size_t PictureSpan(const TQvDIB& dib)
{
    const std::size_t rowBytes = std::size_t(dib.GetWidth()) / 2;
    return (std::size_t(dib.GetHeight()) - 1) * kSheetRowBytes + rowBytes;
}

void RequireFourBit(const TQvDIB& dib, const char* operation)
{
    AssertAlways(dib.GetBitCount() == 4, std::string(operation) + ": DIB Must be 4Bit", "GameEncoding");
}

} // namespace

void DecodePixels(TQvDIB& dib, std::span<const std::uint8_t> buffer, std::size_t offset)
{
    RequireFourBit(dib, "DecodePixels");
    RequireRegion(buffer.size(), offset, PictureSpan(dib), "DecodePixels");
    const std::size_t rowBytes = std::size_t(dib.GetWidth()) / 2;
    for (int y = 0; y < dib.GetHeight(); ++y) {
        std::uint8_t* row = dib.GetScanLine(y);
        const std::uint8_t* source = buffer.data() + offset + std::size_t(y) * kSheetRowBytes;
        for (std::size_t x = 0; x < rowBytes; ++x)
            row[x] = SwapNibbles(source[x]);
    }
}

void EncodePixels(TQvDIB& dib, std::span<std::uint8_t> buffer, std::size_t offset)
{
    RequireFourBit(dib, "EncodePixels");
    RequireRegion(buffer.size(), offset, PictureSpan(dib), "EncodePixels");
    const std::size_t rowBytes = std::size_t(dib.GetWidth()) / 2;
    for (int y = 0; y < dib.GetHeight(); ++y) {
        const std::uint8_t* row = dib.GetScanLine(y);
        std::uint8_t* target = buffer.data() + offset + std::size_t(y) * kSheetRowBytes;
        for (std::size_t x = 0; x < rowBytes; ++x)
            target[x] = SwapNibbles(row[x]);
    }
}

void DecodePalette(TQvDIB& dib, std::span<const std::uint8_t> buffer, std::size_t offset)
{
    RequireRegion(buffer.size(), offset, kGamePaletteBytes, "DecodePalette");
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = buffer.data() + offset + 2 * std::size_t(i);
        const unsigned word = unsigned(p[0]) | (unsigned(p[1]) << 8);
        dib.SetColors(i, RGB(Expand5To8(word & 31), Expand5To8((word >> 5) & 31), Expand5To8((word >> 10) & 31)));
    }
}

void EncodePalette(const TQvDIB& dib, std::span<std::uint8_t> buffer, std::size_t offset)
{
    RequireRegion(buffer.size(), offset, kGamePaletteBytes, "EncodePalette");
    for (int i = 0; i < 16; ++i) {
        const TColor c = ColorToRGB(dib.GetColors(i));
        const unsigned word = (Reduce8To5(GetBValue(c)) << 10) | (Reduce8To5(GetGValue(c)) << 5) | Reduce8To5(GetRValue(c));
        std::uint8_t* p = buffer.data() + offset + 2 * std::size_t(i);
        p[0] = std::uint8_t(word & 0xFF);
        p[1] = std::uint8_t(word >> 8);
    }
}
