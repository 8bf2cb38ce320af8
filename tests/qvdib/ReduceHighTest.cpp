#include "qvdib/ReduceHigh.h"
#include "tests/qvdib/ReductionFixtures.h"

#include <gtest/gtest.h>

namespace {

using HighRoutine = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&);

} // namespace

// Every pixel takes part: colours that share a histogram cell in the fast
// method stay apart, the redder (upper) one first.
TEST(ReduceHigh, ColoursOfOneCellStayApart)
{
    struct Case {
        std::vector<Rgb> pixels;
        std::vector<Rgb> palette;
        std::vector<int> indices;
    };
    const Case cases[] = {
        {{{1, 0, 0}, {0, 0, 0}}, {{1, 0, 0}, {0, 0, 0}}, {0, 1}},
        {{{0, 0, 0}, {7, 3, 7}, {7, 3, 7}}, {{7, 3, 7}, {0, 0, 0}}, {1, 0, 0}},
    };
    for (const HighRoutine run : {ConvertTrueColorTo8BitRGBHigh, ConvertTrueColorTo4BitRGBHigh}) {
        for (const Case& c : cases) {
            OwnedDIBInfos source(false);
            MakeTrueColor(source, int(c.pixels.size()), 1, c.pixels);
            OwnedDIBInfos result(false);
            run(source.Get(), *result, false, {});
            EXPECT_EQ(PaletteOf(result.Get()), c.palette);
            EXPECT_EQ(Indices(result.Get()), c.indices);
        }
    }
}

// On a photograph every entry is the rounded mean of exactly the pixels that
// the tree walk sends to it, so split and walk agree pixel for pixel; and the
// 256-colour result comes close to Pillow's median cut of the same file.
TEST(ReduceHigh, PhotoEntriesAreMeansOfTheirPixelsAndTheErrorIsSmall)
{
    const Photo& photo = SmallPhoto();
    ASSERT_EQ(photo.image.width, 320) << "photo not made";
    OwnedDIBInfos source(false);
    MakePhotoSource(source, photo.image);
    const std::vector<Rgb> pixels = PixelsOf(photo.image);

    OwnedDIBInfos result8(false);
    ConvertTrueColorTo8BitRGBHigh(source.Get(), *result8, false, {});
    EXPECT_EQ(result8->Header.biClrUsed, 256u);
    ExpectEntriesAreRoundedMeans(result8.Get(), pixels);

    OwnedDIBInfos result4(false);
    ConvertTrueColorTo4BitRGBHigh(source.Get(), *result4, false, {});
    EXPECT_EQ(result4->Header.biClrUsed, 16u);
    ExpectEntriesAreRoundedMeans(result4.Get(), pixels);

    const double ours = MeanError(photo.image, result8.Get());
    const double pillow = PillowMeanError(photo.path, "MEDIANCUT");
    ASSERT_GT(pillow, 0);
    EXPECT_LT(ours, 1.1 * pillow) << "ours " << ours << ", Pillow " << pillow;
}
