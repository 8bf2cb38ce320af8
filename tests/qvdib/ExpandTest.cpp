#include "qvdib/Expand.h"
#include "qvdib/QvDIBErrors.h"
#include "support/ExpectThrow.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Expander = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool);

struct Routine {
    const char* name;
    Expander expand;
    int from, to;
};

const Routine kRoutines[] = {
    {"Convert1BitRGBTo4BitRGB", Convert1BitRGBTo4BitRGB, 1, 4},
    {"Convert1BitRGBTo8BitRGB", Convert1BitRGBTo8BitRGB, 1, 8},
    {"Convert4BitRGBTo8BitRGB", Convert4BitRGBTo8BitRGB, 4, 8},
    {"Convert1BitRGBToTrueColor", Convert1BitRGBToTrueColor, 1, 24},
    {"Convert4BitRGBToTrueColor", Convert4BitRGBToTrueColor, 4, 24},
    {"Convert8BitRGBToTrueColor", Convert8BitRGBToTrueColor, 8, 24},
};

const Routine& RoutineFor(int from, int to)
{
    return *std::find_if(std::begin(kRoutines), std::end(kRoutines),
                         [&](const Routine& r) { return r.from == from && r.to == to; });
}

// A one-row source whose first bytes are given; the rest of the row is 0.
void MakeRow(OwnedDIBInfos& image, int bitCount, int width, const Bytes& row)
{
    MakeTestDIB(image, bitCount, width, 1);
    std::copy(row.begin(), row.end(), image->Bits);
    image->ColorTable[0] = RGBQUAD{0x01, 0x02, 0x03, 0};
    image->ColorTable[1] = RGBQUAD{0xB1, 0xB2, 0xB3, 0};
    image->ColorTable[7] = RGBQUAD{0x10, 0x20, 0x30, 0};
    image->ColorTable[12] = RGBQUAD{0xC1, 0xC2, 0xC3, 0};
    image->ColorTable[255] = RGBQUAD{0xF1, 0xF2, 0xF3, 0};
}

struct RowCase {
    const char* name;
    int from, to, width;
    Bytes source;
    Bytes expected; // the whole destination row, padding included
};

class ExpandRows : public ::testing::TestWithParam<RowCase> {};

// Colours 0 and 1 of MakeRow's table as 24-bit pixels.
const Bytes kColour0 = {1, 2, 3}, kColour1 = {0xB1, 0xB2, 0xB3};

Bytes Colours(std::initializer_list<Bytes> pixels, int padding)
{
    Bytes row;
    for (const Bytes& p : pixels)
        row.insert(row.end(), p.begin(), p.end());
    row.resize(row.size() + std::size_t(padding), 0);
    return row;
}

} // namespace

