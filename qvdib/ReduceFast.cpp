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

// The histogram counts a pixel with one add to a 64-bit word of its cell: the
// component bits below the cell in 16-bit lanes (blue at bit 0, green at 16,
// red at 32) and the pixel count at bit 48.
inline std::uint64_t PackedPixel(std::uint32_t bgr)
{
    const std::uint64_t low = bgr & 0x070307;
    return (low & 0xFF) | (low & 0xFF00) << 8 | (low & 0xFF0000) << 16 | std::uint64_t{1} << 48;
}

// Both passes take a row in runs of up to kRun pixels: first the table slots
// (and for the histogram the packed bits) of the whole run, four pixels at a
// time in vector registers, then one table access per pixel.
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

// CellNumber x copies + lane modulo copies, for copies 1 or 2.
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

// PackedPixel of four pixels: the masked component bytes spread to 16-bit lanes.
inline void StoreFourPacked(__m128i pixels, std::uint64_t* packed)
{
    const __m128i low = _mm_and_si128(pixels, _mm_set1_epi32(0x070307));
    const __m128i count = _mm_set1_epi64x(std::int64_t{1} << 48);
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed), _mm_or_si128(_mm_unpacklo_epi8(low, zero), count));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 2), _mm_or_si128(_mm_unpackhi_epi8(low, zero), count));
}
#endif

// The slots (CellNumber x Copies + pixel number modulo Copies) of the n pixels
// at p, and when packed is given their PackedPixel words.
template <std::uint32_t Copies>
void ReadRun(const std::uint8_t* p, std::int64_t n, std::uint32_t* slots, std::uint64_t* packed)
{
    std::int64_t i = 0;
#if defined(__SSE2__)
    // The 16-byte load at pixel i ends at byte 3i + 15, inside pixel i + 5.
    for (; i + 6 <= n; i += 4) {
        const __m128i pixels = FourPixels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(slots + i), FourSlots<Copies>(pixels));
        if (packed != nullptr)
            StoreFourPacked(pixels, packed + i);
    }
#endif
    for (; i < n; ++i) {
        const std::uint32_t word = PixelWord(p + 3 * i);
        slots[i] = CellNumber(word) * Copies + static_cast<std::uint32_t>(i) % Copies;
        if (packed != nullptr)
            packed[i] = PackedPixel(word);
    }
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
// the cell, exact for any image.
struct CellSums {
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    std::uint64_t count = 0;

    void Add(std::uint64_t packed)
    {
        blue += packed & 0xFFFF;
        green += packed >> 16 & 0xFFFF;
        red += packed >> 32 & 0xFFFF;
        count += packed >> 48;
    }
};

// A red or blue lane overflows after 9362 pixels; a word whose count reaches
// kSpillCount is moved to a list of spilled words and starts again at 0. Each
// spill takes kSpillCount pixels, so the list never outgrows pixels / kSpillCount.
constexpr std::uint64_t kSpillCount = 8192;

struct SpilledWord {
    std::uint32_t cell;
    std::uint64_t packed;
};

class CellHistogram {
public:
    // Neighbouring pixels of a photo often share a cell. With one word per
    // cell, each of them would wait for the previous one's add; even and odd
    // pixels count in two words of the cell, so two adds are under way at once.
    static constexpr std::uint32_t kCopies = 2;

    explicit CellHistogram(std::int64_t pixels)
        : words_(ZeroedWork<std::uint64_t>(kCellCount * kCopies)),
          spilled_(UninitialisedWork<SpilledWord>(static_cast<std::size_t>(pixels / kSpillCount) + 1))
    {
    }

    void AddRun(const std::uint8_t* p, std::int64_t n)
    {
        std::uint32_t slots[kRun];
        std::uint64_t packed[kRun];
        ReadRun<kCopies>(p, n, slots, packed);
        std::uint64_t* words = words_.get(); // kept in a register, not reloaded per pixel
        for (std::int64_t i = 0; i < n; ++i) {
            std::uint64_t& word = words[slots[i]];
            word += packed[i];
            if (word >= kSpillCount << 48) [[unlikely]]
                Spill(slots[i] / kCopies, word);
        }
    }

    // Writes one weighted colour per used cell, in cell order, with the
    // truncated mean of its pixels; returns how many.
    std::size_t MakeColors(TWeightedColor* entries);

private:
    void Spill(std::uint32_t cell, std::uint64_t& word)
    {
        spilled_[spilledCount_++] = SpilledWord{cell, word};
        word = 0;
    }

    std::unique_ptr<std::uint64_t[]> words_;
    std::unique_ptr<SpilledWord[]> spilled_;
    std::size_t spilledCount_ = 0;
};

TWeightedColor CellColor(std::uint32_t cell, const CellSums& sums)
{
    const auto mean = [&sums](std::uint64_t sum) { return static_cast<std::int32_t>(sum / sums.count); };
    return TWeightedColor{mean(sums.red) + static_cast<std::int32_t>(cell >> 11) * 8,
                          mean(sums.green) + static_cast<std::int32_t>((cell >> 5) & 63) * 4,
                          mean(sums.blue) + static_cast<std::int32_t>(cell & 31) * 8,
                          static_cast<std::int32_t>(sums.count), static_cast<std::int32_t>(cell)};
}

std::size_t CellHistogram::MakeColors(TWeightedColor* entries)
{
    SpilledWord* spilled = spilled_.get();
    std::sort(spilled, spilled + spilledCount_,
              [](const SpilledWord& a, const SpilledWord& b) { return a.cell < b.cell; });
    std::size_t next = 0;
    std::size_t used = 0;
    for (std::uint32_t cell = 0; cell < kCellCount; ++cell) {
        CellSums sums;
        for (std::uint32_t copy = 0; copy < kCopies; ++copy)
            sums.Add(words_[cell * kCopies + copy]);
        for (; next < spilledCount_ && spilled[next].cell == cell; ++next)
            sums.Add(spilled[next].packed);
        if (sums.count > 0)
            entries[used++] = CellColor(cell, sums);
    }
    return used;
}

// Histogram, split and the cell -> palette index table. Cells without pixels
// keep index 0; no pixel looks them up.
void MakeTrueColorIndexTable(const TQvDIBInfos& source, SplitPalette& palette, std::uint8_t* indexTable)
{
    CellHistogram histogram(source.Header.biWidth * DIBRows(source.Header));
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

// Looks every pixel's cell up in the index table, into zero-filled 8- or 4-bit
// rows; in 4-bit rows the left pixel takes the high nibble.
void WriteIndices(const TQvDIBInfos& source, const std::uint8_t* table, std::uint8_t* bits, int bitCount)
{
    const std::int64_t stride = DIBStride(bitCount, source.Header.biWidth);
    ForEachRun(source, [&](std::int64_t y, std::int64_t x, const std::uint8_t* p, std::int64_t n) {
        std::uint32_t cells[kRun];
        ReadRun<1>(p, n, cells, nullptr);
        std::uint8_t* out = bits + y * stride;
        if (bitCount == 8) {
            for (std::int64_t i = 0; i < n; ++i)
                out[x + i] = table[cells[i]];
            return;
        }
        // Runs start at even pixels, so each byte holds a pixel pair of one run.
        for (std::int64_t i = 0; i < n; ++i)
            out[(x + i) / 2] |= static_cast<std::uint8_t>(table[cells[i]] << (i % 2 == 0 ? 4 : 0));
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
