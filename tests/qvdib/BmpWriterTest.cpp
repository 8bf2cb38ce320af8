#include "qvdib/BmpFile.h"
#include "qvdib/QvDIB.h"
#include "support/ExpectThrow.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Save(const TQvDIB& dib)
{
    TMemoryStream stream;
    dib.SaveToStream(stream);
    return stream.Bytes();
}

void Load(TQvDIB& dib, const Bytes& bytes)
{
    TMemoryStream stream(bytes);
    dib.LoadFromStream(stream);
}

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::int32_t I32(const Bytes& b, std::size_t at)
{
    return std::int32_t(U32(b, at));
}

// Fills every pixel byte with a pattern so that misplaced rows show.
void Paint(TQvDIB& dib)
{
    for (int y = 0; y < dib.GetHeight(); ++y) {
        std::uint8_t* row = dib.GetScanLine(y);
        const auto stride = DIBStride(dib.GetBitCount(), dib.GetWidth());
        for (std::int64_t i = 0; i < stride; ++i)
            row[i] = std::uint8_t(17 * y + i + 1);
    }
}

// An RLE8 picture as a file would bring it: 3 x 2, two runs and the end code.
Bytes Rle8File()
{
    BmpFile f;
    f.width = 3;
    f.height = 2;
    f.compression = BI_RLE8;
    f.clrUsed = 256;
    f.xPelsPerMeter = f.yPelsPerMeter = 3780;
    f.table = TableBytes(256);
    f.pixels = {3, 1, 0, 0, 3, 2, 0, 1};
    return f.Bytes();
}

struct Layout {
    const char* name;
    std::function<void(TQvDIB&)> make;
    std::uint32_t offBits;
    std::uint32_t size;
};

class WriterLayout : public ::testing::TestWithParam<Layout> {};

} // namespace

TEST_P(WriterLayout, FileHeaderInfoHeaderTableAndPixels)
{
    TQvDIB dib;
    GetParam().make(dib);
    const Bytes file = Save(dib);
    const TQvDIBInfos& d = dib.Storage().DIBInfos;
    ASSERT_EQ(file.size(), GetParam().size);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(U32(file, 2), GetParam().size);
    EXPECT_EQ(U32(file, 6), 0u) << "reserved words";
    EXPECT_EQ(U32(file, 10), GetParam().offBits);
    EXPECT_EQ(std::memcmp(file.data() + 14, &d.Header, 40), 0);
    EXPECT_EQ(std::memcmp(file.data() + 54, d.ColorTable, 4 * d.Header.biClrUsed), 0);
    EXPECT_EQ(Bytes(file.begin() + GetParam().offBits, file.end()), PixelBytes(d));
}

