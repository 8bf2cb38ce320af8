#include "qvdib/HalfTone.h"
#include "qvdib/QvDIBErrors.h"
#include "support/ExpectThrow.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Kind { Color, Mono };

struct Rgb {
    int red, green, blue;
};

void Convert(Kind kind, const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO = false)
{
    if (kind == Kind::Color)
        ConvertToHalfTone(source, destination, useFMO);
    else
        ConvertToHalfToneBW(source, destination, useFMO);
}

// A 24-bit image from rows of colours given in storage order.
void Make24(OwnedDIBInfos& image, const std::vector<std::vector<Rgb>>& rows, bool topDown = false)
{
    const int width = int(rows[0].size());
    const int height = int(rows.size());
    MakeTestDIB(image, 24, width, topDown ? -height : height);
    const auto stride = std::size_t(DIBStride(24, width));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x) {
            std::uint8_t* p = image->Bits + y * stride + 3 * x;
            p[0] = std::uint8_t(rows[y][x].blue);
            p[1] = std::uint8_t(rows[y][x].green);
            p[2] = std::uint8_t(rows[y][x].red);
        }
}

std::vector<std::vector<Rgb>> Uniform(Rgb colour, int width, int height)
{
    return std::vector<std::vector<Rgb>>(std::size_t(height), std::vector<Rgb>(std::size_t(width), colour));
}

// Output value of pixel x in stored row y: a palette index, or 0/1 for black and white.
int OutputAt(Kind kind, const TQvDIBInfos& result, int x, int y)
{
    const auto stride = DIBStride(result.Header.biBitCount, result.Header.biWidth);
    const std::uint8_t* row = result.Bits + y * stride;
    return kind == Kind::Color ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
}

// Names parameterised cases after their name field.
struct ByName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& param) const
    {
        return param.param.name;
    }
};

// ---- An independent statement of the pass, for cross-checks ----

// Kept deliberately plain: the whole image of errors, the levels found by
// searching their bounds, the scan order and neighbours written out per row.
class ReferenceHalfTone {
public:
    ReferenceHalfTone(Kind kind, int width, int height)
        : kind_(kind), width_(width), height_(height),
          errors_(std::size_t(width * height), std::array<int, 3>{})
    {
    }

    // colours[y][x] in storage order; returns outputs in the same layout.
    std::vector<std::vector<int>> Run(const std::vector<std::vector<Rgb>>& colours)
    {
        std::vector<std::vector<int>> out(std::size_t(height_), std::vector<int>(std::size_t(width_), 0));
        for (int y = 0; y < height_; ++y) {
            const bool leftToRight = y % 2 == 0;
            std::array<int, 3> running{};
            for (int n = 0; n < width_; ++n) {
                const int x = leftToRight ? n : width_ - 1 - n;
                const auto up = ErrorAt(x, y - 1);
                const auto diagonal = ErrorAt(leftToRight ? x - 1 : x + 1, y - 1);
                const Rgb c = colours[std::size_t(y)][std::size_t(x)];
                const int wanted[3] = {c.red, c.green, c.blue};
                std::array<int, 3> v{};
                for (int i = 0; i < 3; ++i) {
                    const int sum = 12 * up[i] + 12 * running[i] + 5 * diagonal[i];
                    v[i] = wanted[i] - sum / 32; // C++ division truncates toward zero
                    lowest_ = std::min(lowest_, v[i]);
                    highest_ = std::max(highest_, v[i]);
                }
                running = Quantize(v, out[std::size_t(y)][std::size_t(x)]);
                errors_[std::size_t(y * width_ + x)] = running;
            }
        }
        return out;
    }

    int Lowest() const { return lowest_; }
    int Highest() const { return highest_; }

private:
    std::array<int, 3> ErrorAt(int x, int y) const
    {
        if (x < 0 || x >= width_ || y < 0)
            return {};
        return errors_[std::size_t(y * width_ + x)];
    }

