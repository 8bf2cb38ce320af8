#include "qvdib/RleEncode.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/RleDecode.h"
#include "support/ExpectThrow.h"
#include "support/Peers.h"
#include "support/TestDIB.h"
#include "RleTestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

using Encoder = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool);

Encoder EncoderFor(int bitCount)
{
    return bitCount == 8 ? Convert8BitRGBTo8BitRLE : Convert4BitRGBTo4BitRLE;
}

const char* FailedMessage(int bitCount)
{
    return bitCount == 8 ? "Convert8BitRGBTo8BitRLE: Compression Failed" : "Convert4BitRGBTo4BitRLE: Compression Failed";
}

// A plain image whose rows in memory hold the given unit bytes (pixel bytes for
// 8 bits, bytes of two pixels for 4 bits), the first row in memory first.
void MakePlain(OwnedDIBInfos& image, int bitCount, int width, const std::vector<Bytes>& rows)
{
    MakeTestDIB(image, bitCount, width, int(rows.size()));
    const auto stride = DIBStride(bitCount, width);
    for (std::size_t r = 0; r < rows.size(); ++r)
        std::copy(rows[r].begin(), rows[r].end(), image->Bits + std::int64_t(r) * stride);
}

Bytes Repeat(std::uint8_t value, int count)
{
    return Bytes(std::size_t(count), value);
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// 0, 1, ... 255: no two equal neighbours.
Bytes Distinct(int count)
{
    Bytes bytes(static_cast<std::size_t>(count));
    std::iota(bytes.begin(), bytes.end(), std::uint8_t(0));
    return bytes;
}

struct EncodeCase {
    const char* name;
    int bitCount, width;
    std::vector<Bytes> rows;
    Bytes stream;
};

class RleEncodeStreams : public ::testing::TestWithParam<EncodeCase> {};

} // namespace

