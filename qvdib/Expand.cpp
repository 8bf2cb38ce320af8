// Bit-depth expansion. Every source byte holds a whole number of pixels, so
// each routine first builds a table of what every possible source byte becomes
// (its palette indices widened, or their colours looked up), and then expands
// each row by one table copy per source byte. The pixel rules live only in the
// table builder.
#include "qvdib/Expand.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"

#include <array>
#include <cstring>

namespace {

template <int SourceBits, int DestinationBits>
struct Expansion {
    static constexpr int kPixelsPerByte = 8 / SourceBits;
    // Destination bytes made from one source byte.
    static constexpr int kChunk = kPixelsPerByte * DestinationBits / 8;
    // Table entries are a power of two apart, so that inside a row a chunk is
    // stored as one wider word whose extra bytes the next chunk overwrites.
    static constexpr int kSlot = kChunk == 3 ? 4 : kChunk == 6 ? 8 : kChunk;
    using Table = std::array<std::uint8_t, 256 * kSlot>;

    // Source pixel k of byte b, the leftmost pixel in the most significant bits.
    static int SourcePixel(int b, int k)
    {
        return (b >> (8 - (k + 1) * SourceBits)) & ((1 << SourceBits) - 1);
    }

    // Wider indices keep the palette; true colour stores ColorTable[v] as blue,
    // green, red, whatever biClrUsed says.
    static Table Build(const RGBQUAD* colorTable)
    {
        Table table{};
        for (int b = 0; b < 256; ++b) {
            std::uint8_t* chunk = table.data() + b * kSlot;
            for (int k = 0; k < kPixelsPerByte; ++k) {
                const int v = SourcePixel(b, k);
                if constexpr (DestinationBits == 24) {
                    const RGBQUAD& c = colorTable[v];
                    chunk[3 * k] = c.rgbBlue;
                    chunk[3 * k + 1] = c.rgbGreen;
                    chunk[3 * k + 2] = c.rgbRed;
                } else if constexpr (DestinationBits == 8) {
                    chunk[k] = std::uint8_t(v);
                } else {
                    chunk[k / 2] = std::uint8_t(chunk[k / 2] | (k % 2 == 0 ? v << 4 : v));
                }
            }
        }
        return table;
    }

    // Only pixels 0 .. width - 1 are written, so the destination's row padding
    // stays 0 even when the source's padding bits are not.
    static void Row(const std::uint8_t* in, std::uint8_t* out, std::int64_t width, const Table& table)
    {
        const std::int64_t whole = width / kPixelsPerByte;
        for (std::int64_t i = 0; i + 1 < whole; ++i)
            std::memcpy(out + i * kChunk, table.data() + in[i] * kSlot, kSlot);
        // The last whole chunk is stored exactly: nothing may spill into the padding.
        if (whole > 0)
            std::memcpy(out + (whole - 1) * kChunk, table.data() + in[whole - 1] * kSlot, kChunk);
        const int rest = int(width % kPixelsPerByte);
        if (rest == 0)
            return;
        // The last byte's pixels beyond the width read as 0, and only the bytes
        // of the remaining pixels are copied (an odd 4-bit row ends on a 0 nibble).
        const int keep = (0xFF00 >> (rest * SourceBits)) & 0xFF;
        const std::size_t bytes = std::size_t((rest * DestinationBits + 7) / 8);
        std::memcpy(out + whole * kChunk, table.data() + (in[whole] & keep) * kSlot, bytes);
    }

    static void Run(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO, const char* typeMessage)
    {
        const BITMAPINFOHEADER& h = source.Header;
        if (h.biBitCount != SourceBits || h.biCompression != BI_RGB)
            throw EQvDIBBadDIBType(typeMessage);

        // Zero-filled memory: the padding at the end of every row is 0.
        PixelBuffer memory(ConvertedImageSize(source, DestinationBits), useFMO);
        const Table table = Build(source.ColorTable);
        const std::int64_t width = h.biWidth;
        const std::int64_t sourceStride = DIBStride(SourceBits, width);
        const std::int64_t destinationStride = DIBStride(DestinationBits, width);
        // Rows in memory order: the result is stored in the same direction as the source.
        for (std::int64_t y = 0, rows = DIBRows(h); y < rows; ++y)
            Row(source.Bits + y * sourceStride, memory.Bits() + y * destinationStride, width, table);
        FinishConversion(source, destination, memory, DestinationBits);
    }
};

} // namespace

void Convert1BitRGBTo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<1, 4>::Run(source, destination, useFMO,
                         "Convert1BitRGBTo4BitRGB: Invalid Bitcount & Compression Combination");
}

void Convert1BitRGBTo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<1, 8>::Run(source, destination, useFMO,
                         "Convert1BitRGBTo8BitRGB: Invalid Bitcount & Compression Combination");
}

void Convert4BitRGBTo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<4, 8>::Run(source, destination, useFMO,
                         "Convert4BitRGBTo8BitRGB: Invalid Bitcount & Compression Combination");
}

void Convert1BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<1, 24>::Run(source, destination, useFMO,
                          "Convert1BitRGBToTrueColor: Invalid Bitcount & Compression Combination");
}

void Convert4BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<4, 24>::Run(source, destination, useFMO,
                          "Convert4BitRGBToTrueColor: Invalid Bitcount & Compression Combination");
}

void Convert8BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    Expansion<8, 24>::Run(source, destination, useFMO,
                          "Convert8BitRGBToTrueColor: Invalid Bitcount & Compression Combination");
}