    std::array<int, 3> Quantize(const std::array<int, 3>& v, int& output) const
    {
        if (kind_ == Kind::Mono) {
            const bool white = v[0] + v[1] + v[2] >= 384;
            output = white ? 1 : 0;
            const int level = white ? 255 : 0;
            return {level - v[0], level - v[1], level - v[2]};
        }
        static const std::vector<int> redBounds{26, 77, 128, 179, 231}, greenBounds{22, 64, 107, 150, 193, 234},
            blueBounds{32, 96, 160, 224};
        const int r = Level(v[0], redBounds), g = Level(v[1], greenBounds), b = Level(v[2], blueBounds);
        output = 35 * r + 5 * g + b;
        return {HalfToneRedLevels[std::size_t(r)] - v[0], HalfToneGreenLevels[std::size_t(g)] - v[1],
                HalfToneBlueLevels[std::size_t(b)] - v[2]};
    }

    static int Level(int v, const std::vector<int>& bounds)
    {
        return int(std::count_if(bounds.begin(), bounds.end(), [v](int bound) { return v >= bound; }));
    }

    Kind kind_;
    int width_, height_;
    std::vector<std::array<int, 3>> errors_;
    int lowest_ = 0, highest_ = 0;
};

} // namespace

// ---- Worked examples ----

struct UniformCase {
    Rgb colour;
    int expected; // every destination byte
};

class UniformColour : public ::testing::TestWithParam<UniformCase> {};

// Colours that hit a level exactly leave no error, so every pixel maps alike.
TEST_P(UniformColour, HitsOneEntryEverywhere)
{
    const UniformCase c = GetParam();
    OwnedDIBInfos source(false), result(false);
    Make24(source, Uniform(c.colour, 6, 5));
    ConvertToHalfTone(source.Get(), *result, false);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(OutputAt(Kind::Color, result.Get(), x, y), c.expected) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Levels, UniformColour,
                         ::testing::Values(UniformCase{{255, 255, 255}, 209}, UniformCase{{0, 0, 0}, 0},
                                           UniformCase{{51, 43, 64}, 41}));

TEST(HalfTone, MidGreyDithersRedOnlyWithGreenAndBlueExact)
{
    OwnedDIBInfos source(false), result(false);
    Make24(source, Uniform({128, 128, 128}, 16, 9));
    ConvertToHalfTone(source.Get(), *result, false);
    std::vector<int> seen;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) {
            const int index = OutputAt(Kind::Color, result.Get(), x, y);
            EXPECT_EQ(index % 35, 5 * 3 + 2) << "green level 128 and blue level 128";
            seen.push_back(index / 35);
        }
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{2, 3})) << "red alternates between 102 and 153";
}

struct HandCase {
    const char* name;
    Kind kind;
    std::vector<std::vector<Rgb>> rows; // storage order
    std::vector<std::uint8_t> bits;     // whole destination, padding included
};

class HandWorked : public ::testing::TestWithParam<HandCase> {};

TEST_P(HandWorked, MatchesTheWorkedBytes)
{
    const HandCase& c = GetParam();
    for (const bool topDown : {false, true}) {
        OwnedDIBInfos source(false), result(false);
        Make24(source, c.rows, topDown);
        Convert(c.kind, source.Get(), *result);
        EXPECT_EQ(PixelBytes(result.Get()), c.bits) << (topDown ? "top-down" : "bottom-up");
    }
}

const Rgb kGrey{128, 128, 128};
const Rgb kBlack{0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Examples, HandWorked,
    ::testing::Values(
        // Red 128 -> 153 leaves 25; 128 - 12*25/32 = 119 -> 102 leaves -17; 128 + 6 -> 153 ...
        // Row 1 runs right to left, taking its diagonal from above and to the right.
        HandCase{"GreyThreeByTwo", Kind::Color, {{kGrey, kGrey, kGrey}, {kGrey, kGrey, kGrey}},
                 {122, 87, 122, 0, 87, 122, 87, 0}},
        HandCase{"Sum384IsWhite", Kind::Mono, {{kGrey}}, {0x80, 0, 0, 0}},
        HandCase{"Sum383IsBlack", Kind::Mono, {{{128, 128, 127}}}, {0, 0, 0, 0}},
        // White leaves 127 each; the next pixel gets 128 - 1524/32 = 81, black.
        HandCase{"ErrorRunsAlongTheRow", Kind::Mono, {{kGrey, kGrey}}, {0x80, 0, 0, 0}},
        HandCase{"ErrorRunsDownOneColumn", Kind::Mono, {{kGrey}, {kGrey}}, {0x80, 0, 0, 0, 0, 0, 0, 0}},
        // Row 0 is black without error. Row 1 starts at its right end with no
        // running error (white) and hands 127 to its left neighbour (black).
        HandCase{"OddRowRunsRightToLeft", Kind::Mono, {{kBlack, kBlack}, {kGrey, kGrey}},
                 {0, 0, 0, 0, 0x40, 0, 0, 0}}),
    ByName());

