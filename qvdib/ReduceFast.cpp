#include "qvdib/ReduceFast.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReductionWork.h"
#include "qvdib/VarianceSplit.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kCellCount = 65536;

// A pixel as one word: blue in bits 0-7, green 8-15, red 16-23.
inline std::uint32_t PixelWord(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

// The 5-6-5 histogram cell of a pixel word (bits above 23 are ignored), red
// most significant.
inline std::uint32_t CellNumber(std::uint32_t bgr)
{
    return (bgr >> 8 & 0xF800) | (bgr >> 5 & 0x07E0) | (bgr >> 3 & 0x001F);
}

// Both passes take a row in runs of up to kRun pixels (an even number, so a
// pixel's column and its number in the run have the same parity) and find the
// cells of four pixels at a time in vector registers: done one pixel at a time
// this took most of their time.
constexpr std::int64_t kRun = 256;

#if defined(__SSE2__)
// Four pixels from the first 12 bytes, one per 32-bit lane (bits above 23 are
// those of the next pixel).
inline __m128i FourPixels(__m128i bytes)
{
    const __m128i first = _mm_unpacklo_epi32(bytes, _mm_srli_si128(bytes, 3));
    const __m128i second = _mm_unpacklo_epi32(_mm_srli_si128(bytes, 6), _mm_srli_si128(bytes, 9));
    return _mm_unpacklo_epi64(first, second);
}

// CellNumber x Copies + lane modulo Copies, for Copies 1 or 2.
template <std::uint32_t Copies>
inline __m128i FourSlots(__m128i pixels)
{
    const __m128i red = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xF800));
    const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 5), _mm_set1_epi32(0x07E0));
    const __m128i blue = _mm_and_si128(_mm_srli_epi32(pixels, 3), _mm_set1_epi32(0x001F));
    const __m128i cells = _mm_or_si128(_mm_or_si128(red, green), blue);
    static_assert(Copies == 1 || Copies == 2);
    if constexpr (Copies == 1)
        return cells;
    else
        return _mm_or_si128(_mm_slli_epi32(cells, 1), _mm_setr_epi32(0, 1, 0, 1));
}
#endif

// The slots (CellNumber x Copies + pixel number modulo Copies) of the n pixels at p.
template <std::uint32_t Copies>
void ReadRun(const std::uint8_t* p, std::int64_t n, std::uint32_t* slots)
{
    std::int64_t i = 0;
#if defined(__SSE2__)
    // The 16-byte load at pixel i ends at byte 3i + 15, inside pixel i + 5.
    for (; i + 6 <= n; i += 4) {
        const __m128i pixels = FourPixels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(slots + i), FourSlots<Copies>(pixels));
    }
#endif
    for (; i < n; ++i)
        slots[i] = CellNumber(PixelWord(p + 3 * i)) * Copies + static_cast<std::uint32_t>(i) % Copies;
}

// Calls visit(row, x, p, n) for the runs of every storage row: n pixels from
// pixel x, which p points at.
template <class Visit>
void ForEachRun(const TQvDIBInfos& source, Visit visit)
{
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t stride = DIBStride(24, width);
    for (std::int64_t y = 0; y < DIBRows(source.Header); ++y)
        for (std::int64_t x = 0; x < width; x += kRun)
            visit(y, x, source.Bits + y * stride + 3 * x, std::min(kRun, width - x));
}

// The pixels of one cell: how many, and the sums of their component bits below
// the cell, in 32-bit lanes that one vector add updates.
struct CellCounts {
    std::uint32_t blue;
    std::uint32_t green;
    std::uint32_t red;
    std::uint32_t count;
};

#if defined(__SSE2__)
inline void AddTo(CellCounts& counts, __m128i increment)
{
    __m128i* lanes = reinterpret_cast<__m128i*>(&counts);
    _mm_storeu_si128(lanes, _mm_add_epi32(_mm_loadu_si128(lanes), increment));
}

// Adds four pixels to the entries at their slots: the component bits below
// the cell and a count byte of 1, each byte widened to a 32-bit lane.
inline void AddFour(CellCounts* counts, const std::uint32_t slots[4], __m128i pixels)
{
    const __m128i bytes = _mm_or_si128(_mm_and_si128(pixels, _mm_set1_epi32(0x070307)), _mm_set1_epi32(1 << 24));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    AddTo(counts[slots[0]], _mm_unpacklo_epi16(low, zero));
    AddTo(counts[slots[1]], _mm_unpackhi_epi16(low, zero));
    AddTo(counts[slots[2]], _mm_unpacklo_epi16(high, zero));
    AddTo(counts[slots[3]], _mm_unpackhi_epi16(high, zero));
}
#endif

class CellHistogram {
public:
    // Neighbouring pixels of a photo often share a cell. With one entry per
    // cell, each of them would wait for the previous one's add; even and odd
    // columns count in two entries of the cell, so two adds are under way at once.
    static constexpr std::uint32_t kCopies = 2;