TEST_P(RleEncodeStreams, RowsGiveExactBytes)
{
    const EncodeCase& c = GetParam();
    OwnedDIBInfos source(false), result(false);
    MakePlain(source, c.bitCount, c.width, c.rows);
    EncoderFor(c.bitCount)(source.Get(), *result, false);
    EXPECT_EQ(PixelBytes(result.Get()), c.stream);
    EXPECT_EQ(result->Header.biSizeImage, c.stream.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RleEncodeStreams,
    ::testing::Values(
        EncodeCase{"OneRun", 8, 8, {Repeat(3, 8)}, {8, 3, 0, 0, 0, 1}},
        EncodeCase{"LiteralThenRun", 8, 16, {Join({{1, 2, 3}, Repeat(9, 13)})},
                   {0, 3, 1, 2, 3, 0, 13, 9, 0, 0, 0, 1}},
        EncodeCase{"LiteralLosesItsLastUnitToARun", 8, 16, {Join({{5, 7, 7, 7}, Repeat(0, 12)})},
                   {1, 5, 3, 7, 12, 0, 0, 0, 0, 1}},
        EncodeCase{"TwoUnitLiteralAsTwoRuns", 8, 12, {Join({Repeat(3, 10), {1, 2}})},
                   {10, 3, 1, 1, 1, 2, 0, 0, 0, 1}},
        EncodeCase{"RunCutAt255", 8, 300, {Repeat(0x2A, 300)}, {0xFF, 0x2A, 0x2D, 0x2A, 0, 0, 0, 1}},
        EncodeCase{"LiteralCutAt255", 8, 256, {Distinct(256), Repeat(0, 256)},
                   Join({{0, 0xFF}, Distinct(255), {0, 1, 0xFF, 0, 0}, {0xFF, 0, 1, 0, 0, 0, 0, 1}})},
        EncodeCase{"Run4CutByTheWidth", 4, 9, {{0x55, 0x55, 0x55, 0x55, 0x50}}, {8, 0x55, 1, 0x50, 0, 0, 0, 1}},
        EncodeCase{"Literal4ThenRun", 4, 32, {Join({{0x12, 0x34}, Repeat(0x66, 14)})},
                   {0, 4, 0x12, 0x34, 0x1C, 0x66, 0, 0, 0, 1}},
        EncodeCase{"OddLiteral4IsPadded", 4, 38, {Join({{0x12, 0x34, 0x56}, Repeat(0x77, 16)})},
                   {0, 6, 0x12, 0x34, 0x56, 0, 32, 0x77, 0, 0, 0, 1}},
        EncodeCase{"Run4CutAt127Units", 4, 300, {Repeat(0x77, 150)}, {0xFE, 0x77, 0x2E, 0x77, 0, 0, 0, 1}}),
    ByCaseName());

TEST(RleEncode, CompressionFailsWhenTheCodesWouldNotFitThePlainSize)
{
    struct Case {
        int bitCount, width;
        Bytes row;
    };
    const Case cases[] = {
        {8, 4, Repeat(1, 4)},   // 2 bytes of run, but no room left for the closing codes
        {8, 1, {7}},            // below 6 bytes nothing can be encoded
        {8, 256, Distinct(256)}, // the absolute run needs 262 of 256 bytes
        {4, 8, {0x12, 0x34, 0x56, 0x78}},
    };
    for (const Case& c : cases) {
        OwnedDIBInfos source(false), result(true);
        MakePlain(source, c.bitCount, c.width, {c.row});
        EXPECT_THROW_MESSAGE(EncoderFor(c.bitCount)(source.Get(), *result, true), EQvDIBCompressionFailed,
                             FailedMessage(c.bitCount));
        EXPECT_EQ(result->Bits, nullptr);
    }
}

TEST(RleEncode, RefusesAnyOtherSourceFormat)
{
    struct Case {
        Encoder encoder;
        int bitCount;
        std::uint32_t compression;
        const char* message;
    };
    const char* const eight = "Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination";
    const char* const four = "Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination";
    const Case cases[] = {{Convert8BitRGBTo8BitRLE, 8, BI_RLE8, eight}, {Convert8BitRGBTo8BitRLE, 4, BI_RGB, eight},
                          {Convert8BitRGBTo8BitRLE, 24, BI_RGB, eight}, {Convert4BitRGBTo4BitRLE, 4, BI_RLE4, four},
                          {Convert4BitRGBTo4BitRLE, 8, BI_RGB, four},   {Convert4BitRGBTo4BitRLE, 1, BI_RGB, four}};
    for (const Case& c : cases) {
        OwnedDIBInfos source(false), result(false);
        MakeTestDIB(source, c.bitCount, 4, 1, c.compression);
        source->Header.biHeight = INT32_MIN; // would fail any allocation: the format is checked first
        EXPECT_THROW_MESSAGE(c.encoder(source.Get(), *result, false), EQvDIBBadDIBType, c.message);
    }
}

TEST(RleEncode, TopDownSourceGivesTheSameBottomUpStream)
{
    for (const int bitCount : {8, 4}) {
        const Bytes bottom = Repeat(0x11, 8), top = Join({{0x12, 0x34, 0x56}, Repeat(0x22, 5)});
        OwnedDIBInfos bottomUp(false), topDown(false), fromBottomUp(false), fromTopDown(true);
        MakePlain(bottomUp, bitCount, bitCount == 8 ? 8 : 16, {bottom, top});
        MakePlain(topDown, bitCount, bitCount == 8 ? 8 : 16, {top, bottom});
        topDown->Header.biHeight = -2;
        topDown->Header.biClrUsed = 5;
        topDown->ColorTable[4] = RGBQUAD{9, 8, 7, 0};
        EncoderFor(bitCount)(bottomUp.Get(), *fromBottomUp, false);
        EncoderFor(bitCount)(topDown.Get(), *fromTopDown, true);

        EXPECT_EQ(PixelBytes(fromTopDown.Get()), PixelBytes(fromBottomUp.Get()));
        const BITMAPINFOHEADER& h = fromTopDown->Header;
        EXPECT_EQ(h.biHeight, 2);
        EXPECT_EQ(h.biBitCount, bitCount);
        EXPECT_EQ(h.biCompression, bitCount == 8 ? BI_RLE8 : BI_RLE4);
        EXPECT_EQ(h.biSizeImage, std::uint32_t(fromTopDown->BitsSize));
        EXPECT_EQ(h.biClrUsed, 5u);
        EXPECT_EQ(fromTopDown->ColorTable[4], (RGBQUAD{9, 8, 7, 0}));
        EXPECT_NE(fromTopDown->FileMapping, 0);
        EXPECT_EQ(topDown->Header.biHeight, -2) << "source untouched";
    }
}

// Whatever the picture, a stream that fits decodes back to the same pixels,
// stored bottom-up with every padding bit 0.
TEST(RleEncode, DecodingGivesBackThePixelsOfRandomImages)
{
    std::mt19937 random(20240601);
    int encoded = 0, tried = 0;
    for (const int bitCount : {8, 4})
        for (const int width : {1, 2, 3, 5, 8, 9, 31, 64, 255, 256, 257, 300, 509, 1024})
            for (const int height : {1, 2, 7, 40})
                for (const int sign : {1, -1}) {
                    OwnedDIBInfos source(false), packed(false), plain(false);
                    MakeRandomImage(source, random, bitCount, width, sign * height);
                    ++tried;
                    try {
                        EncoderFor(bitCount)(source.Get(), *packed, false);
                    } catch (const EQvDIBCompressionFailed&) {
                        continue;
                    }
                    ++encoded;
                    (bitCount == 8 ? Convert8BitRLETo8BitRGB : Convert4BitRLETo4BitRGB)(packed.Get(), *plain, false);
                    ASSERT_EQ(PixelBytes(plain.Get()), BottomUpWithZeroPadding(source.Get()))
                        << bitCount << " bits, " << width << " x " << sign * height;
                }
    EXPECT_GT(encoded, tried / 2) << "most of these pictures compress";
}

// Pillow reads our encoder's output on its own and must see the source's colours.
// Its RLE4 reader drops the last pixel of an absolute run of odd length (which
// our encoder writes only at the end of a row of odd width), so the 4-bit
// pictures have even widths.
TEST(RleEncode, PillowDecodesOurStreamsToTheSourcePixels)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    std::mt19937 random(7);
    for (const int bitCount : {8, 4})
        for (const int width : {64, bitCount == 8 ? 301 : 302}) {
            OwnedDIBInfos source(false), packed(false);
            MakeRandomImage(source, random, bitCount, width, -23);
            EncoderFor(bitCount)(source.Get(), *packed, false);
            const std::string path = folder.File("ours" + std::to_string(bitCount) + "_" + std::to_string(width) + ".bmp");
            WriteBmpFile(path, packed.Get());
            const auto peer = DecodeWithPillow(path);
            ASSERT_TRUE(peer) << path;
            EXPECT_EQ(peer->width, width);
            EXPECT_EQ(peer->rgb, ToRgb(source.Get())) << path;
        }
}
