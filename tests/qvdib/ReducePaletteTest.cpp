#include "qvdib/ReducePalette.h"
#include "tests/qvdib/ReductionFixtures.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct PaletteCase {
    const char* name;
    std::vector<Rgb> table; // entries 0.. of the source colour table; the rest black
    std::uint32_t clrUsed;
    std::vector<std::uint8_t> pixels;
    std::vector<Rgb> palette;
    std::vector<int> indices;
};

} // namespace

TEST(Convert8BitRGBTo4BitRGB, SplitsTheUsedEntriesWeightedByTheirPixels)
{
    const Rgb white{255, 255, 255};
    const PaletteCase cases[] = {
        // A new picture: 1 x 1, pixel 0, 256 black entries.
        {"NewPicture", {}, 256, {0}, {{0, 0, 0}}, {0}},
        // Unused entries, white here, take no part.
        {"OnlyIndexFive", {white, white, white, white, white, {10, 20, 30}}, 256, {5, 5, 5}, {{10, 20, 30}}, {0, 0, 0}},
        // Entries 3 and 9 share a colour: they travel together and get one index.
        {"EqualEntriesShareAnIndex", {{}, {}, {}, {50, 60, 70}, {}, {}, {}, {}, {}, {50, 60, 70}, {200, 0, 0}}, 256,
         {3, 9, 10, 9}, {{200, 0, 0}, {50, 60, 70}}, {1, 1, 0, 1}},
        // Pixels may use entries at or beyond biClrUsed; those take part too.
        {"BeyondClrUsed", {{0, 0, 0}, {0, 0, 0}, {0, 0, 90}}, 2, {0, 2}, {{0, 0, 90}, {0, 0, 0}}, {1, 0}},
    };
    for (const PaletteCase& c : cases) {
        OwnedDIBInfos source(false);
        MakeIndexed8(source, int(c.pixels.size()), 1, c.table, c.pixels);
        source->Header.biClrUsed = c.clrUsed;
        int steps = 0;
        OwnedDIBInfos result(true);
        Convert8BitRGBTo4BitRGB(source.Get(), *result, true, [&steps] { ++steps; });
        EXPECT_EQ(steps, 16) << c.name;
        EXPECT_EQ(PaletteOf(result.Get()), c.palette) << c.name;
        EXPECT_EQ(Indices(result.Get()), c.indices) << c.name;
        EXPECT_EQ(result->Header.biBitCount, 4) << c.name;
    }
}

namespace {

using MaskRoutine = void (*)(const TQvDIBInfos&, TQvDIBInfos&, std::uint32_t, bool);

struct MaskCase {
    const char* name;
    MaskRoutine run;
    std::function<void(OwnedDIBInfos&)> make;
    std::uint32_t color; // red in the low byte
    std::vector<std::uint8_t> bits;
};

constexpr Rgb W{255, 255, 255};
constexpr Rgb X{254, 255, 255};

} // namespace

// Exactly the pixels of the colour become 1, the leftmost pixel in the most
// significant bit; bits past the width and the row padding stay 0.
TEST(OneBitMasks, SetExactlyThePixelsOfTheColour)
{
    const MaskCase cases[] = {
        {"TrueColorWidth10", ConvertTrueColorTo1BitRGB,
         [](OwnedDIBInfos& s) { MakeTrueColor(s, 10, 1, {W, X, W, X, X, X, X, W, X, W}); }, 0xFFFFFF,
         {0xA1, 0x40, 0, 0}},
        {"TrueColorBlueTopDown", ConvertTrueColorTo1BitRGB,
         [](OwnedDIBInfos& s) { MakeTrueColor(s, 2, -2, {{1, 2, 3}, {3, 2, 1}, {3, 2, 1}, {1, 2, 3}}); }, 0x030201,
         {0x80, 0, 0, 0, 0x40, 0, 0, 0}},
        // Entry 250 lies beyond biClrUsed (2) and still matches.
        {"EightBitAnyEntry", Convert8BitTo1BitRGB,
         [](OwnedDIBInfos& s) {
             MakeIndexed8(s, 4, 1, {W, {255, 255, 254}}, {0, 1, 250, 3});
             s->Header.biClrUsed = 2;
             s->ColorTable[250] = RGBQUAD{255, 255, 255, 0};
         },
         0xFFFFFF, {0xA0, 0, 0, 0}},
        {"FourBitOddWidth", Convert4BitRGBTo1BitRGB,
         [](OwnedDIBInfos& s) {
             MakeTestDIB(s, 4, 3, 1);
             s->ColorTable[2] = RGBQUAD{30, 20, 10, 0};
             s->Bits[0] = 0x21;
             s->Bits[1] = 0x2F; // the unused low nibble is not a pixel
             s->ColorTable[15] = RGBQUAD{30, 20, 10, 0};
         },
         0x1E140A, {0xA0, 0, 0, 0}},
    };
    for (const MaskCase& c : cases) {
        OwnedDIBInfos source(false);
        c.make(source);
        source->ColorTable[2 + 200] = RGBQUAD{9, 9, 9, 9};
        const auto before = Snapshot(source.Get());
        OwnedDIBInfos result(true);
        c.run(source.Get(), *result, c.color, true);
        const TQvDIBInfos& d = result.Get();
        EXPECT_EQ(PixelBytes(d), c.bits) << c.name;
        EXPECT_EQ(Snapshot(source.Get()), before) << c.name;
        EXPECT_EQ(d.Header.biBitCount, 1) << c.name;
        EXPECT_EQ(d.Header.biCompression, BI_RGB) << c.name;
        EXPECT_EQ(d.Header.biHeight, source->Header.biHeight) << c.name;
        EXPECT_EQ(PaletteOf(d), (std::vector<Rgb>{{0, 0, 0}, W})) << c.name;
        EXPECT_EQ(d.ColorTable[202], (RGBQUAD{9, 9, 9, 9})) << c.name << ": later entries kept";
    }
}