INSTANTIATE_TEST_SUITE_P(
    Images, WriterLayout,
    ::testing::Values(
        Layout{"new_image", [](TQvDIB&) {}, 1078, 1082},
        Layout{"rgb24_without_table", [](TQvDIB& d) { d.SetBitCount(24); d.SetWidth(3); Paint(d); }, 54, 54 + 12},
        Layout{"rgb24_with_16_colours",
               [](TQvDIB& d) { d.SetBitCount(24); d.SetPaletteSize(16); d.SetColors(15, clBlue); }, 118, 118 + 4},
        Layout{"game_picture_32x48",
               [](TQvDIB& d) { d.SetBitCount(4); d.SetWidth(32); d.SetHeight(48); d.SetColors(3, clLime); Paint(d); },
               118, 886},
        Layout{"top_down_1bit", [](TQvDIB& d) { d.SetBitCount(1); d.SetWidth(33); d.SetHeight(-3); Paint(d); }, 62,
               62 + 24},
        Layout{"rle8", [](TQvDIB& d) { Load(d, Rle8File()); }, 1078, 1078 + 8}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(BmpWriter, NegativeHeightAndLoadedSizeImageAreWrittenAsHeld)
{
    TQvDIB dib;
    dib.SetHeight(-3);
    EXPECT_EQ(I32(Save(dib), 22), -3);
    EXPECT_EQ(U32(Save(dib), 34), 0u) << "images made by the library write biSizeImage 0";

    BmpFile f;
    f.bitCount = 24;
    f.sizeImage = 4;
    f.pixels = Sequence(4);
    Load(dib, f.Bytes());
    EXPECT_EQ(U32(Save(dib), 34), 4u);
}

TEST(BmpWriter, RleFileWithFullHeaderIsWrittenBackByteForByte)
{
    TQvDIB dib;
    Load(dib, Rle8File());
    EXPECT_EQ(Save(dib), Rle8File());
}

TEST(BmpWriter, WritesAtTheStreamPositionWithoutSeeking)
{
    TQvDIB dib;
    dib.SetBitCount(24);
    TMemoryStream stream;
    const std::uint8_t before[] = {'a', 'b', 'c'};
    stream.WriteBuffer(before, sizeof before);
    dib.SaveToStream(stream);

    Bytes expected(before, before + 3);
    const Bytes alone = Save(dib);
    expected.insert(expected.end(), alone.begin(), alone.end());
    EXPECT_EQ(stream.Bytes(), expected);
    EXPECT_EQ(stream.Position(), std::int64_t(expected.size()));
}

namespace {

// Takes the first capacity bytes, then no more: a full disk.
class FullStream : public TStream {
public:
    explicit FullStream(std::size_t capacity) : capacity_(capacity) {}
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override
    {
        const std::size_t taken = std::min(count, capacity_ - written_);
        written_ += taken;
        return taken;
    }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return std::int64_t(written_); }

private:
    std::size_t capacity_;
    std::size_t written_ = 0;
};

} // namespace

TEST(BmpWriter, StreamThatTakesFewerBytesRaisesTheWriteError)
{
    TQvDIB dib;
    for (std::size_t capacity : {0, 13, 14, 60, 1081}) {
        FullStream stream(capacity);
        EXPECT_THROW_MESSAGE(dib.SaveToStream(stream), EWriteError, "Stream write error");
    }
}

TEST(BmpWriter, SavingASharedImageNeitherUnsharesNorNotifies)
{
    TQvDIB a, b;
    b.Assign(&a);
    a.SetModified(false);
    Save(a);
    EXPECT_EQ(a.Storage().RefCount, 2);
    EXPECT_FALSE(a.Modified());
}

namespace {

struct RoundTrip {
    const char* name;
    std::function<void(TQvDIB&)> make;
};

class WriterThenReader : public ::testing::TestWithParam<RoundTrip> {};

} // namespace

TEST_P(WriterThenReader, GivesAnIdenticalStorage)
{
    TQvDIB original;
    GetParam().make(original);
    TQvDIB copy;
    Load(copy, Save(original));
    const TQvDIBInfos& a = original.Storage().DIBInfos;
    const TQvDIBInfos& b = copy.Storage().DIBInfos;
    EXPECT_EQ(std::memcmp(&a.Header, &b.Header, sizeof a.Header), 0);
    EXPECT_EQ(std::memcmp(a.ColorTable, b.ColorTable, sizeof a.ColorTable), 0);
    EXPECT_EQ(PixelBytes(a), PixelBytes(b));
    EXPECT_EQ(copy.GetWidth(), original.GetWidth());
    EXPECT_EQ(copy.GetHeight(), original.GetHeight());
}

INSTANTIATE_TEST_SUITE_P(
    Images, WriterThenReader,
    ::testing::Values(
        RoundTrip{"new_image", [](TQvDIB& d) { d.SetColors(255, clRed); Paint(d); }},
        RoundTrip{"bits1", [](TQvDIB& d) { d.SetBitCount(1); d.SetWidth(41); d.SetHeight(5); d.SetColors(1, clWhite); Paint(d); }},
        RoundTrip{"bits4_top_down", [](TQvDIB& d) { d.SetBitCount(4); d.SetWidth(24); d.SetHeight(-40); d.SetColors(7, clLime); Paint(d); }},
        RoundTrip{"bits8_few_colours", [](TQvDIB& d) { d.SetWidth(5); d.SetHeight(3); d.SetPaletteSize(7); d.SetColors(6, clBlue); Paint(d); }},
        RoundTrip{"bits24", [](TQvDIB& d) { d.SetBitCount(24); d.SetWidth(7); d.SetHeight(4); Paint(d); }},
        RoundTrip{"bits24_with_table", [](TQvDIB& d) { d.SetBitCount(24); d.SetPaletteSize(16); d.SetColors(2, clRed); Paint(d); }},
        RoundTrip{"rle8", [](TQvDIB& d) { Load(d, Rle8File()); }},
        RoundTrip{"loaded_from_16bit", [](TQvDIB& d) { Load(d, [] { BmpFile f; f.bitCount = 16; f.width = 3; f.height = -2; f.pixels = Sequence(16); return f.Bytes(); }()); }}),
    [](const auto& param) { return std::string(param.param.name); });
