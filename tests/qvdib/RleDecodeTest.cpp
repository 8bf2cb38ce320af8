#include "qvdib/RleDecode.h"
#include "qvdib/QvDIBErrors.h"
#include "support/ExpectThrow.h"
#include "support/Peers.h"
#include "support/TestDIB.h"
#include "RleTestImages.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Decoder = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool);

Decoder DecoderFor(int bitCount)
{
    return bitCount == 8 ? Convert8BitRLETo8BitRGB : Convert4BitRLETo4BitRGB;
}

void MakeRleSource(OwnedDIBInfos& source, int bitCount, int width, int height, const Bytes& stream)
{
    MakeTestDIB(source, bitCount, width, height, bitCount == 8 ? BI_RLE8 : BI_RLE4, stream);
    if (stream.empty())
        source->BitsSize = 0; // no encoded data at all
}

struct DecodeCase {
    const char* name;
    int bitCount, width, height;
    Bytes stream;
    Bytes pixels; // the whole new memory, rows in memory order
};

class RleDecodeRows : public ::testing::TestWithParam<DecodeCase> {};

} // namespace

TEST_P(RleDecodeRows, StreamGivesExactRows)
{
    const DecodeCase& c = GetParam();
    OwnedDIBInfos source(false), result(false);
    MakeRleSource(source, c.bitCount, c.width, c.height, c.stream);
    DecoderFor(c.bitCount)(source.Get(), *result, false);
    EXPECT_EQ(PixelBytes(result.Get()), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RleDecodeRows,
    ::testing::Values(
        DecodeCase{"Run8", 8, 3, 1, {0x03, 0x07, 0, 0, 0, 1}, {7, 7, 7, 0}},
        DecodeCase{"Absolute8ReadsOnAfterItsPadByte", 8, 5, 1, {0, 3, 1, 2, 3, 0, 2, 9, 0, 1}, {1, 2, 3, 9, 9, 0, 0, 0}},
        DecodeCase{"RowsInMemoryOrder", 8, 2, 2, {2, 1, 0, 0, 2, 2, 0, 0, 0, 1}, {1, 1, 0, 0, 2, 2, 0, 0}},
        DecodeCase{"DeltaLeavesSkippedPixelsZero", 8, 4, 2, {1, 5, 0, 2, 2, 1, 1, 6, 0, 1}, {5, 0, 0, 0, 0, 0, 0, 6}},
        DecodeCase{"DeltaMayLandOnWidthAndHeight", 8, 4, 2, {0, 2, 4, 0, 0, 2, 0, 2, 0, 1}, Bytes(8, 0)},
        DecodeCase{"EndOfBitmapAloneGivesZeros", 8, 3, 2, {0, 1}, Bytes(8, 0)},
        DecodeCase{"LongRun8", 8, 300, 1, {0xFF, 4, 0x2D, 4, 0, 1}, Bytes(300, 4)},
        DecodeCase{"Run4AlternatesNibbles", 4, 5, 1, {5, 0x12, 0, 1}, {0x12, 0x12, 0x10, 0}},
        DecodeCase{"Run4MayFillThePaddingNibble", 4, 3, 1, {4, 0x12, 0, 1}, {0x12, 0x12, 0, 0}},
        DecodeCase{"Absolute4SkipsWholeWords", 4, 8, 1, {0, 5, 0x12, 0x34, 0x50, 0, 2, 0x66, 0, 1},
                   {0x12, 0x34, 0x56, 0x60}},
        DecodeCase{"Delta4ToAnOddColumn", 4, 6, 1, {0, 2, 3, 0, 2, 0x77, 0, 1}, {0x00, 0x07, 0x70, 0}},
        DecodeCase{"Run4FromAnOddColumn", 4, 8, 1, {1, 0x90, 5, 0xAB, 0, 1}, {0x9A, 0xBA, 0xBA, 0}},
        DecodeCase{"Absolute4FromAnOddColumn", 4, 8, 1, {1, 0x90, 0, 3, 0x12, 0x30, 0, 1}, {0x91, 0x23, 0, 0}}),
    ByCaseName());

namespace {

struct BadCase {
    const char* name;
    int bitCount, width, height;
    Bytes stream;
    const char* message;
};

class RleDecodeRefusals : public ::testing::TestWithParam<BadCase> {};

} // namespace

TEST_P(RleDecodeRefusals, RaiseTheCodesMessageAndKeepNothing)
{
    const BadCase& c = GetParam();
    for (const bool useFMO : {false, true}) {
        OwnedDIBInfos source(false), result(useFMO);
        MakeRleSource(source, c.bitCount, c.width, c.height, c.stream);
        const Bytes before = PixelBytes(source.Get());
        EXPECT_THROW_MESSAGE(DecoderFor(c.bitCount)(source.Get(), *result, useFMO), EQvDIBInvalidDIB, c.message);
        EXPECT_EQ(result->Bits, nullptr) << "the destination is not filled";
        EXPECT_EQ(PixelBytes(source.Get()), before);
    }
}

#define BAD8(n) "Convert8BitRLETo8BitRGB: Bad RLE Data " #n
#define BAD4(n) "Convert4BitRLETo4BitRGB: Bad RLE Data " #n

INSTANTIATE_TEST_SUITE_P(
    BoundChecks, RleDecodeRefusals,
    ::testing::Values(BadCase{"RunPastWidth", 8, 3, 1, {4, 5}, BAD8(4)},
                      BadCase{"RunOnRowH", 8, 3, 1, {0, 0, 1, 5}, BAD8(4)},
                      BadCase{"RunAfterDeltaToWidth", 8, 4, 1, {0, 2, 4, 0, 1, 5}, BAD8(4)},
                      BadCase{"EndOfLinePastLastRow", 8, 1, 2, {0, 0, 0, 0, 0, 0, 0, 1}, BAD8(1)},
                      BadCase{"DeltaPastWidth", 8, 4, 2, {0, 2, 5, 0}, BAD8(2)},
                      BadCase{"DeltaPastHeight", 8, 4, 2, {0, 2, 0, 3}, BAD8(2)},
                      BadCase{"AbsolutePastWidth", 8, 4, 1, {0, 5, 1, 2, 3, 4, 5, 0}, BAD8(3)},
                      BadCase{"AbsoluteOnRowH", 8, 4, 1, {0, 0, 0, 3, 1, 2, 3, 0}, BAD8(3)},
                      BadCase{"Run4PastEvenedWidth", 4, 3, 1, {5, 0x12}, BAD4(8)},
                      BadCase{"EndOfLine4PastLastRow", 4, 2, 1, {0, 0, 0, 0}, BAD4(5)},
                      BadCase{"Delta4PastEvenedWidth", 4, 3, 1, {0, 2, 5, 0}, BAD4(6)},
                      BadCase{"Absolute4PastWidth", 4, 4, 1, {0, 5, 0x12, 0x34, 0x50, 0}, BAD4(7)}),
    ByCaseName());

// The decoders never read past the encoded data: a code cut off by its end is
// refused with the message of its kind, and data that end where a code should
// start (no end of bitmap) with the end-of-line message.
INSTANTIATE_TEST_SUITE_P(
    CutStreams, RleDecodeRefusals,
    ::testing::Values(BadCase{"Empty", 8, 1, 1, {}, BAD8(1)},
                      BadCase{"NoEndOfBitmap", 8, 3, 1, {3, 7, 0, 0}, BAD8(1)},
                      BadCase{"LoneEscapeByte", 8, 3, 1, {3, 7, 0}, BAD8(1)},
                      BadCase{"RunValueMissing", 8, 3, 1, {3}, BAD8(4)},
                      BadCase{"DeltaCut", 8, 3, 1, {0, 2, 1}, BAD8(2)},
                      BadCase{"AbsoluteCut", 8, 4, 1, {0, 3, 1, 2}, BAD8(3)},
                      BadCase{"AbsolutePadByteMissing", 8, 4, 1, {0, 3, 1, 2, 3}, BAD8(3)},
                      BadCase{"Empty4", 4, 1, 1, {}, BAD4(5)},
                      BadCase{"RunValueMissing4", 4, 3, 1, {3}, BAD4(8)},
                      BadCase{"DeltaCut4", 4, 3, 1, {0, 2}, BAD4(6)},
                      BadCase{"AbsoluteCut4", 4, 4, 1, {0, 3, 0x12}, BAD4(7)}),
    ByCaseName());

TEST(RleDecode, RefusesAnyOtherSourceFormatBeforeAllocating)
{
    struct Case {
        Decoder decoder;
        int bitCount;
        std::uint32_t compression;
        const char* message;
    };
    const char* const eight = "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination";
    const char* const four = "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination";
    const Case cases[] = {{Convert8BitRLETo8BitRGB, 8, BI_RGB, eight},  {Convert8BitRLETo8BitRGB, 4, BI_RLE4, eight},
                          {Convert8BitRLETo8BitRGB, 8, BI_RLE4, eight}, {Convert4BitRLETo4BitRGB, 4, BI_RGB, four},
                          {Convert4BitRLETo4BitRGB, 8, BI_RLE8, four},  {Convert4BitRLETo4BitRGB, 4, BI_RLE8, four}};
    for (const Case& c : cases) {
        OwnedDIBInfos source(false), result(false);
        MakeTestDIB(source, c.bitCount, 4, 1, c.compression, Bytes{0, 1});
        // A size no image can have shows that the format is checked first.
        source->Header.biHeight = INT32_MIN;
        EXPECT_THROW_MESSAGE(c.decoder(source.Get(), *result, false), EQvDIBBadDIBType, c.message);
    }
}

TEST(RleDecode, ResultCarriesHeaderPaletteAndRowOrder)
{
    for (const int bitCount : {8, 4}) {
        OwnedDIBInfos source(false), result(true);
        MakeRleSource(source, bitCount, 5, -3, {1, 0x21, 0, 1});
        source->Header.biClrUsed = 7;
        source->Header.biClrImportant = 3;
        source->Header.biSizeImage = 4;
        source->Header.biXPelsPerMeter = 1234;
        source->ColorTable[6] = RGBQUAD{1, 2, 3, 4};
        DecoderFor(bitCount)(source.Get(), *result, true);

        const BITMAPINFOHEADER& h = result->Header;
        EXPECT_EQ(h.biBitCount, bitCount);
        EXPECT_EQ(h.biCompression, BI_RGB);
        EXPECT_EQ(h.biSizeImage, 0u);
        EXPECT_EQ(h.biHeight, -3) << "row order kept";
        EXPECT_EQ(h.biClrUsed, 7u);
        EXPECT_EQ(h.biClrImportant, 3u);
        EXPECT_EQ(h.biXPelsPerMeter, 1234);
        EXPECT_TRUE(std::equal(std::begin(source->ColorTable), std::end(source->ColorTable), result->ColorTable));
        EXPECT_EQ(result->BitsSize, 3 * DIBStride(bitCount, 5));
        EXPECT_NE(result->FileMapping, 0) << "memory taken as asked";
        EXPECT_EQ(result->Bits[0], bitCount == 8 ? 0x21 : 0x20);
        EXPECT_EQ(source->Header.biCompression, bitCount == 8 ? BI_RLE8 : BI_RLE4) << "source untouched";
    }
}

// ImageMagick writes RLE8 files on its own; Pillow reads them on its own. Our
// reader keeps the file's RLE data and our decoder must give Pillow's colours.
// ImageMagick encodes the row padding as pixels too, which our bounds refuse,
// so the widths are multiples of 4.
TEST(RleDecode, ImageMagickFilesDecodeToThePixelsPillowReports)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string pictures[] = {
        "-seed 7 -size 96x61 plasma:",                                          // busy: absolute runs
        "-size 300x40 xc:navy -fill orange -draw \"rectangle 20,5 290,30\"",  // runs past 255
        "-size 36x17 gradient:red-blue -fill white -draw \"point 5,5 point 7,5\"", // short runs
    };
    int index = 0;
    for (const std::string& picture : pictures) {
        const std::string path = folder.File("magick" + std::to_string(index++) + ".bmp");
        ASSERT_TRUE(RunCommand("/usr/bin/convert " + picture + " +dither -colors 200 -type Palette -compress RLE BMP3:'" +
                               path + "'"));
        TQvInternalDIB file(false);
        TFileStream stream(path, TFileMode::fmOpenRead);
        file.LoadFromStream(stream);
        ASSERT_EQ(file.DIBInfos.Header.biCompression, BI_RLE8) << picture;

        OwnedDIBInfos plain(false);
        Convert8BitRLETo8BitRGB(file.DIBInfos, *plain, false);
        const auto peer = DecodeWithPillow(path);
        ASSERT_TRUE(peer) << picture;
        EXPECT_EQ(peer->width, file.Width);
        EXPECT_EQ(ToRgb(plain.Get()), peer->rgb) << picture;
    }
}

// Column arithmetic never wraps: in a row of 2^31 - 1 pixels (a 1 GiB 4-bit
// image) deltas can carry x to the evened width 2^31, beyond any 32-bit
// column, and the next delta must still be refused rather than land left of
// the row. The image memory is never touched, so it costs no real memory.
TEST(RleDecode, DeltasNearTheLargestWidthAreStillChecked)
{
    const int width = INT32_MAX;
    Bytes stream;
    stream.reserve((std::size_t(width) / 255 + 2) * 4);
    for (std::int64_t x = 0; x < std::int64_t(width) + 1; x += 255) {
        const auto dx = std::uint8_t(std::min<std::int64_t>(255, std::int64_t(width) + 1 - x));
        stream.insert(stream.end(), {0, 2, dx, 0});
    }
    stream.insert(stream.end(), {0, 2, 255, 0}); // one step past the row
    OwnedDIBInfos source(false), result(false);
    MakeRleSource(source, 4, width, 1, stream);
    EXPECT_THROW_MESSAGE(Convert4BitRLETo4BitRGB(source.Get(), *result, false), EQvDIBInvalidDIB, BAD4(6));
}
