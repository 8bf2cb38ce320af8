#include "qvdib/HalfTone.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <memory>

namespace {

// The error of a pixel is spread over the next pixels with these weights, out of
// 32: to the pixel below, to the next pixel in the row and to the pixel below and
// behind the scan direction. The remaining 3/32 are dropped, so errors fade.
constexpr int kUpWeight = 12;
constexpr int kRunWeight = 12;
constexpr int kDiagonalWeight = 5;
constexpr int kWeightScale = 32;

// The largest correction a pixel can get when no stored error exceeds bound:
// the weighted sum, divided with truncation.
constexpr int LargestCorrection(int bound)
{
    return (kUpWeight + kRunWeight + kDiagonalWeight) * bound / kWeightScale;
}

// ---- The level lookup of the colour halftone ----

// Corrected component values covered by the lookup: -256 .. 512.
constexpr int kLookupLow = -256;
constexpr int kLookupSize = 769;

// For every corrected value v: the component's share of the palette index and
// the error (level - v) it leaves behind.
struct ComponentLookup {
    std::array<std::uint8_t, kLookupSize> index{};
    std::array<std::int16_t, kLookupSize> error{};
    std::array<std::int16_t, kLookupSize> weightedError{}; // 12 × error, as the next pixel takes it
};

// lowerBounds[n] is the first value that maps to level n + 1. The bounds are
// fixed numbers, not the midpoints between levels.
template <std::size_t Levels>
constexpr ComponentLookup MakeLookup(const std::array<std::uint8_t, Levels>& levels,
                                     const std::array<int, Levels - 1>& lowerBounds, int indexStep)
{
    ComponentLookup lookup;
    for (int i = 0; i < kLookupSize; ++i) {
        const int v = i + kLookupLow;
        std::size_t level = 0;
        while (level < Levels - 1 && v >= lowerBounds[level])
            ++level;
        lookup.index[std::size_t(i)] = std::uint8_t(int(level) * indexStep);
        lookup.error[std::size_t(i)] = std::int16_t(levels[level] - v);
        lookup.weightedError[std::size_t(i)] = std::int16_t(kRunWeight * (levels[level] - v));
    }
    return lookup;
}

constexpr ComponentLookup kRedLookup = MakeLookup(HalfToneRedLevels, {26, 77, 128, 179, 231}, 35);
constexpr ComponentLookup kGreenLookup = MakeLookup(HalfToneGreenLevels, {22, 64, 107, 150, 193, 234}, 5);
constexpr ComponentLookup kBlueLookup = MakeLookup(HalfToneBlueLevels, {32, 96, 160, 224}, 1);

// The largest |error| the lookup leaves for corrected values in low .. high.
constexpr int LargestError(const ComponentLookup& lookup, int low, int high)
{
    int largest = 0;
    for (int v = low; v <= high; ++v) {
        const int error = lookup.error[std::size_t(v - kLookupLow)];
        largest = std::max(largest, error < 0 ? -error : error);
    }
    return largest;
}

// Why no corrected value can leave the lookup: components are bytes (0..255), and
// if no stored error exceeds kColorErrorBound the correction is at most
// LargestCorrection of it, so v stays within -29 .. 284; there every level leaves
// an error of at most kColorErrorBound again. The first row starts from zero
// errors, so the bound holds for the whole image, whatever the colour table holds.
constexpr int kColorErrorBound = 32;
constexpr int kColorLow = -LargestCorrection(kColorErrorBound);
constexpr int kColorHigh = 255 + LargestCorrection(kColorErrorBound);
static_assert(kColorLow == -29 && kColorHigh == 284);
static_assert(LargestError(kRedLookup, kColorLow, kColorHigh) <= kColorErrorBound);
static_assert(LargestError(kGreenLookup, kColorLow, kColorHigh) <= kColorErrorBound);
static_assert(LargestError(kBlueLookup, kColorLow, kColorHigh) <= kColorErrorBound);
static_assert(kColorLow >= kLookupLow && kColorHigh < kLookupLow + kLookupSize);

// The same argument for black and white, where the error is 255 - v or -v: with
// errors up to kMonoErrorBound, v lies within -2465 .. 2720 and the new error
// again within the bound, which fits the 16-bit error records.
constexpr int kMonoErrorBound = 2720;
static_assert(255 + LargestCorrection(kMonoErrorBound) <= kMonoErrorBound);
static_assert(kMonoErrorBound <= INT16_MAX);

// ---- Errors and pixels ----

// The red, green and blue error one pixel left for its neighbours.
struct TColorError {
    std::int16_t red, green, blue;
};

struct Rgb {
    int red, green, blue;
};

// The colour of pixel x of a stored row; indexed depths go through the colour
// table whatever biClrUsed says (an index byte cannot reach past its 256 entries).
template <int BitCount>
Rgb ReadPixel(const std::uint8_t* row, const RGBQUAD* colors, int x)
{
    if constexpr (BitCount == 24) {
        const std::uint8_t* p = row + 3 * std::ptrdiff_t(x);
        return {p[2], p[1], p[0]};
    } else {
        int index = 0;
        if constexpr (BitCount == 8)
            index = row[x];
        else if constexpr (BitCount == 4)
            index = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
        else
            index = (row[x / 8] >> (7 - (x & 7))) & 1;
        const RGBQUAD& c = colors[index];
        return {c.rgbRed, c.rgbGreen, c.rgbBlue};
    }
}

// The part of a pixel's correction that comes from the row above: the error of
// the pixel above and of the upper neighbour behind the scan direction, weighted.
// The running error of the pixel before is added by the quantizer, which keeps it.
inline Rgb FromAbove(const TColorError& up, const TColorError& diagonal)
{
    return {kUpWeight * up.red + kDiagonalWeight * diagonal.red,
            kUpWeight * up.green + kDiagonalWeight * diagonal.green,
            kUpWeight * up.blue + kDiagonalWeight * diagonal.blue};
}

// Maps corrected values onto the 215-colour cube, one palette index a byte. The
// corrected value is v = wanted - (fromAbove + 12 × running error) / 32, the
// division truncating toward zero. The running error is kept already weighted
// (a second lookup), which keeps the chain from one pixel to the next short.
class ColorQuantizer {
public:
    explicit ColorQuantizer(int) {}
    void StartRow(std::uint8_t* row)
    {
        row_ = row;
        runRed_ = runGreen_ = runBlue_ = 0;
    }
    TColorError Put(int x, const Rgb& wanted, const Rgb& fromAbove)
    {
        const std::size_t r = std::size_t(wanted.red - (fromAbove.red + runRed_) / kWeightScale - kLookupLow);
        const std::size_t g = std::size_t(wanted.green - (fromAbove.green + runGreen_) / kWeightScale - kLookupLow);
        const std::size_t b = std::size_t(wanted.blue - (fromAbove.blue + runBlue_) / kWeightScale - kLookupLow);
        row_[x] = std::uint8_t(kRedLookup.index[r] + kGreenLookup.index[g] + kBlueLookup.index[b]);
        runRed_ = kRedLookup.weightedError[r];
        runGreen_ = kGreenLookup.weightedError[g];
        runBlue_ = kBlueLookup.weightedError[b];
        return {kRedLookup.error[r], kGreenLookup.error[g], kBlueLookup.error[b]};
    }
    void FinishRow(int) {}

private:
    std::uint8_t* row_ = nullptr;
    int runRed_ = 0, runGreen_ = 0, runBlue_ = 0;
};

// Black when the corrected components sum below 384, white from 384 on; the
// error left is 255 - v (white) or -v (black) per component. The decisions of
// a row are gathered a byte each and packed into bits afterwards, so the pass
// never reads back the byte it has just written.
class MonoQuantizer {
public:
    explicit MonoQuantizer(int width) : white_(ZeroedWork<std::uint8_t>(std::size_t(width))) {}
    void StartRow(std::uint8_t* row)
    {
        row_ = row;
        runRed_ = runGreen_ = runBlue_ = 0;
    }
    TColorError Put(int x, const Rgb& wanted, const Rgb& fromAbove)
    {
        const int red = wanted.red - (fromAbove.red + kRunWeight * runRed_) / kWeightScale;
        const int green = wanted.green - (fromAbove.green + kRunWeight * runGreen_) / kWeightScale;
        const int blue = wanted.blue - (fromAbove.blue + kRunWeight * runBlue_) / kWeightScale;
        const bool white = red + green + blue >= 384;
        white_[std::size_t(x)] = std::uint8_t(white);
        const int level = white ? 255 : 0;
        runRed_ = level - red;
        runGreen_ = level - green;
        runBlue_ = level - blue;
        return {std::int16_t(runRed_), std::int16_t(runGreen_), std::int16_t(runBlue_)};
    }
    void FinishRow(int width)
    {
        for (int x = 0; x < width; x += 8) {
            unsigned bits = 0;
            const int end = std::min(width, x + 8);
            for (int i = x; i < end; ++i)
                bits |= unsigned(white_[std::size_t(i)]) << (7 - (i - x));
            row_[x / 8] = std::uint8_t(bits);
        }
    }

private:
    std::unique_ptr<std::uint8_t[]> white_;
    std::uint8_t* row_ = nullptr;
    int runRed_ = 0, runGreen_ = 0, runBlue_ = 0;
};

// One row in scan direction Step (+1 left to right, -1 right to left). above and
// current have width + 2 entries; pixel x uses entry x + 1, and the two margins
// stay zero. The diagonal neighbour is the upper one behind the scan direction.
template <int BitCount, int Step, class Quantizer>
void DiffuseRow(const std::uint8_t* sourceRow, const RGBQUAD* colors, const TColorError* above,
                TColorError* current, Quantizer& quantizer, int width)
{
    constexpr int diagonal = Step > 0 ? 0 : 2;
    int x = Step > 0 ? 0 : width - 1;
    for (int n = 0; n < width; ++n, x += Step) {
        const TColorError e = quantizer.Put(x, ReadPixel<BitCount>(sourceRow, colors, x),
                                            FromAbove(above[x + 1], above[x + diagonal]));
        // Field by field: a whole-record copy goes through the stack and stalls.
        current[x + 1].red = e.red;
        current[x + 1].green = e.green;
        current[x + 1].blue = e.blue;
    }
}

struct Layout {
    int width;
    std::int64_t rows;
    std::int64_t sourceStride;
    std::int64_t destinationStride;
};

template <int BitCount, class Quantizer>
void DiffuseImage(const TQvDIBInfos& source, std::uint8_t* pixels, const Layout& layout)
{
    // The row of errors above and the one being made. Swapping them at the start of
    // a row equals copying: every entry but the zero margins is rewritten.
    auto above = ZeroedWork<TColorError>(std::size_t(layout.width) + 2);
    auto current = ZeroedWork<TColorError>(std::size_t(layout.width) + 2);
    Quantizer quantizer(layout.width);
    for (std::int64_t y = 0; y < layout.rows; ++y) {
        std::swap(above, current);
        const std::uint8_t* sourceRow = source.Bits + y * layout.sourceStride;
        quantizer.StartRow(pixels + y * layout.destinationStride);
        if (y % 2 == 0)
            DiffuseRow<BitCount, +1>(sourceRow, source.ColorTable, above.get(), current.get(), quantizer,
                                     layout.width);
        else
            DiffuseRow<BitCount, -1>(sourceRow, source.ColorTable, above.get(), current.get(), quantizer,
                                     layout.width);
        quantizer.FinishRow(layout.width);
    }
}

bool IsSupportedBitCount(int bitCount)
{
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
}

// The checks made before anything is allocated. Besides format and depth, the
// source must really hold the rows its header describes: the pass reads every one.
void CheckSource(const TQvDIBInfos& source, std::string_view routine)
{
    const std::string name(routine);
    const BITMAPINFOHEADER& h = source.Header;
    QvAssert(h.biCompression == BI_RGB, name + ": Invalid DIB Format");
    QvAssert(IsSupportedBitCount(h.biBitCount), name + ": Invalid Bit Count");
    QvAssert(HoldsItsPixels(source), name + ": Invalid DIB Format");
}

// Renders a checked source into memory of the destination depth, dispatching on
// the source depth.
template <class Quantizer>
void Render(const TQvDIBInfos& source, PixelBuffer& memory, int destinationBitCount)
{
    const BITMAPINFOHEADER& h = source.Header;
    const Layout layout{h.biWidth, DIBRows(h), DIBStride(h.biBitCount, h.biWidth),
                        DIBStride(destinationBitCount, h.biWidth)};
    switch (h.biBitCount) {
    case 1: DiffuseImage<1, Quantizer>(source, memory.Bits(), layout); break;
    case 4: DiffuseImage<4, Quantizer>(source, memory.Bits(), layout); break;
    case 8: DiffuseImage<8, Quantizer>(source, memory.Bits(), layout); break;
    default: DiffuseImage<24, Quantizer>(source, memory.Bits(), layout); break;
    }
}

} // namespace