// ---- Indexed sources read through their own colour table ----

struct IndexedCase {
    const char* name;
    int bitCount;
    std::uint32_t clrUsed;
    std::vector<std::uint8_t> row; // one stored row
    std::vector<std::pair<int, RGBQUAD>> colours;
    std::vector<int> expected; // colour halftone of the first pixels
};

class IndexedSource : public ::testing::TestWithParam<IndexedCase> {};

TEST_P(IndexedSource, PixelsTakeTheirTableColours)
{
    const IndexedCase& c = GetParam();
    const int width = int(c.expected.size());
    OwnedDIBInfos source(false), result(false);
    std::vector<std::uint8_t> bits(std::size_t(DIBStride(c.bitCount, width)));
    std::copy(c.row.begin(), c.row.end(), bits.begin());
    MakeTestDIB(source, c.bitCount, width, 1, BI_RGB, bits);
    source->Header.biClrUsed = c.clrUsed;
    for (const auto& [index, colour] : c.colours)
        source->ColorTable[index] = colour;
    ConvertToHalfTone(source.Get(), *result, false);
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(OutputAt(Kind::Color, result.Get(), x, 0), c.expected[std::size_t(x)]) << x;
}

const RGBQUAD kWhiteQuad{255, 255, 255, 0};
const RGBQUAD kBlackQuad{0, 0, 0, 0};
const RGBQUAD kCubeQuad{64, 43, 51, 0}; // (51, 43, 64), entry 41

INSTANTIATE_TEST_SUITE_P(
    Tables, IndexedSource,
    ::testing::Values(
        IndexedCase{"OneBitInverted", 1, 2, {0b01000000}, {{0, kWhiteQuad}, {1, kBlackQuad}}, {209, 0, 209}},
        IndexedCase{"FourBitHighNibbleFirst", 4, 16, {0x12}, {{1, kCubeQuad}, {2, kWhiteQuad}}, {41, 209}},
        IndexedCase{"EightBitBeyondClrUsed", 8, 2, {200, 255}, {{200, kWhiteQuad}, {255, kCubeQuad}}, {209, 41}}),
    ByName());

// ---- Cross-check against the plain statement, every depth and row order ----

struct ReferenceCase {
    int bitCount, width, height;
    friend std::ostream& operator<<(std::ostream& out, const ReferenceCase& c)
    {
        return out << c.bitCount << " bits, " << c.width << " x " << c.height;
    }
};

class AgainstReference : public ::testing::TestWithParam<ReferenceCase> {};

// Random pixels and random colour tables, so that errors of every size and sign
// reach every neighbour. Both kinds, and the corrected values of the colour
// halftone stay within -29 .. 284.
TEST_P(AgainstReference, EveryPixelAgrees)
{
    const ReferenceCase c = GetParam();
    const int rows = c.height < 0 ? -c.height : c.height;
    std::mt19937 random(unsigned(c.bitCount * 1000 + c.width * 10 + rows));
    auto byte = [&random] { return std::uint8_t(random() & 0xFF); };

    OwnedDIBInfos source(false);
    MakeTestDIB(source, c.bitCount, c.width, c.height);
    for (RGBQUAD& q : source->ColorTable)
        q = {byte(), byte(), byte(), byte()};
    for (std::int32_t i = 0; i < source->BitsSize; ++i)
        source->Bits[i] = byte();

    // The colour of every pixel as the source format defines it.
    std::vector<std::vector<Rgb>> colours(std::size_t(rows), std::vector<Rgb>(std::size_t(c.width)));
    const auto stride = DIBStride(c.bitCount, c.width);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < c.width; ++x) {
            const std::uint8_t* row = source->Bits + y * stride;
            if (c.bitCount == 24) {
                colours[std::size_t(y)][std::size_t(x)] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                continue;
            }
            const int bitOffset = x * c.bitCount;
            const int index = (row[bitOffset / 8] >> (8 - c.bitCount - bitOffset % 8)) & ((1 << c.bitCount) - 1);
            const RGBQUAD q = source->ColorTable[index];
            colours[std::size_t(y)][std::size_t(x)] = {q.rgbRed, q.rgbGreen, q.rgbBlue};
        }

    for (const Kind kind : {Kind::Color, Kind::Mono}) {
        ReferenceHalfTone reference(kind, c.width, rows);
        const auto expected = reference.Run(colours);
        OwnedDIBInfos result(false);
        Convert(kind, source.Get(), *result);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < c.width; ++x) {
                const int got = OutputAt(kind, result.Get(), x, y);
                ASSERT_EQ(got, expected[std::size_t(y)][std::size_t(x)]) << "pixel " << x << "," << y;
                ASSERT_LT(got, kHalfToneCubeSize) << "the extra colours are never produced";
            }
        if (kind == Kind::Color) {
            EXPECT_GE(reference.Lowest(), -29);
            EXPECT_LE(reference.Highest(), 284);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DepthsAndRowOrders, AgainstReference,
                         ::testing::Values(ReferenceCase{24, 1, 9}, ReferenceCase{24, 37, 11},
                                           ReferenceCase{24, 33, -8}, ReferenceCase{8, 13, 7},
                                           ReferenceCase{8, 2, -6}, ReferenceCase{4, 7, 6},
                                           ReferenceCase{4, 9, -5}, ReferenceCase{1, 17, 4},
                                           ReferenceCase{1, 1, -7}));

