#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIBErrors.h"
#include "support/ExpectThrow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

class StorageTest : public ::testing::TestWithParam<bool> {};

bool AllZero(const std::uint8_t* bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0; });
}

} // namespace

TEST_P(StorageTest, CreateMakesOneByOneEightBitBlackImage)
{
    const bool useFMO = GetParam();
    TQvInternalDIB storage(useFMO);
    const TQvDIBInfos& d = storage.DIBInfos;
    EXPECT_EQ(storage.Width, 1);
    EXPECT_EQ(storage.Height, 1);
    EXPECT_EQ(storage.RefCount, 1);
    EXPECT_TRUE(storage.PaletteModified);
    EXPECT_EQ(d.Header.biSize, 40u);
    EXPECT_EQ(d.Header.biBitCount, 8);
    EXPECT_EQ(d.Header.biClrUsed, 256u);
    EXPECT_EQ(d.Header.biXPelsPerMeter, 3780);
    EXPECT_EQ(d.BitsSize, 4);
    EXPECT_TRUE(AllZero(d.Bits, 4));
    EXPECT_TRUE(AllZero(reinterpret_cast<const std::uint8_t*>(d.ColorTable), 1024));
    EXPECT_EQ(d.FileMapping != 0, useFMO);
}

TEST_P(StorageTest, FreeDIBReleasesOnceAndTwiceIsHarmless)
{
    TQvInternalDIB storage(GetParam());
    storage.FreeDIB();
    storage.FreeDIB();
    EXPECT_EQ(storage.DIBInfos.Bits, nullptr);
    EXPECT_EQ(storage.DIBInfos.FileMapping, 0);
    EXPECT_EQ(storage.DIBInfos.BitsSize, 0);
    EXPECT_EQ(storage.DIBInfos.Header.biBitCount, 8) << "header stays";
}

TEST_P(StorageTest, NewPixelMemoryIsZeroFilledEvenWhenReleasedMemoryIsReused)
{
    {
        TQvInternalDIB first(GetParam());
        first.FreeDIB();
        first.CreateDIB(4096, 64, 0, 24);
        std::memset(first.DIBInfos.Bits, 0xAB, std::size_t(first.DIBInfos.BitsSize));
    }
    TQvInternalDIB second(GetParam());
    second.FreeDIB();
    second.CreateDIB(4096, 64, 0, 24);
    EXPECT_TRUE(AllZero(second.DIBInfos.Bits, std::size_t(second.DIBInfos.BitsSize)));
}

INSTANTIATE_TEST_SUITE_P(MappingAndHeap, StorageTest, ::testing::Bool());

struct Geometry {
    int width, height, paletteSize, bitCount;
    int storedHeight, bitsSize;
};

class CreateDIBGeometry : public ::testing::TestWithParam<Geometry> {};

TEST_P(CreateDIBGeometry, StridesSizesAndHeader)
{
    const Geometry g = GetParam();
    TQvInternalDIB storage(true);
    storage.FreeDIB();
    storage.CreateDIB(g.width, g.height, g.paletteSize, g.bitCount);
    const BITMAPINFOHEADER& h = storage.DIBInfos.Header;
    EXPECT_EQ(storage.Width, g.width);
    EXPECT_EQ(storage.Height, g.storedHeight);
    EXPECT_EQ(h.biHeight, g.height) << "sign kept";
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biCompression, BI_RGB);
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biClrUsed, std::uint32_t(g.paletteSize));
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(storage.DIBInfos.BitsSize, g.bitsSize);
}

INSTANTIATE_TEST_SUITE_P(Table, CreateDIBGeometry,
                         ::testing::Values(Geometry{3, 2, 0, 24, 2, 24},     // stride 12
                                           Geometry{1, 1, 16, 4, 1, 4},      // stride 4
                                           Geometry{5, -3, 2, 1, 3, 12},     // top-down, stride 4
                                           Geometry{1, 1, 256, 1, 1, 4},     // palette size not tied to depth
                                           Geometry{33, 2, 2, 1, 2, 16},     // 33 bits -> stride 8
                                           Geometry{7, 1, 256, 8, 1, 8}));   // stride 8

TEST(CreateDIB, RefusesBadParametersWithOneMessageAndKeepsTheImage)
{
    const int cases[][4] = {
        {0, 1, 0, 8}, {1, 0, 0, 8}, {1, 1, -1, 8}, {1, 1, 257, 8}, {1, 1, 0, 2}, {1, 1, 0, 16}, {1, 1, 0, 32},
        // images that could not be held in one block of at most 2^31 - 1 bytes
        {INT_MAX, 1, 0, 24}, {1, INT_MIN, 0, 1}, {65536, 65536, 0, 8},
    };
    TQvInternalDIB storage(true);
    const std::uint8_t* bits = storage.DIBInfos.Bits;
    for (const auto& c : cases) {
        EXPECT_THROW_MESSAGE(storage.CreateDIB(c[0], c[1], c[2], c[3]), EQvDIBInvalidDIBPara,
                             "TQvInternalDIB.CreateDIB: Invalid Parameters");
        EXPECT_EQ(storage.DIBInfos.Bits, bits);
        EXPECT_EQ(storage.DIBInfos.Header.biBitCount, 8);
    }
}

TEST(GetMemory, RefusesSizesNoDIBCanHave)
{
    THandle mapping = 0;
    std::uint8_t* bits = nullptr;
    EXPECT_THROW_MESSAGE(GetMemory(kMaxBitsSize + 1, mapping, bits, true), EOutOfResources,
                         "GetMemory: Cannot Make File Mapping Object");
    EXPECT_THROW_MESSAGE(GetMemory(-1, mapping, bits, false), EOutOfMemory, "Out of memory");
    EXPECT_EQ(bits, nullptr);
}

TEST(GetNumColors, DepthsToPaletteSizes)
{
    EXPECT_EQ(GetNumColors(1), 2);
    EXPECT_EQ(GetNumColors(4), 16);
    EXPECT_EQ(GetNumColors(8), 256);
    EXPECT_EQ(GetNumColors(24), 0);
    EXPECT_EQ(GetNumColors(16), 0);
}

TEST(Palette, BuiltFromTheValidEntriesAndDroppedByUpdatePalette)
{
    TQvInternalDIB storage(true);
    storage.DIBInfos.Header.biClrUsed = 0;
    const std::size_t before = LivePaletteCount();
    EXPECT_EQ(storage.GetPalette(), 0u);
    EXPECT_EQ(LivePaletteCount(), before) << "nothing created for an empty table";

    storage.DIBInfos.Header.biClrUsed = 2;
    storage.DIBInfos.ColorTable[1] = RGBQUAD{30, 20, 10, 99};
    storage.Palette = storage.GetPalette();
    const auto entries = GetPaletteEntries(storage.Palette);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].peRed, 10);
    EXPECT_EQ(entries[1].peGreen, 20);
    EXPECT_EQ(entries[1].peBlue, 30);
    EXPECT_EQ(entries[1].peFlags, 0);

    storage.PaletteModified = false;
    storage.UpdatePalette();
    EXPECT_EQ(storage.Palette, 0u);
    EXPECT_TRUE(storage.PaletteModified);
    EXPECT_EQ(LivePaletteCount(), before);
}

TEST(Palette, UpdatePaletteOnASharedStorageFailsTheAssertion)
{
    TQvInternalDIB storage(false);
    storage.RefCount = 2;
    EXPECT_THROW_MESSAGE(storage.UpdatePalette(), EAssertionFailed,
                         "TQvInternalDIB.UpdatePalette: RefCount Must be 1 (QvDIB)");
    storage.RefCount = 1;
}
