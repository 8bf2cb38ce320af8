// What the three variance-split reductions (fast, high quality, 8-bit palette)
// have in common: palette order, leaf colours, row layout, header, progress,
// and the conversion routine contract.
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReduceFast.h"
#include "qvdib/ReduceHigh.h"
#include "qvdib/ReducePalette.h"
#include "support/Descriptors.h"
#include "support/ExpectThrow.h"
#include "tests/qvdib/ReductionFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace {

using ReductionRoutine = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&);

struct Reduction {
    const char* name;
    const char* routine;
    ReductionRoutine run;
    int sourceBits;
    int resultBits;
    int steps; // progress calls: one per leaf position of the split
};

const Reduction kReductions[] = {
    {"Fast8", "ConvertTrueColorTo8BitRGBLow", ConvertTrueColorTo8BitRGBLow, 24, 8, 256},
    {"Fast4", "ConvertTrueColorTo4BitRGBLow", ConvertTrueColorTo4BitRGBLow, 24, 4, 16},
    {"High8", "ConvertTrueColorTo8BitRGBHigh", ConvertTrueColorTo8BitRGBHigh, 24, 8, 256},
    {"High4", "ConvertTrueColorTo4BitRGBHigh", ConvertTrueColorTo4BitRGBHigh, 24, 4, 16},
    {"Palette8To4", "Convert8BitRGBTo4BitRGB", Convert8BitRGBTo4BitRGB, 8, 4, 16},
};

// The pixels as the routine's source: true colour, or an 8-bit image whose
// colour table holds the distinct colours from index 3 on (index 3 and up, so
// that the new indices cannot simply be the old ones).
void MakeSource(const Reduction& r, OwnedDIBInfos& infos, int width, int height, const std::vector<Rgb>& pixels)
{
    if (r.sourceBits == 24)
        return MakeTrueColor(infos, width, height, pixels);
    std::vector<Rgb> colors(3, Rgb{0, 0, 0});
    std::vector<std::uint8_t> indices;
    for (const Rgb& p : pixels) {
        auto at = std::find(colors.begin() + 3, colors.end(), p);
        if (at == colors.end())
            at = colors.insert(colors.end(), p);
        indices.push_back(std::uint8_t(at - colors.begin()));
    }
    MakeIndexed8(infos, width, height, colors, indices);
}

std::string ReductionName(const ::testing::TestParamInfo<Reduction>& info) { return info.param.name; }

constexpr Rgb K{0, 0, 0};
constexpr Rgb R{255, 0, 0};
constexpr Rgb B{0, 0, 255};

struct SplitExample {
    const char* name;
    int width, height;
    std::vector<Rgb> pixels;
    std::vector<Rgb> palette;
    std::vector<int> indices;
    bool fourBitOnly; // a leaf of two colours: 256 leaves would separate them
};

const SplitExample kSplitExamples[] = {
    {"OneColour", 3, 2, std::vector<Rgb>(6, Rgb{12, 34, 56}), {{12, 34, 56}}, {0, 0, 0, 0, 0, 0}, false},
    // Variances 0 on red and blue: green is split, the upper part first.
    {"SplitOnGreen", 2, 1, {{0, 0, 0}, {0, 8, 0}}, {{0, 8, 0}, {0, 0, 0}}, {1, 0}, false},
    // 3 x 12192.1875 on red beats 2 x 16256.25 on blue; red is cut at 63.75,
    // then the lower part on blue at 170.
    {"BlackRedBlueBlue", 2, 2, {K, R, B, B}, {R, B, K}, {2, 0, 1, 1}, false},
    // Green is cut at exactly 100: the two pixels of green 100 go to the lower part.
    {"EqualToMeanGoesLower", 2, 2, {{180, 0, 128}, {60, 100, 255}, {240, 100, 255}, {180, 200, 128}},
     {{180, 200, 128}, {240, 100, 255}, {180, 0, 128}, {60, 100, 255}}, {2, 3, 1, 0}, false},
    // Weighted variances tie at the root, 1035 on red and green: red wins.
    {"TieRedOverGreen", 2, 2, {{12, 54, 32}, {54, 48, 36}, {28, 12, 40}, {6, 36, 58}},
     {{54, 48, 36}, {28, 12, 40}, {6, 36, 58}, {12, 54, 32}}, {3, 0, 1, 2}, false},
    // 80 on green and blue, 20.25 on red: green wins.
    {"TieGreenOverBlue", 2, 2, {{8, 12, 0}, {8, 4, 16}, {4, 0, 12}, {2, 8, 4}},
     {{8, 12, 0}, {2, 8, 4}, {8, 4, 16}, {4, 0, 12}}, {0, 2, 3, 1}, false},
    // Four far colours are cut off one per level, so the last leaf holds the
    // first two pixels: mean green 2, blue 2.5 -> 2 and 3.5 -> 4.
    {"HalfToEvenDown", 7, 1, {{0, 0, 0}, {0, 4, 5}, {255, 64, 0}, {255, 64, 0}, {0, 64, 64}, {0, 255, 64}, {0, 64, 255}},
     {{255, 64, 0}, {0, 255, 64}, {0, 64, 255}, {0, 64, 64}, {0, 2, 2}}, {4, 4, 0, 0, 3, 1, 2}, true},
    {"HalfToEvenUp", 8, 1, {{0, 0, 0}, {0, 4, 7}, {255, 128, 0}, {0, 64, 0}, {0, 64, 0}, {0, 128, 0}, {0, 128, 0}, {0, 64, 128}},
     {{255, 128, 0}, {0, 128, 0}, {0, 64, 128}, {0, 64, 0}, {0, 2, 4}}, {4, 4, 0, 3, 3, 1, 1, 2}, true},
};