    // A copy counts at most half of each row, rounded up. A pixel block holds
    // at most kMaxBitsSize bytes and a row of w pixels at least 3w bytes (4 for
    // w = 1), so a copy counts at most 2^29 pixels and a blue or red sum stays
    // below 7 x 2^29 < 2^32.
    explicit CellHistogram(const BITMAPINFOHEADER& header) : counts_(ZeroedWork<CellCounts>(kCellCount * kCopies))
    {
        const std::int64_t perCopy = (std::int64_t{header.biWidth} + 1) / 2 * DIBRows(header);
        QvAssert(perCopy <= std::int64_t{1} << 29, "CellHistogram: Too Many Pixels");
    }

    void AddRun(const std::uint8_t* p, std::int64_t n);

    // Writes one weighted colour per used cell, in cell order, with the
    // truncated mean of its pixels; returns how many.
    std::size_t MakeColors(TWeightedColor* entries) const;

private:
    std::unique_ptr<CellCounts[]> counts_;
};

void CellHistogram::AddRun(const std::uint8_t* p, std::int64_t n)
{
    CellCounts* counts = counts_.get(); // kept in a register, not reloaded per pixel
    std::int64_t i = 0;
#if defined(__SSE2__)
    for (; i + 6 <= n; i += 4) { // the load stays inside the run, as in ReadRun
        const __m128i pixels = FourPixels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i)));
        alignas(16) std::uint32_t slots[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(slots), FourSlots<kCopies>(pixels));
        AddFour(counts, slots, pixels);
    }
#endif
    for (; i < n; ++i) {
        const std::uint32_t word = PixelWord(p + 3 * i);
        CellCounts& cell = counts[CellNumber(word) * kCopies + static_cast<std::uint32_t>(i) % kCopies];
        cell.blue += word & 7;
        cell.green += word >> 8 & 3;
        cell.red += word >> 16 & 7;
        ++cell.count;
    }
}

// Sums over the copies of a cell, in 64 bits.
struct CellSums {
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    std::uint64_t count = 0;
};

TWeightedColor CellColor(std::uint32_t cell, const CellSums& sums)
{
    const auto mean = [&sums](std::uint64_t sum) { return static_cast<std::int32_t>(sum / sums.count); };
    return TWeightedColor{mean(sums.red) + static_cast<std::int32_t>(cell >> 11) * 8,
                          mean(sums.green) + static_cast<std::int32_t>((cell >> 5) & 63) * 4,
                          mean(sums.blue) + static_cast<std::int32_t>(cell & 31) * 8,
                          static_cast<std::int32_t>(sums.count), static_cast<std::int32_t>(cell)};
}

std::size_t CellHistogram::MakeColors(TWeightedColor* entries) const
{
    std::size_t used = 0;
    for (std::uint32_t cell = 0; cell < kCellCount; ++cell) {
        CellSums sums;
        for (std::uint32_t copy = 0; copy < kCopies; ++copy) {
            const CellCounts& counts = counts_[cell * kCopies + copy];
            sums.red += counts.red;
            sums.green += counts.green;
            sums.blue += counts.blue;
            sums.count += counts.count;
        }
        if (sums.count > 0)
            entries[used++] = CellColor(cell, sums);
    }
    return used;
}

// Histogram, split and the cell -> palette index table. Cells without pixels
// keep index 0; no pixel looks them up.
void MakeTrueColorIndexTable(const TQvDIBInfos& source, SplitPalette& palette, std::uint8_t* indexTable)
{
    CellHistogram histogram(source.Header);
    ForEachRun(source, [&histogram](std::int64_t, std::int64_t, const std::uint8_t* p, std::int64_t n) {
        histogram.AddRun(p, n);
    });
    // Only the used front of the entries is ever written, and so touched.
    const auto entries = UninitialisedWork<TWeightedColor>(kCellCount);
    const std::span<TWeightedColor> colors(entries.get(), histogram.MakeColors(entries.get()));
    DivideWeightedColors(colors, palette);
    for (const TWeightedColor& e : colors)
        indexTable[e.Key] = static_cast<std::uint8_t>(e.Count);
}

// Looks every pixel's cell up in the index table, into 8- or 4-bit rows whose
// padding stays zero; in 4-bit rows the left pixel takes the high nibble.
void WriteIndices(const TQvDIBInfos& source, const std::uint8_t* table, std::uint8_t* bits, int bitCount)
{
    const std::int64_t stride = DIBStride(bitCount, source.Header.biWidth);
    ForEachRun(source, [&](std::int64_t y, std::int64_t x, const std::uint8_t* p, std::int64_t n) {
        std::uint32_t cells[kRun];
        ReadRun<1>(p, n, cells);
        std::uint8_t* out = bits + y * stride;
        if (bitCount == 8) {
            for (std::int64_t i = 0; i < n; ++i)
                out[x + i] = table[cells[i]];
            return;
        }
        // Runs start at even pixels, so each byte holds a pixel pair of one run;
        // an odd last pixel leaves the low nibble 0.
        std::int64_t i = 0;
        for (; i + 1 < n; i += 2)
            out[(x + i) / 2] = static_cast<std::uint8_t>(table[cells[i]] << 4 | table[cells[i + 1]]);
        if (i < n)
            out[(x + i) / 2] = static_cast<std::uint8_t>(table[cells[i]] << 4);
    });
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
    WriteIndices(source, indexTable.get(), memory.Bits(), bitCount);
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
