#include "qvdib/ReduceFast.h"
#include "tests/qvdib/ReductionFixtures.h"

#include <gtest/gtest.h>

namespace {

using FastRoutine = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&);

// The colours of a 5-6-5 histogram cell: the truncated mean of its pixels.
std::vector<Rgb> CellColors(const std::vector<Rgb>& pixels)
{
    std::vector<std::array<std::int64_t, 4>> sums(65536, {0, 0, 0, 0});
    const auto cell = [](const Rgb& p) { return (p.r >> 3) << 11 | (p.g >> 2) << 5 | (p.b >> 3); };
    for (const Rgb& p : pixels) {
        auto& s = sums[std::size_t(cell(p))];
        s[0] += p.r;
        s[1] += p.g;
        s[2] += p.b;
        s[3] += 1;
    }
    std::vector<Rgb> colors;
    for (const Rgb& p : pixels) {
        const auto& s = sums[std::size_t(cell(p))];
        colors.push_back({std::uint8_t(s[0] / s[3]), std::uint8_t(s[1] / s[3]), std::uint8_t(s[2] / s[3])});
    }
    return colors;
}

// The pattern repeated times over, in one row.
std::vector<Rgb> Repeated(const std::vector<Rgb>& pattern, std::size_t times)
{
    std::vector<Rgb> pixels;
    for (std::size_t i = 0; i < times; ++i)
        pixels.insert(pixels.end(), pattern.begin(), pattern.end());
    return pixels;
}

} // namespace

// Colours of one cell become one entry, the truncated (not rounded) mean:
// 14 / 3 gives 4, 3 / 2 gives 1. The sums stay exact when one cell holds tens
// of thousands of pixels.
TEST(ReduceFast, ColoursOfOneCellMergeIntoTheirTruncatedMean)
{
    struct Case {
        std::vector<Rgb> pixels;
        Rgb entry;
    };
    const Case cases[] = {
        {{{0, 0, 0}, {7, 3, 7}}, {3, 1, 3}},
        {{{0, 0, 0}, {7, 3, 7}, {7, 3, 7}}, {4, 2, 4}},
        {{{8, 4, 8}, {8, 5, 15}}, {8, 4, 11}},
        {Repeated({{7, 3, 7}, {7, 3, 7}, {0, 0, 0}}, 10001), {4, 2, 4}},
    };
    for (const FastRoutine run : {ConvertTrueColorTo8BitRGBLow, ConvertTrueColorTo4BitRGBLow}) {
        for (const Case& c : cases) {
            OwnedDIBInfos source(false);
            MakeTrueColor(source, int(c.pixels.size()), 1, c.pixels);
            OwnedDIBInfos result(false);
            run(source.Get(), *result, false, {});
            EXPECT_EQ(PaletteOf(result.Get()), std::vector<Rgb>{c.entry});
            EXPECT_EQ(Indices(result.Get()), std::vector<int>(c.pixels.size(), 0));
        }
    }
}

// A photograph has thousands of cells: at most 256 (16) entries remain, every
// one the rounded mean of the cell colours of the pixels that show it, and the
// 256-colour result comes close to what Pillow's octree makes of the same file.
TEST(ReduceFast, PhotoEntriesAreMeansOfTheirCellsAndTheErrorIsSmall)
{
    const Photo& photo = SmallPhoto();
    ASSERT_EQ(photo.image.width, 320) << "photo not made";
    OwnedDIBInfos source(false);
    MakePhotoSource(source, photo.image);
    const std::vector<Rgb> pixels = PixelsOf(photo.image);
    const auto cellColors = CellColors(pixels);

    OwnedDIBInfos result8(false);
    ConvertTrueColorTo8BitRGBLow(source.Get(), *result8, false, {});
    EXPECT_EQ(result8->Header.biClrUsed, 256u);
    ExpectEntriesAreRoundedMeans(result8.Get(), cellColors);

    OwnedDIBInfos result4(false);
    ConvertTrueColorTo4BitRGBLow(source.Get(), *result4, false, {});
    EXPECT_EQ(result4->Header.biClrUsed, 16u);
    ExpectEntriesAreRoundedMeans(result4.Get(), cellColors);

    const double ours = MeanError(photo.image, result8.Get());
    const double pillow = PillowMeanError(photo.path, "FASTOCTREE");
    ASSERT_GT(pillow, 0);
    EXPECT_LT(ours, 1.1 * pillow) << "ours " << ours << ", Pillow " << pillow;
}