void PrintTo(const Reduction& r, std::ostream* out) { *out << r.name; }
void PrintTo(const SplitExample& e, std::ostream* out) { *out << e.name; }

class SplitExamples : public ::testing::TestWithParam<std::tuple<Reduction, SplitExample>> {};

} // namespace

TEST_P(SplitExamples, PaletteInUpperFirstOrderAndIndices)
{
    const auto& [r, e] = GetParam();
    OwnedDIBInfos source(false);
    MakeSource(r, source, e.width, e.height, e.pixels);
    OwnedDIBInfos result(false);
    r.run(source.Get(), *result, false, {});
    EXPECT_EQ(PaletteOf(result.Get()), e.palette);
    EXPECT_EQ(Indices(result.Get()), e.indices);
}

// Every reduction with every example its depth can show.
std::vector<std::tuple<Reduction, SplitExample>> ApplicableExamples()
{
    std::vector<std::tuple<Reduction, SplitExample>> cases;
    for (const Reduction& r : kReductions)
        for (const SplitExample& e : kSplitExamples)
            if (!e.fourBitOnly || r.resultBits == 4)
                cases.emplace_back(r, e);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, SplitExamples, ::testing::ValuesIn(ApplicableExamples()),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).name) + "_" + std::get<1>(param.param).name;
                         });

class EveryReduction : public ::testing::TestWithParam<Reduction> {};

// Red and black in a top-down image of odd width: red is the upper part (index 0).
TEST_P(EveryReduction, BuildsTheWholeRecordAndKeepsLaterColourTableEntries)
{
    const Reduction& r = GetParam();
    for (const bool useFMO : {false, true}) {
        OwnedDIBInfos source(false);
        MakeSource(r, source, 3, -2, {R, K, R, K, K, R});
        source->Header.biClrImportant = 7;
        source->Header.biSizeImage = 99;
        source->Header.biXPelsPerMeter = 1234;
        source->ColorTable[200] = RGBQUAD{1, 2, 3, 4};
        source->ColorTable[259] = RGBQUAD{5, 6, 7, 8};
        const auto before = Snapshot(source.Get());
        int steps = 0;
        OwnedDIBInfos result(useFMO);
        r.run(source.Get(), *result, useFMO, [&steps] { ++steps; });

        EXPECT_EQ(steps, r.steps);
        EXPECT_EQ(Snapshot(source.Get()), before) << "the source is only read";
        const TQvDIBInfos& d = result.Get();
        const std::vector<std::uint8_t> pixels8 = {0, 1, 0, 0, 1, 1, 0, 0};
        const std::vector<std::uint8_t> pixels4 = {0x01, 0x00, 0, 0, 0x11, 0x00, 0, 0}; // low nibble of pixel 3 stays 0
        EXPECT_EQ(PixelBytes(d), r.resultBits == 8 ? pixels8 : pixels4);
        EXPECT_EQ((d.FileMapping != 0), useFMO);
        EXPECT_EQ(d.Header.biBitCount, r.resultBits);
        EXPECT_EQ(d.Header.biCompression, BI_RGB);
        EXPECT_EQ(d.Header.biSizeImage, 0u);
        EXPECT_EQ(d.Header.biHeight, -2) << "row order kept";
        EXPECT_EQ(d.Header.biWidth, 3);
        EXPECT_EQ(d.Header.biXPelsPerMeter, 1234);
        EXPECT_EQ(d.Header.biClrImportant, 7u);
        EXPECT_EQ(PaletteOf(d), (std::vector<Rgb>{R, K}));
        EXPECT_EQ(d.ColorTable[200], (RGBQUAD{1, 2, 3, 4}));
        EXPECT_EQ(d.ColorTable[259], (RGBQUAD{5, 6, 7, 8}));
    }
}

