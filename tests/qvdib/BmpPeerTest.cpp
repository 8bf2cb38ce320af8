// Cross-checks of the reader and writer against independent peers: files that
// Pillow or ImageMagick wrote must give our reader the pixels Pillow decodes,
// and files our writer wrote must give Pillow our pixels.
#include "qvdib/BmpFile.h"
#include "qvdib/QvDIB.h"
#include "support/Peers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Our picture as RGB, top row first: indices expanded through the colour table.
Bytes OurPixels(TQvDIB& dib)
{
    const int bits = dib.GetBitCount();
    const RGBQUAD* table = dib.Storage().DIBInfos.ColorTable;
    Bytes rgb;
    for (int y = 0; y < dib.GetHeight(); ++y) {
        const std::uint8_t* row = dib.GetScanLine(y);
        for (int x = 0; x < dib.GetWidth(); ++x) {
            if (bits == 24) {
                rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
                continue;
            }
            const int index = bits == 8 ? row[x]
                            : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF
                                        : (row[x / 8] >> (7 - x % 8)) & 1;
            rgb.insert(rgb.end(), {table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue});
        }
    }
    return rgb;
}

class PeerFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vxr-peers-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Writes name with ImageMagick from a small picture of the given colours.
    std::string Magick(const std::string& name, const std::string& picture, const std::string& format)
    {
        const std::string path = Path(name);
        EXPECT_TRUE(RunCommand("/usr/bin/convert " + picture + " " + format + ":" + path));
        return path;
    }

    std::string Pillow(const std::string& name, const std::string& mode)
    {
        const std::string path = Path(name);
        const std::string script = "import sys, random; from PIL import Image; random.seed(7); "
                                   "im = Image.new(\"" + mode + "\", (13, 5)); "
                                   "n = {\"1\": 2, \"P\": 256}.get(im.mode); "
                                   "im.putdata([random.randrange(n) if n else tuple(random.randrange(256) for _ in im.mode) for _ in range(65)]); "
                                   "im.putpalette([random.randrange(256) for _ in range(768)]) if im.mode == \"P\" else None; "
                                   "im.save(sys.argv[1])";
        EXPECT_TRUE(RunPillow(script, path));
        return path;
    }

    // Loads with our reader and compares with Pillow's decoding of the same file.
    void ExpectSamePixelsAsPillow(const std::string& path, int bitCount, int tolerance = 0)
    {
        TQvDIB dib;
        dib.LoadFromFile(path);
        EXPECT_EQ(dib.GetBitCount(), bitCount) << path;
        const auto peer = DecodeWithPillow(path);
        ASSERT_TRUE(peer) << path;
        EXPECT_EQ(dib.GetWidth(), peer->width);
        EXPECT_EQ(dib.GetHeight(), peer->height);
        const Bytes ours = OurPixels(dib);
        ASSERT_EQ(ours.size(), peer->rgb.size());
        for (std::size_t i = 0; i < ours.size(); ++i)
            ASSERT_LE(std::abs(ours[i] - peer->rgb[i]), tolerance) << path << " byte " << i;
    }

    std::filesystem::path dir_;
};

// Eleven colours in a 13 x 5 picture, drawn so that every row differs.
const std::string kFewColours =
    "-size 13x5 xc:red -fill blue -draw \"point 1,1\" -fill lime -draw \"line 0,4 12,0\" "
    "-fill yellow -draw \"point 3,2\" -fill white -draw \"point 12,4\" -fill black -draw \"point 0,0\" "
    "-fill cyan -draw \"point 5,3\" -fill magenta -draw \"point 6,3\" -fill gray -draw \"point 7,3\" "
    "-fill orange -draw \"point 8,3\" -fill purple -draw \"point 9,3\" -type palette";
const std::string kTwoColours = "-size 13x5 xc:black -fill white -draw \"line 0,0 12,4\" -type bilevel";
// 65 colours, one a pixel.
const std::string kManyColours =
    "-size 13x5 xc: -channel R -fx \"i/w\" -channel G -fx \"j/h\" -channel B -fx \"(i+j)/18\" +channel -type palette";

} // namespace

TEST_F(PeerFiles, PillowFilesReadAsPillowDecodesThem)
{
    ExpectSamePixelsAsPillow(Pillow("p1.bmp", "1"), 1);
    ExpectSamePixelsAsPillow(Pillow("p8.bmp", "P"), 8);
    ExpectSamePixelsAsPillow(Pillow("p24.bmp", "RGB"), 24);
    ExpectSamePixelsAsPillow(Pillow("p32.bmp", "RGBA"), 24); // 32-bit files are held as 24-bit
}