std::array<RGBQUAD, kHalfTonePaletteSize> MakeHalfToneColorTable()
{
    std::array<RGBQUAD, kHalfTonePaletteSize> table{};
    for (std::size_t r = 0; r < HalfToneRedLevels.size(); ++r)
        for (std::size_t g = 0; g < HalfToneGreenLevels.size(); ++g)
            for (std::size_t b = 0; b < HalfToneBlueLevels.size(); ++b)
                table[35 * r + 5 * g + b] = {HalfToneBlueLevels[b], HalfToneGreenLevels[g], HalfToneRedLevels[r], 0};
    for (std::size_t i = 0; i < HalfToneExtraColors.size(); ++i) {
        const THalfToneColor& c = HalfToneExtraColors[i];
        table[kHalfToneCubeSize + i] = {c.blue, c.green, c.red, 0};
    }
    return table;
}

void ConvertToHalfTone(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    CheckSource(source, "ConvertToHalfTone");
    PixelBuffer memory(ConvertedImageSize(source, 8), useFMO);
    Render<ColorQuantizer>(source, memory, 8);

    FinishConversion(source, destination, memory, 8);
    destination.Header.biClrUsed = kHalfTonePaletteSize;
    const auto table = MakeHalfToneColorTable();
    std::copy(table.begin(), table.end(), destination.ColorTable);
}

void ConvertToHalfToneBW(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    CheckSource(source, "ConvertToHalfToneBW");
    PixelBuffer memory(ConvertedImageSize(source, 1), useFMO);
    Render<MonoQuantizer>(source, memory, 1);

    FinishConversion(source, destination, memory, 1);
    destination.Header.biClrUsed = 2;
    destination.ColorTable[0] = RGBQUAD{0, 0, 0, 0};
    destination.ColorTable[1] = RGBQUAD{255, 255, 255, 0};
}