TEST_P(EveryReduction, OnePixelImage)
{
    const Reduction& r = GetParam();
    OwnedDIBInfos source(false);
    MakeSource(r, source, 1, 1, {{9, 8, 7}});
    OwnedDIBInfos result(false);
    r.run(source.Get(), *result, false, {});
    EXPECT_EQ(PaletteOf(result.Get()), (std::vector<Rgb>{{9, 8, 7}}));
    EXPECT_EQ(PixelBytes(result.Get()), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

// A progress callback that raises at the first or the last step: the exception
// comes through, the destination is untouched, the source unchanged, and no
// pixel memory or mapping is left behind (ASan sees heap leaks; descriptors
// are counted here).
TEST_P(EveryReduction, ProgressThatRaisesLeavesNothingBehind)
{
    const Reduction& r = GetParam();
    OwnedDIBInfos source(false);
    MakeSource(r, source, 5, 3, {R, K, B, R, K, B, R, K, B, R, K, B, R, K, B});
    const auto before = Snapshot(source.Get());
    for (const bool useFMO : {false, true}) {
        for (const int failAt : {1, r.steps}) {
            TQvDIBInfos destination{};
            destination.BitsSize = -7;
            const int descriptors = OpenDescriptors();
            int steps = 0;
            const auto progress = [&] {
                if (++steps == failAt)
                    throw EAssertionFailed("stop");
            };
            EXPECT_THROW_MESSAGE(r.run(source.Get(), destination, useFMO, progress), EAssertionFailed, "stop");
            EXPECT_EQ(destination.BitsSize, -7);
            EXPECT_EQ(destination.Bits, nullptr);
            EXPECT_EQ(destination.Header.biBitCount, 0);
            EXPECT_EQ(OpenDescriptors(), descriptors);
            EXPECT_EQ(Snapshot(source.Get()), before);
        }
    }
}

// A record whose pixel block is shorter than its header describes is refused
// before anything is read or allocated.
TEST_P(EveryReduction, RefusesAPixelBlockShorterThanTheHeaderSays)
{
    const Reduction& r = GetParam();
    OwnedDIBInfos source(false);
    MakeSource(r, source, 4, 4, std::vector<Rgb>(16, R));
    source->BitsSize -= 1;
    TQvDIBInfos destination{};
    EXPECT_THROW_MESSAGE(r.run(source.Get(), destination, false, {}), EQvDIBInvalidDIB,
                         std::string(r.routine) + ": Invalid Pixel Data Size");
    EXPECT_EQ(destination.Bits, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, EveryReduction, ::testing::ValuesIn(kReductions), ReductionName);

TEST(Reductions, RefuseAWrongSourceFormatWithTheirMessage)
{
    using Run = std::function<void(const TQvDIBInfos&, TQvDIBInfos&)>;
    const auto withProgress = [](ReductionRoutine routine) -> Run {
        return [routine](const TQvDIBInfos& s, TQvDIBInfos& d) { routine(s, d, true, {}); };
    };
    const auto mask = [](void (*routine)(const TQvDIBInfos&, TQvDIBInfos&, std::uint32_t, bool)) -> Run {
        return [routine](const TQvDIBInfos& s, TQvDIBInfos& d) { routine(s, d, 0xFFFFFF, true); };
    };
    struct Case {
        int bits;
        std::uint32_t compression;
        Run run;
        const char* message;
    };
    const Case cases[] = {
        {8, BI_RGB, withProgress(ConvertTrueColorTo8BitRGBLow), "ConvertTrueColorTo8BitRGBLow: Invalid Bitcount"},
        {4, BI_RGB, withProgress(ConvertTrueColorTo4BitRGBLow), "ConvertTrueColorTo4BitRGBLow: Invalid Bitcount"},
        {8, BI_RGB, withProgress(ConvertTrueColorTo8BitRGBHigh), "ConvertTrueColorTo8BitRGBHigh: Invalid Bitcount"},
        {4, BI_RGB, withProgress(ConvertTrueColorTo4BitRGBHigh), "ConvertTrueColorTo4BitRGBHigh: Invalid Bitcount"},
        {4, BI_RGB, withProgress(Convert8BitRGBTo4BitRGB), "Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression"},
        {8, BI_RLE8, withProgress(Convert8BitRGBTo4BitRGB), "Convert8BitRGBTo4BitRGB: Invalid Bitcount or Compression"},
        {8, BI_RGB, mask(ConvertTrueColorTo1BitRGB), "ConvertTrueColorTo1BitRGB: Invalid Bitcount"},
        {24, BI_RGB, mask(Convert8BitTo1BitRGB), "Convert8BitTo1BitRGB: Invalid Bitcount or Compression"},
        {8, BI_RLE8, mask(Convert8BitTo1BitRGB), "Convert8BitTo1BitRGB: Invalid Bitcount or Compression"},
        {8, BI_RGB, mask(Convert4BitRGBTo1BitRGB), "Convert4BitRGBTo1BitRGB: Invalid Bitcount"},
        {4, BI_RLE4, mask(Convert4BitRGBTo1BitRGB), "Convert4BitRGBTo1BitRGB: Invalid Bitcount"},
    };
    for (const Case& c : cases) {
        OwnedDIBInfos source(false);
        MakeTestDIB(source, c.bits, 4, 2);
        source->Header.biCompression = c.compression;
        const int descriptors = OpenDescriptors();
        TQvDIBInfos destination{};
        EXPECT_THROW_MESSAGE(c.run(source.Get(), destination), EQvDIBBadDIBType, c.message);
        EXPECT_EQ(destination.Bits, nullptr);
        EXPECT_EQ(OpenDescriptors(), descriptors) << "no mapping made for " << c.message;
    }
}