// Alternating extremes are the hardest input for the error bounds: every pixel
// lands far from its level, in both directions.
TEST(HalfTone, ExtremeCheckerboardStaysInsideTheLevelTables)
{
    constexpr int width = 64, height = 32;
    std::vector<std::vector<Rgb>> rows = Uniform({0, 0, 0}, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x + y) % 2 == 0)
                rows[std::size_t(y)][std::size_t(x)] = {255, 255, 255};
            else
                rows[std::size_t(y)][std::size_t(x)] = {25, 21, 31}; // just below the first bounds
    OwnedDIBInfos source(false), result(false);
    Make24(source, rows);
    ReferenceHalfTone reference(Kind::Color, width, height);
    const auto expected = reference.Run(rows);
    ConvertToHalfTone(source.Get(), *result, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(OutputAt(Kind::Color, result.Get(), x, y), expected[std::size_t(y)][std::size_t(x)]);
    EXPECT_GE(reference.Lowest(), -29);
    EXPECT_LE(reference.Highest(), 284);
}

// ---- The result record ----

class ResultRecord : public ::testing::TestWithParam<bool> {};

TEST_P(ResultRecord, NewPixelsNewPaletteOtherFieldsKept)
{
    const bool useFMO = GetParam();
    OwnedDIBInfos source(false);
    MakeTestDIB(source, 4, 5, -3);
    for (int i = 0; i < kColorTableEntries; ++i)
        source->ColorTable[i] = {std::uint8_t(i), std::uint8_t(i + 1), std::uint8_t(i + 2), std::uint8_t(i + 3)};
    source->Header.biSizeImage = 12;
    source->Header.biClrImportant = 7;
    source->Header.biPlanes = 3;
    source->Header.biXPelsPerMeter = 1000;
    const TQvDIBInfos before = source.Get();
    const std::vector<std::uint8_t> pixelsBefore = PixelBytes(source.Get());

    const auto colourTable = MakeHalfToneColorTable();
    for (const Kind kind : {Kind::Color, Kind::Mono}) {
        OwnedDIBInfos result(useFMO);
        Convert(kind, source.Get(), *result, useFMO);
        const TQvDIBInfos& r = result.Get();
        const int bitCount = kind == Kind::Color ? 8 : 1;
        const std::uint32_t entries = kind == Kind::Color ? kHalfTonePaletteSize : 2;
        EXPECT_NE(r.Bits, source->Bits);
        EXPECT_EQ(r.FileMapping != 0, useFMO);
        EXPECT_EQ(r.BitsSize, 3 * DIBStride(bitCount, 5));
        EXPECT_EQ(r.Header.biBitCount, bitCount);
        EXPECT_EQ(r.Header.biClrUsed, entries);
        EXPECT_EQ(r.Header.biCompression, BI_RGB);
        EXPECT_EQ(r.Header.biSizeImage, 0u);
        BITMAPINFOHEADER kept = r.Header;
        kept.biBitCount = before.Header.biBitCount;
        kept.biClrUsed = before.Header.biClrUsed;
        kept.biSizeImage = before.Header.biSizeImage;
        EXPECT_EQ(std::memcmp(&kept, &before.Header, sizeof kept), 0) << "all other header fields kept";
        if (kind == Kind::Color)
            EXPECT_TRUE(std::equal(colourTable.begin(), colourTable.end(), r.ColorTable));
        else {
            EXPECT_EQ(r.ColorTable[0], (RGBQUAD{0, 0, 0, 0}));
            EXPECT_EQ(r.ColorTable[1], (RGBQUAD{255, 255, 255, 0}));
        }
        EXPECT_TRUE(std::equal(r.ColorTable + entries, r.ColorTable + kColorTableEntries,
                               before.ColorTable + entries))
            << "later entries come from the source";
    }
    const TQvDIBInfos& after = source.Get();
    EXPECT_EQ(after.Bits, before.Bits);
    EXPECT_EQ(after.BitsSize, before.BitsSize);
    EXPECT_EQ(std::memcmp(&after.Header, &before.Header, sizeof before.Header), 0) << "source header unchanged";
    EXPECT_TRUE(std::equal(after.ColorTable, after.ColorTable + kColorTableEntries, before.ColorTable));
    EXPECT_EQ(PixelBytes(source.Get()), pixelsBefore) << "source pixels unchanged";
}