TEST_F(PeerFiles, ImageMagickFilesReadAsPillowDecodesThem)
{
    ExpectSamePixelsAsPillow(Magick("m1.bmp", kTwoColours, "BMP3"), 1);
    ExpectSamePixelsAsPillow(Magick("m4.bmp", kFewColours, "BMP3"), 4);
    ExpectSamePixelsAsPillow(Magick("m8.bmp", kManyColours + " -compress None", "BMP3"), 8);
    ExpectSamePixelsAsPillow(Magick("m24.bmp", "-size 13x5 gradient:red-blue -type truecolor", "BMP3"), 24);
    ExpectSamePixelsAsPillow(Magick("m32.bmp", "-size 13x5 gradient:red-blue -alpha on -define bmp3:alpha=true", "BMP3"),
                             24);
    // OS/2 files: 12-byte core header with RGBTRIPLE colour entries.
    ExpectSamePixelsAsPillow(Magick("core4.bmp", kFewColours, "BMP2"), 4);
    ExpectSamePixelsAsPillow(Magick("core8.bmp", kManyColours + " -compress None", "BMP2"), 8);
}

TEST_F(PeerFiles, ImageMagickRle8KeepsItsDataAndHeader)
{
    const std::string path = Magick("rle8.bmp", kManyColours + " -compress RLE", "BMP3");
    TQvDIB dib;
    dib.LoadFromFile(path);
    const BITMAPINFOHEADER& h = dib.Storage().DIBInfos.Header;
    EXPECT_EQ(h.biCompression, BI_RLE8);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(std::filesystem::file_size(path), 14 + 40 + 4 * h.biClrUsed + std::uint32_t(dib.Storage().DIBInfos.BitsSize));

    // Our copy of it decodes to the same pixels in Pillow.
    dib.SaveToFile(Path("ours.bmp"));
    const auto theirs = DecodeWithPillow(path);
    const auto ours = DecodeWithPillow(Path("ours.bmp"));
    ASSERT_TRUE(theirs && ours);
    EXPECT_EQ(ours->rgb, theirs->rgb);
}

TEST_F(PeerFiles, Bitfields565AsPillowDecodesThemWithinRounding)
{
    // Neither peer writes 5-6-5 with a 40-byte header, so the file is built here.
    BmpFile f;
    f.bitCount = 16;
    f.compression = BI_BITFIELDS;
    f.masks = {0xF800, 0x07E0, 0x001F};
    f.width = 7;
    f.height = 3;
    f.pixels = Sequence(48, 0x35);
    const Bytes bytes = f.Bytes();
    const std::string path = Path("565.bmp");
    TFileStream(path, TFileMode::fmCreate).WriteBuffer(bytes.data(), bytes.size());
    // Channel values scale as v x 255 / max; Pillow repeats the top bits instead,
    // which differs by at most 1.
    ExpectSamePixelsAsPillow(path, 24, 1);
}

TEST_F(PeerFiles, OurFilesOpenInPillowWithOurPixels)
{
    const struct {
        const char* name;
        int bits, width, height;
    } images[] = {{"o1.bmp", 1, 13, 5}, {"o4.bmp", 4, 32, 48}, {"o8.bmp", 8, 7, 3}, {"o24.bmp", 24, 5, -4}};
    for (const auto& image : images) {
        TQvDIB dib;
        dib.SetBitCount(image.bits);
        dib.SetWidth(image.width);
        dib.SetHeight(image.height);
        for (int i = 0; i < dib.GetPaletteSize(); ++i)
            dib.SetColors(i, RGB(std::uint8_t(37 * i), std::uint8_t(255 - i), std::uint8_t(i * i)));
        for (int y = 0; y < dib.GetHeight(); ++y) {
            std::uint8_t* row = dib.GetScanLine(y);
            for (std::int64_t x = 0; x < DIBStride(image.bits, image.width); ++x)
                row[x] = std::uint8_t(31 * y + 7 * x + 3);
        }
        dib.SaveToFile(Path(image.name));
        const auto peer = DecodeWithPillow(Path(image.name));
        ASSERT_TRUE(peer) << image.name;
        EXPECT_EQ(peer->width, image.width);
        EXPECT_EQ(peer->rgb, OurPixels(dib)) << image.name;
    }
}
