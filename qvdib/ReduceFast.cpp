#include "qvdib/ReduceFast.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReductionWork.h"
#include "qvdib/VarianceSplit.h"

#include <span>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kCellCount = 65536;

// The 5-6-5 histogram cell of a colour, red most significant.
inline std::uint32_t CellNumber(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return (red >> 3) << 11 | (green >> 2) << 5 | (blue >> 3);
}

// The pixels of one cell: how many, and the sums of their component bits below
// the cell. A single cell may hold every pixel of the image, so 32-bit sums
// serve only while 7 x pixels fits in them; larger images count in 64 bits.
template <class Sum>
struct CellSums {
    Sum red;
    Sum green;
    Sum blue;
    Sum count;
};

// Neighbouring pixels often share a cell; a run of them is summed locally and
// added once, instead of every pixel waiting for the previous one's store.
template <class Sum>
void CountCells(const TQvDIBInfos& source, CellSums<Sum>* cells)
{
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t stride = DIBStride(24, width);
    std::uint32_t current = 0;
    CellSums<Sum> run{0, 0, 0, 0};
    const auto flush = [&] {
        CellSums<Sum>& cell = cells[current];
        cell.red += run.red;
        cell.green += run.green;
        cell.blue += run.blue;
        cell.count += run.count;
        run = CellSums<Sum>{0, 0, 0, 0};
    };
    for (std::int64_t y = 0; y < DIBRows(source.Header); ++y) {
        const std::uint8_t* p = source.Bits + y * stride;
        for (std::int64_t x = 0; x < width; ++x, p += 3) {
            const std::uint32_t cell = CellNumber(p[2], p[1], p[0]);
            if (cell != current) {
                flush();
                current = cell;
            }
            run.red += p[2] & 7u;
            run.green += p[1] & 3u;
            run.blue += p[0] & 7u;
            ++run.count;
        }
    }
    flush();
}

// Each used cell becomes one weighted colour: the truncated mean of its pixels.
template <class Sum>
std::size_t MakeCellColors(const TQvDIBInfos& source, std::span<TWeightedColor> entries)
{
    const auto cells = ZeroedWork<CellSums<Sum>>(kCellCount);
    CountCells(source, cells.get());
    for (std::size_t i = 0; i < kCellCount; ++i) {
        const CellSums<Sum>& cell = cells[i];
        TWeightedColor& e = entries[i];
        e = TWeightedColor{0, 0, 0, static_cast<std::int32_t>(cell.count), static_cast<std::int32_t>(i)};
        if (cell.count == 0)
            continue;
        e.Red = static_cast<std::int32_t>(cell.red / cell.count) + static_cast<std::int32_t>(i >> 11) * 8;
        e.Green = static_cast<std::int32_t>(cell.green / cell.count) + static_cast<std::int32_t>((i >> 5) & 63) * 4;
        e.Blue = static_cast<std::int32_t>(cell.blue / cell.count) + static_cast<std::int32_t>(i & 31) * 8;
    }
    return CompactUsedColors(entries);
}

// Histogram, split and the cell -> palette index table. Cells without pixels
// keep index 0; no pixel looks them up.
void MakeTrueColorIndexTable(const TQvDIBInfos& source, SplitPalette& palette, std::uint8_t* indexTable)
{
    const auto entries = UninitialisedWork<TWeightedColor>(kCellCount);
    const std::int64_t pixels = source.Header.biWidth * DIBRows(source.Header);
    const std::span<TWeightedColor> all(entries.get(), kCellCount);
    const std::size_t used = pixels <= std::int64_t(UINT32_MAX / 7) ? MakeCellColors<std::uint32_t>(source, all)
                                                                     : MakeCellColors<std::uint64_t>(source, all);
    const std::span<TWeightedColor> colors(entries.get(), used);
    DivideWeightedColors(colors, palette);
    for (const TWeightedColor& e : colors)
        indexTable[e.Key] = static_cast<std::uint8_t>(e.Count);
}

void ConvertTrueColorLow(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                         const TQvProgressProc& progress, int bitCount, std::string_view routine)
{
    if (source.Header.biBitCount != 24)
        throw EQvDIBBadDIBType(std::string(routine) + ": Invalid Bitcount");
    CheckSourcePixels(source, routine);
    PixelBuffer memory(ConvertedImageSize(source, bitCount), useFMO);
    const int maxDepth = bitCount; // 2^depth leaves: 256 entries for 8 bits, 16 for 4
    SplitPalette palette(progress, maxDepth);
    const auto indexTable = ZeroedWork<std::uint8_t>(kCellCount);
    MakeTrueColorIndexTable(source, palette, indexTable.get());
    const std::uint8_t* table = indexTable.get();
    WriteIndexRows(source, memory.Bits(), bitCount, [table](const std::uint8_t* row, std::int64_t x) {
        const std::uint8_t* p = row + 3 * x;
        return table[CellNumber(p[2], p[1], p[0])];
    });
    FinishConversion(source, destination, memory, bitCount);
    palette.CopyInto(destination);
}

} // namespace

void ConvertTrueColorTo8BitRGBLow(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                  const TQvProgressProc& progress)
{
    ConvertTrueColorLow(source, destination, useFMO, progress, 8, "ConvertTrueColorTo8BitRGBLow");
}

void ConvertTrueColorTo4BitRGBLow(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                  const TQvProgressProc& progress)
{
    ConvertTrueColorLow(source, destination, useFMO, progress, 4, "ConvertTrueColorTo4BitRGBLow");
}