TEST_P(ExpandRows, SourceRowGivesExactRow)
{
    const RowCase& c = GetParam();
    OwnedDIBInfos source(false), result(false);
    MakeRow(source, c.from, c.width, c.source);
    RoutineFor(c.from, c.to).expand(source.Get(), *result, false);
    EXPECT_EQ(PixelBytes(result.Get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpandRows,
    ::testing::Values(
        RowCase{"OneTo8", 1, 8, 10, {0xA5, 0xC0}, {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0}},
        RowCase{"OneTo4", 1, 4, 10, {0xA5, 0xC0}, {0x10, 0x10, 0x01, 0x01, 0x11, 0, 0, 0}},
        // Padding bits set in the source never reach the destination's padding.
        RowCase{"OneTo8IgnoresSourcePadding", 1, 8, 10, {0xA5, 0xFF, 0xFF, 0xFF}, {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0}},
        RowCase{"OneTo4OddWidthEndsOnZeroNibble", 1, 4, 3, {0xFF, 0xFF, 0xFF, 0xFF}, {0x11, 0x10, 0, 0}},
        RowCase{"FourTo8", 4, 8, 3, {0x3C, 0xFF, 0xFF, 0xFF}, {0x03, 0x0C, 0x0F, 0}},
        RowCase{"EightTo24", 8, 24, 2, {7, 255}, {0x10, 0x20, 0x30, 0xF1, 0xF2, 0xF3, 0, 0}},
        RowCase{"OneTo24", 1, 24, 3, {0x5F}, Colours({kColour0, kColour1, kColour0}, 3)},
        RowCase{"FourTo24", 4, 24, 3, {0x7C, 0x1F}, Colours({{0x10, 0x20, 0x30}, {0xC1, 0xC2, 0xC3}, kColour1}, 3)}),
    [](const ::testing::TestParamInfo<RowCase>& param) { return std::string(param.param.name); });

TEST(Expand, ResultKeepsPaletteHeaderFieldsAndRowOrder)
{
    for (const Routine& r : kRoutines) {
        OwnedDIBInfos source(false), result(true);
        MakeTestDIB(source, r.from, 5, -3);
        source->Bits[0] = r.from == 1 ? 0x80 : r.from == 4 ? 0x10 : 0x01; // pixel 0 is index 1
        source->Header.biClrUsed = 2;
        source->Header.biClrImportant = 1;
        source->Header.biSizeImage = 99;
        source->Header.biXPelsPerMeter = 1234;
        source->ColorTable[1] = RGBQUAD{9, 8, 7, 6};
        const Bytes before = PixelBytes(source.Get());
        r.expand(source.Get(), *result, true);

        const BITMAPINFOHEADER& h = result->Header;
        EXPECT_EQ(h.biBitCount, r.to) << r.name;
        EXPECT_EQ(h.biCompression, BI_RGB);
        EXPECT_EQ(h.biSizeImage, 0u);
        EXPECT_EQ(h.biHeight, -3) << "top-down stays top-down";
        EXPECT_EQ(h.biClrUsed, 2u);
        EXPECT_EQ(h.biClrImportant, 1u);
        EXPECT_EQ(h.biXPelsPerMeter, 1234);
        EXPECT_TRUE(std::equal(std::begin(source->ColorTable), std::end(source->ColorTable), result->ColorTable));
        EXPECT_EQ(result->BitsSize, 3 * DIBStride(r.to, 5));
        EXPECT_NE(result->FileMapping, 0);
        // The first row in memory stays first: its pixel 0 is index 1.
        const Bytes first = r.to == 24 ? Bytes{9, 8, 7} : Bytes{std::uint8_t(r.to == 4 ? 0x10 : 1)};
        EXPECT_TRUE(std::equal(first.begin(), first.end(), result->Bits)) << r.name;
        EXPECT_EQ(PixelBytes(source.Get()), before) << "source untouched";
    }
}

TEST(Expand, RefusesCompressedOrOtherDepthSources)
{
    for (const Routine& r : kRoutines) {
        const std::string message = std::string(r.name) + ": Invalid Bitcount & Compression Combination";
        const int other = r.from == 8 ? 4 : 8;
        const std::uint32_t rle = r.from == 8 ? BI_RLE8 : BI_RLE4;
        const std::pair<int, std::uint32_t> wrong[] = {{r.from, rle}, {other, BI_RGB}, {24, BI_RGB}};
        for (const auto& [bitCount, compression] : wrong) {
            OwnedDIBInfos source(false), result(false);
            MakeTestDIB(source, bitCount, 4, 1, compression);
            source->Header.biHeight = INT32_MIN; // no allocation could succeed: the format is checked first
            EXPECT_THROW_MESSAGE(r.expand(source.Get(), *result, false), EQvDIBBadDIBType, message);
        }
    }
}

// Every route to a depth gives the same picture: widening the indices first and
// looking up colours afterwards equals looking them up directly.
TEST(Expand, ChainedExpansionsAgreeWithDirectOnes)
{
    struct Chain {
        int from, via, to;
    };
    const Chain chains[] = {{1, 4, 8}, {1, 8, 24}, {4, 8, 24}, {1, 4, 24}};
    std::mt19937 random(11);
    for (const Chain& c : chains)
        for (const int width : {1, 2, 7, 8, 9, 15, 33, 100})
            for (const int height : {3, -3}) {
                OwnedDIBInfos source(false), step(false), chained(false), direct(false);
                MakeTestDIB(source, c.from, width, height);
                for (int i = 0; i < source->BitsSize; ++i)
                    source->Bits[i] = std::uint8_t(random());
                for (int i = 0; i < 256; ++i)
                    source->ColorTable[i] = RGBQUAD{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7), 0};
                RoutineFor(c.from, c.via).expand(source.Get(), *step, false);
                RoutineFor(c.via, c.to).expand(step.Get(), *chained, false);
                RoutineFor(c.from, c.to).expand(source.Get(), *direct, false);
                ASSERT_EQ(PixelBytes(chained.Get()), PixelBytes(direct.Get()))
                    << c.from << " -> " << c.via << " -> " << c.to << ", " << width << " x " << height;
            }
}