INSTANTIATE_TEST_SUITE_P(MappingAndHeap, ResultRecord, ::testing::Bool());

TEST(HalfTone, ColourTableIsTheCubeThenTheExtraColours)
{
    const auto table = MakeHalfToneColorTable();
    EXPECT_EQ(table[0], (RGBQUAD{0, 0, 0, 0}));
    EXPECT_EQ(table[41], (RGBQUAD{64, 43, 51, 0}));               // r 1, g 1, b 1
    EXPECT_EQ(table[35 * 4 + 5 * 6 + 3], (RGBQUAD{192, 255, 204, 0})); // r 4, g 6, b 3
    EXPECT_EQ(table[209], (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(table[210], (RGBQUAD{0, 0, 128, 0}));
    EXPECT_EQ(table[213], (RGBQUAD{192, 192, 192, 0}));
    EXPECT_EQ(table[214], (RGBQUAD{128, 128, 128, 0}));
}

// ---- Refused sources ----

struct RefusedCase {
    const char* name;
    int bitCount;
    std::uint32_t compression;
    int bitsShortBy; // pixel memory shorter than the header says
    const char* problem;
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, AssertionWithTheRoutineNameAndDestinationUntouched)
{
    const RefusedCase& c = GetParam();
    OwnedDIBInfos source(false);
    const auto size = *DIBImageSize(c.bitCount, 6, 4);
    MakeTestDIB(source, c.bitCount, 6, 4, c.compression, std::vector<std::uint8_t>(std::size_t(size - c.bitsShortBy)));
    for (const Kind kind : {Kind::Color, Kind::Mono}) {
        TQvDIBInfos destination{};
        destination.BitsSize = 77;
        const std::string routine = kind == Kind::Color ? "ConvertToHalfTone" : "ConvertToHalfToneBW";
        EXPECT_THROW_MESSAGE(Convert(kind, source.Get(), destination), EAssertionFailed,
                             routine + ": " + c.problem + " (QvDIB)");
        EXPECT_EQ(destination.BitsSize, 77);
        EXPECT_EQ(destination.Bits, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Refused,
    ::testing::Values(RefusedCase{"Rle8", 8, BI_RLE8, 0, "Invalid DIB Format"},
                      RefusedCase{"Rle4", 4, BI_RLE4, 0, "Invalid DIB Format"},
                      RefusedCase{"BitFields", 24, BI_BITFIELDS, 0, "Invalid DIB Format"},
                      RefusedCase{"SixteenBits", 16, BI_RGB, 0, "Invalid Bit Count"},
                      RefusedCase{"ThirtyTwoBits", 32, BI_RGB, 0, "Invalid Bit Count"},
                      RefusedCase{"TwoBits", 2, BI_RGB, 0, "Invalid Bit Count"},
                      RefusedCase{"PixelsShorterThanHeader", 24, BI_RGB, 1, "Invalid DIB Format"}),
    ByName());
