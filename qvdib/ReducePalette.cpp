#include "qvdib/ReducePalette.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReductionWork.h"
#include "qvdib/VarianceSplit.h"

#include <array>
#include <span>
#include <string>

namespace {

constexpr int kSourceColors = 256;

// Every source palette entry weighted by the pixels that use it, split into at
// most 16 colours; indices no pixel uses map to 0.
std::array<std::uint8_t, kSourceColors> Make8BitIndexMap(const TQvDIBInfos& source, SplitPalette& palette)
{
    std::array<std::int64_t, kSourceColors> counts{};
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t stride = DIBStride(8, width);
    for (std::int64_t y = 0; y < DIBRows(source.Header); ++y)
        for (const std::uint8_t* p = source.Bits + y * stride; p != source.Bits + y * stride + width; ++p)
            ++counts[*p];
    // All 256 entries take part, whatever biClrUsed says: pixels may use any of them.
    std::array<TWeightedColor, kSourceColors> entries{};
    for (int i = 0; i < kSourceColors; ++i) {
        const RGBQUAD& c = source.ColorTable[i];
        // A pixel block of at most 2^31 - 1 bytes keeps every count in 32 bits.
        entries[i] = TWeightedColor{c.rgbRed, c.rgbGreen, c.rgbBlue, static_cast<std::int32_t>(counts[i]), i};
    }
    const std::span<TWeightedColor> used(entries.data(), CompactUsedColors(entries));
    DivideWeightedColors(used, palette);
    std::array<std::uint8_t, kSourceColors> indexMap{};
    for (const TWeightedColor& e : used)
        indexMap[e.Key] = static_cast<std::uint8_t>(e.Count);
    return indexMap;
}

// Fills zero-filled 1-bit rows of the source's geometry: bit 1 where
// matches(sourceRow, x), leftmost pixel in the most significant bit.
template <class Matches>
void WriteMaskRows(const TQvDIBInfos& source, std::uint8_t* bits, Matches matches)
{
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t sourceStride = DIBStride(source.Header.biBitCount, width);
    const std::int64_t stride = DIBStride(1, width);
    for (std::int64_t y = 0; y < DIBRows(source.Header); ++y) {
        const std::uint8_t* in = source.Bits + y * sourceStride;
        std::uint8_t* out = bits + y * stride;
        for (std::int64_t x = 0; x < width; ++x)
            if (matches(in, x))
                out[x / 8] = std::uint8_t(out[x / 8] | (0x80 >> (x % 8)));
    }
}

bool SameColor(const RGBQUAD& entry, std::uint32_t color)
{
    return entry.rgbRed == (color & 0xFF) && entry.rgbGreen == ((color >> 8) & 0xFF) &&
           entry.rgbBlue == ((color >> 16) & 0xFF);
}

// The mask with its black and white palette, built like every conversion result.
template <class Matches>
void ConvertToMask(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO, Matches matches)
{
    PixelBuffer memory(ConvertedImageSize(source, 1), useFMO);
    WriteMaskRows(source, memory.Bits(), matches);
    FinishConversion(source, destination, memory, 1);
    destination.Header.biClrUsed = 2;
    destination.ColorTable[0] = RGBQUAD{0, 0, 0, 0};
    destination.ColorTable[1] = RGBQUAD{255, 255, 255, 0};
}

// Which palette indices have exactly the colour; entries beyond biClrUsed count too.
std::array<bool, kSourceColors> MatchingIndices(const TQvDIBInfos& source, std::uint32_t color)
{
    std::array<bool, kSourceColors> matching{};
    for (int i = 0; i < kSourceColors; ++i)
        matching[i] = SameColor(source.ColorTable[i], color);
    return matching;
}

// Palette sources must be uncompressed: RLE data is decoded before it gets here.
void RequireUncompressed(const TQvDIBInfos& source, int bitCount, const char* message)
{
    if (source.Header.biBitCount != bitCount || source.Header.biCompression != BI_RGB)
        throw EQvDIBBadDIBType(message);
}

} // namespace

void Convert8BitRGBTo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                             const TQvProgressProc& progress)
{
    RequireUncompressed(source, 8, "Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression");
    CheckSourcePixels(source, "Convert8BitRGBTo4BitRGB");
    PixelBuffer memory(ConvertedImageSize(source, 4), useFMO);
    SplitPalette palette(progress, 4);
    const auto indexMap = Make8BitIndexMap(source, palette);
    WriteIndexRows(source, memory.Bits(), 4,
                   [&indexMap](const std::uint8_t* row, std::int64_t x) { return indexMap[row[x]]; });
    FinishConversion(source, destination, memory, 4);
    palette.CopyInto(destination);
}

void ConvertTrueColorTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO)
{
    if (source.Header.biBitCount != 24)
        throw EQvDIBBadDIBType("ConvertTrueColorTo1BitRGB: Invalid Bitcount");
    CheckSourcePixels(source, "ConvertTrueColorTo1BitRGB");
    ConvertToMask(source, destination, useFMO, [color](const std::uint8_t* row, std::int64_t x) {
        const std::uint8_t* p = row + 3 * x;
        return SameColor(RGBQUAD{p[0], p[1], p[2], 0}, color);
    });
}

void Convert8BitTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO)
{
    RequireUncompressed(source, 8, "Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
    CheckSourcePixels(source, "Convert8BitTo1BitRGB");
    const auto matching = MatchingIndices(source, color);
    ConvertToMask(source, destination, useFMO,
                  [&matching](const std::uint8_t* row, std::int64_t x) { return matching[row[x]]; });
}

void Convert4BitRGBTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO)
{
    RequireUncompressed(source, 4, "Convert4BitRGBTo1BitRGB: Invalid Bitcount");
    CheckSourcePixels(source, "Convert4BitRGBTo1BitRGB");
    const auto matching = MatchingIndices(source, color);
    ConvertToMask(source, destination, useFMO, [&matching](const std::uint8_t* row, std::int64_t x) {
        const std::uint8_t pair = row[x / 2];
        return matching[x % 2 == 0 ? pair >> 4 : pair & 0x0F];
    });
}
