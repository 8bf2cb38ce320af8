#include "editors/GameEncoding.h"
#include "qvdib/QvDIB.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

void MakeFourBitPicture(TQvDIB& dib, int width, int height)
{
    dib.SetBitCount(4);
    dib.SetWidth(width);
    dib.SetHeight(height);
}

std::vector<std::uint8_t> RandomBuffer(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> buffer(size);
    for (auto& b : buffer)
        b = std::uint8_t(random());
    return buffer;
}

std::vector<std::uint8_t> PaletteWords(std::initializer_list<std::uint16_t> words)
{
    std::vector<std::uint8_t> bytes(kGamePaletteBytes);
    std::size_t i = 0;
    for (const std::uint16_t w : words) {
        bytes[i++] = std::uint8_t(w & 0xFF);
        bytes[i++] = std::uint8_t(w >> 8);
    }
    return bytes;
}

} // namespace

TEST(GamePalette, WordsDecodeToExpandedComponents)
{
    TQvDIB dib;
    MakeFourBitPicture(dib, 2, 1);
    const auto bytes = PaletteWords({0x7FFF, 0x8000, 0x0000, 0x001F, 0x03E0, 0x7C00, 0x4210, 0x0421});
    DecodePalette(dib, bytes, 0);
    EXPECT_EQ(dib.GetColors(0), RGB(255, 255, 255));
    EXPECT_EQ(dib.GetColors(1), RGB(0, 0, 0)) << "bit 15 is ignored";
    EXPECT_EQ(dib.GetColors(2), RGB(0, 0, 0));
    EXPECT_EQ(dib.GetColors(3), RGB(255, 0, 0));
    EXPECT_EQ(dib.GetColors(4), RGB(0, 255, 0));
    EXPECT_EQ(dib.GetColors(5), RGB(0, 0, 255));
    EXPECT_EQ(dib.GetColors(6), RGB(132, 132, 132));
    EXPECT_EQ(dib.GetColors(7), RGB(8, 8, 8));
}

TEST(GamePalette, EveryWordSurvivesDecodeThenEncodeExceptBit15)
{
    TQvDIB dib;
    MakeFourBitPicture(dib, 2, 1);
    std::vector<std::uint8_t> source(kGamePaletteBytes), back(kGamePaletteBytes);
    for (unsigned first = 0; first < 0x10000; first += 16) {
        for (unsigned i = 0; i < 16; ++i) {
            source[2 * i] = std::uint8_t((first + i) & 0xFF);
            source[2 * i + 1] = std::uint8_t((first + i) >> 8);
        }
        DecodePalette(dib, source, 0);
        EncodePalette(dib, back, 0);
        for (unsigned i = 0; i < kGamePaletteBytes; i += 2) {
            ASSERT_EQ(back[i], source[i]);
            ASSERT_EQ(back[i + 1], source[i + 1] & 0x7F);
        }
    }
}

TEST(GamePalette, EncodeDropsTheLowThreeBitsOfEachComponent)
{
    TQvDIB dib;
    MakeFourBitPicture(dib, 2, 1);
    dib.SetColors(0, RGB(255, 255, 255));
    dib.SetColors(1, RGB(7, 7, 7));
    dib.SetColors(2, RGB(8, 8, 8));
    dib.SetColors(3, RGB(255, 0, 0));
    std::vector<std::uint8_t> words(kGamePaletteBytes);
    EncodePalette(dib, words, 0);
    EXPECT_EQ(words[0] | words[1] << 8, 0x7FFF);
    EXPECT_EQ(words[2] | words[3] << 8, 0x0000);
    EXPECT_EQ(words[4] | words[5] << 8, 0x0421);
    EXPECT_EQ(words[6] | words[7] << 8, 0x001F);

    // A colour edited elsewhere comes back in the game's 32 steps per component.
    for (unsigned v = 0; v < 256; ++v) {
        dib.SetColors(0, RGB(std::uint8_t(v), 0, 0));
        EncodePalette(dib, words, 0);
        DecodePalette(dib, words, 0);
        ASSERT_EQ(GetRValue(dib.GetColors(0)), (v / 8) * 8 + v / 32) << v;
    }
}

TEST(GamePixels, BytesSwapTheirHalvesBetweenGameAndDIB)
{
    TQvDIB dib;
    MakeFourBitPicture(dib, 2, 1);
    const std::vector<std::uint8_t> sheet = {0xF0};
    DecodePixels(dib, sheet, 0);
    EXPECT_EQ(dib.GetScanLine(0)[0], 0x0F);
    std::vector<std::uint8_t> back = {0x21};
    dib.GetScanLine(0)[0] = 0x12;
    EncodePixels(dib, back, 0);
    EXPECT_EQ(back[0], 0x21);
}

TEST(GamePixels, DecodeThenEncodeRestoresThePictureAndLeavesTheRestOfTheSheet)
{
    for (const auto& [width, height] : {std::pair{24, 40}, std::pair{48, 48}, std::pair{32, 48}}) {
        const auto original = RandomBuffer(65536, unsigned(width * height));
        TQvDIB dib;
    MakeFourBitPicture(dib, width, height);
        const std::size_t offset = 3 * 128 * 48 + 24;
        DecodePixels(dib, original, offset);

        auto sheet = RandomBuffer(65536, 99);
        const auto untouched = sheet;
        EncodePixels(dib, sheet, offset);
        for (std::size_t i = 0; i < sheet.size(); ++i) {
            const bool inPicture = i >= offset && (i - offset) / 128 < std::size_t(height) &&
                                   (i - offset) % 128 < std::size_t(width / 2);
            ASSERT_EQ(sheet[i], inPicture ? original[i] : untouched[i]) << width << "x" << height << " at " << i;
        }
    }
}

TEST(GamePixels, ARegionOutsideTheBufferIsRefused)
{
    TQvDIB dib;
    MakeFourBitPicture(dib, 24, 40);
    std::vector<std::uint8_t> buffer(65536);
    EXPECT_THROW(DecodePixels(dib, buffer, 65536 - 39 * 128), EAssertionFailed);
    EXPECT_NO_THROW(DecodePixels(dib, buffer, 65536 - 39 * 128 - 12));
    EXPECT_THROW(EncodePalette(dib, buffer, 65536 - 31), EAssertionFailed);
}
