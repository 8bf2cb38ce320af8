#include "qvdib/BmpFile.h"
#include "qvdib/BmpReader.h"
#include "qvdib/QvDIB.h"
#include "support/ExpectThrow.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <typeindex>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Load(TQvDIB& dib, const Bytes& bytes)
{
    TMemoryStream stream(bytes);
    dib.LoadFromStream(stream);
}

// What a refused load raised: its exact class and message.
struct Raised {
    std::type_index type = typeid(void);
    std::string message;
};

Raised Refusal(TQvDIB& dib, const Bytes& bytes)
{
    try {
        Load(dib, bytes);
    } catch (const Exception& e) {
        return {typeid(e), e.what()};
    }
    return {};
}

BmpFile Info(int bitCount, int width, int height, Bytes pixels, Bytes table = {})
{
    BmpFile f;
    f.bitCount = std::uint16_t(bitCount);
    f.width = width;
    f.height = height;
    f.pixels = std::move(pixels);
    f.table = std::move(table);
    return f;
}

BmpFile Core(int bitCount, int width, int height, Bytes pixels, Bytes triples = {})
{
    BmpFile f = Info(bitCount, width, height, std::move(pixels), std::move(triples));
    f.headerSize = 12;
    return f;
}

template <class Edit> BmpFile With(BmpFile f, Edit edit)
{
    edit(f);
    return f;
}

struct Accepted {
    const char* name;
    BmpFile file;
    std::int32_t biHeight;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t clrUsed;
    std::uint32_t sizeImage;
    std::uint32_t patternEntries; // leading colour table entries (i, 2i, 3i, 0); the rest must be 0
    Bytes bits;
};

const std::vector<Accepted>& AcceptedFiles()
{
    static const std::vector<Accepted> cases = {
        {"info_1bit_implied_colours", Info(1, 9, 2, Sequence(8), TableBytes(2)), 2, 1, 0, 2, 0, 2, Sequence(8)},
        {"info_4bit_top_down", Info(4, 3, -2, Sequence(8), TableBytes(16)), -2, 4, 0, 16, 0, 16, Sequence(8)},
        {"info_8bit_300_colours_and_gap",
         With(Info(8, 2, 1, Sequence(4), TableBytes(300)), [](BmpFile& f) { f.clrUsed = 300; f.gap = 6; }), 1, 8, 0,
         256, 0, 256, Sequence(4)},
        {"info_8bit_short_table", With(Info(8, 2, 1, Sequence(4), TableBytes(2)), [](BmpFile& f) { f.clrUsed = 2; }),
         1, 8, 0, 2, 0, 2, Sequence(4)},
        {"info_24bit_size_image_kept",
         With(Info(24, 2, 2, Sequence(16)), [](BmpFile& f) { f.sizeImage = 16; f.planes = 3; }), 2, 24, 0, 0, 16, 0,
         Sequence(16)},
        {"info_24bit_with_table", With(Info(24, 1, 1, Sequence(4), TableBytes(16)), [](BmpFile& f) { f.clrUsed = 16; }),
         1, 24, 0, 16, 0, 16, Sequence(4)},
        {"rle8_any_length", With(Info(8, 3, 2, {3, 7, 0, 1}, TableBytes(256)), [](BmpFile& f) { f.compression = 1; }),
         2, 8, 1, 256, 0, 256, {3, 7, 0, 1}},
        {"rle4_any_length", With(Info(4, 3, 2, {0, 1, 0}, TableBytes(16)), [](BmpFile& f) { f.compression = 2; }), 2,
         4, 2, 16, 0, 16, {0, 1, 0}},
        {"core_8bit", Core(8, 2, 1, Sequence(4), TableBytes(256, 3)), 1, 8, 0, 256, 0, 256, Sequence(4)},
        {"core_1bit_with_gap", With(Core(1, 9, 2, Sequence(8), TableBytes(2, 3)), [](BmpFile& f) { f.gap = 2; }), 2, 1,
         0, 2, 0, 2, Sequence(8)},
        {"core_24bit", Core(24, 1, 1, Sequence(4)), 1, 24, 0, 0, 0, 0, Sequence(4)},
        // 0x4210: each channel 16 of 31 -> 131; 0x7FFF -> white; 0x001F -> blue.
        {"rgb16_555_three_wide", Info(16, 3, 1, {0x10, 0x42, 0xFF, 0x7F, 0x1F, 0x00, 0xAB, 0xCD}), 1, 24, 0, 0, 0, 0,
         {131, 131, 131, 255, 255, 255, 255, 0, 0, 0, 0, 0}},
        // 6-bit green uses max 252: 63 -> 255. Top-down rows stay top-down.
        {"bitfields16_565_top_down",
         With(Info(16, 1, -2, {0xE0, 0x07, 0, 0, 0x00, 0xF8, 0, 0}),
              [](BmpFile& f) { f.compression = 3; f.masks = {0xF800, 0x07E0, 0x001F}; f.sizeImage = 8; }),
         -2, 24, 0, 0, 0, 0, {0, 255, 0, 0, 0, 0, 255, 0}},
        {"rgb32_bottom_up", Info(32, 1, 2, {0x33, 0x22, 0x11, 0x00, 0xCC, 0xBB, 0xAA, 0xFF}), 2, 24, 0, 0, 0, 0,
         {0x33, 0x22, 0x11, 0, 0xCC, 0xBB, 0xAA, 0}},
        {"bitfields32_with_table_drops_masks",
         With(Info(32, 1, 1, {0x11, 0x22, 0x33, 0x00}, TableBytes(2)),
              [](BmpFile& f) { f.compression = 3; f.masks = {0xFF, 0xFF00, 0xFF0000}; f.clrUsed = 2; }),
         1, 24, 0, 2, 0, 2, {0x33, 0x22, 0x11, 0}},
    };
    return cases;
}

class ReaderAccepts : public ::testing::TestWithParam<Accepted> {};

} // namespace

TEST_P(ReaderAccepts, StoredHeaderColourTableAndPixels)
{
    const Accepted& c = GetParam();
    TQvDIB dib;
    Load(dib, c.file.Bytes());
    const TQvDIBInfos& d = dib.Storage().DIBInfos;
    const BITMAPINFOHEADER& h = d.Header;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.file.width);
    EXPECT_EQ(h.biHeight, c.biHeight);
    EXPECT_EQ(h.biPlanes, c.file.planes);
    EXPECT_EQ(h.biBitCount, c.bitCount);
    EXPECT_EQ(h.biCompression, c.compression);
    EXPECT_EQ(h.biSizeImage, c.sizeImage);
    EXPECT_EQ(h.biXPelsPerMeter, 3780);
    EXPECT_EQ(h.biYPelsPerMeter, 3780);
    EXPECT_EQ(h.biClrUsed, c.clrUsed);
    EXPECT_EQ(dib.GetWidth(), c.file.width);
    EXPECT_EQ(dib.GetHeight(), std::abs(c.biHeight));
    for (std::uint32_t i = 0; i < std::uint32_t(kColorTableEntries); ++i) {
        const RGBQUAD expected = i < c.patternEntries
                                     ? RGBQUAD{std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i), 0}
                                     : RGBQUAD{};
        ASSERT_EQ(d.ColorTable[i], expected) << "entry " << i;
    }
    EXPECT_EQ(PixelBytes(d), c.bits);
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderAccepts, ::testing::ValuesIn(AcceptedFiles()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(BmpReader, PixelsPerMetreGivenInTheFileAreKept)
{
    TQvDIB dib;
    Load(dib, With(Info(24, 1, 1, Sequence(4)), [](BmpFile& f) { f.xPelsPerMeter = 2835; }).Bytes());
    EXPECT_EQ(dib.Storage().DIBInfos.Header.biXPelsPerMeter, 2835);
    EXPECT_EQ(dib.Storage().DIBInfos.Header.biYPelsPerMeter, 3780);
}

namespace {

struct Refused {
    const char* name;
    BmpFile file;
    std::type_index type;
    const char* message;
};

const std::type_index kInvalidDIB = typeid(EQvDIBInvalidDIB);
const char* const kTooLarge = "TQvInternalDIB.LoadFromStream: Image is too Large";
const char* const kOffBits = "TQvInternalDIB.LoadFromFile: bfOffBits is too small";
const char* const kSizeSmall = "TQvInternalDIB.LoadFromFile: bfSize is too small";
const char* const kWidthHeight = "TQvInternalDIB.LoadFromStream: Invalid Width or Height";

const std::vector<Refused>& RefusedFiles()
{
    const BmpFile rgb24 = Info(24, 1, 1, Sequence(4));
    static const std::vector<Refused> cases = {
        {"type_BA", With(rgb24, [](BmpFile& f) { f.type = 0x4142; }), typeid(EQvDIBInvalidDIBFile),
         "TQvInternalDIB.LoadFromFile: File type is invalid"},
        {"info_bit_count_2", Info(2, 1, 1, Sequence(4)), kInvalidDIB, "TQvInternalDIB.LoadFromStream: Invalid BitCout"},
        {"info_bit_count_0", Info(0, 1, 1, Sequence(4)), kInvalidDIB, "TQvInternalDIB.LoadFromStream: Invalid BitCout"},
        {"off_bits_53", With(rgb24, [](BmpFile& f) { f.bfOffBits = 53; }), kInvalidDIB, kOffBits},
        // An 8-bit file written without its table: the table implied by the depth
        // runs past bfOffBits.
        {"implied_table_missing", Info(8, 1, 1, Sequence(1028)), kInvalidDIB, kOffBits},
        // Bit fields announced, masks left out, pixels at 54.
        {"bitfields_without_masks",
         With(Info(16, 2, 3, Sequence(12)), [](BmpFile& f) { f.compression = 3; }), kInvalidDIB, kOffBits},
        {"core_bit_count_16", Core(16, 1, 1, Sequence(4)), kInvalidDIB, "TQvInternalDIB.LoadFromStream: Invalid BitCount"},
        {"core_off_bits", With(Core(1, 1, 1, Sequence(4), TableBytes(2, 3)), [](BmpFile& f) { f.bfOffBits = 31; }),
         kInvalidDIB, kOffBits},
        {"header_size_108", With(rgb24, [](BmpFile& f) { f.headerSize = 108; }), kInvalidDIB,
         "TQvInternalDIB.LoadFromStream: Invalid Bitmap Header Size"},
        {"header_size_0", With(rgb24, [](BmpFile& f) { f.headerSize = 0; }), kInvalidDIB,
         "TQvInternalDIB.LoadFromStream: Invalid Bitmap Header Size"},
        {"width_0", Info(24, 0, 1, Sequence(4)), kInvalidDIB, kWidthHeight},
        {"width_negative", Info(24, -1, 1, Sequence(4)), kInvalidDIB, kWidthHeight},
        {"height_0", Info(24, 1, 0, Sequence(4)), kInvalidDIB, kWidthHeight},
        {"core_width_0", Core(24, 0, 1, Sequence(4)), kInvalidDIB, kWidthHeight},
        {"blue_mask_0",
         With(Info(32, 1, 1, Sequence(4)), [](BmpFile& f) { f.compression = 3; f.masks = {0xFF0000, 0xFF00, 0}; }),
         kInvalidDIB, "TQvInternalDIB.LoadFromStream: Invalid Masks"},
        {"size_below_off_bits", With(rgb24, [](BmpFile& f) { f.bfSize = 20; }), kInvalidDIB, kSizeSmall},
        {"size_below_off_bits_32bit", With(Info(32, 1, 1, Sequence(4)), [](BmpFile& f) { f.bfSize = 0; }), kInvalidDIB,
         kSizeSmall},
        {"rows_one_byte_short", Info(8, 3, 2, Sequence(7), TableBytes(256)), kInvalidDIB, kSizeSmall},
        {"rows_short_of_a_top_down_file", Info(24, 2, -3, Sequence(23)), kInvalidDIB, kSizeSmall},
        {"absurd_24bit", Info(24, INT32_MAX, INT32_MIN, Sequence(4)), kInvalidDIB, kTooLarge},
        {"absurd_32bit", Info(32, INT32_MAX, INT32_MIN, Sequence(4)), kInvalidDIB, kTooLarge},
        {"absurd_rle8", With(Info(8, INT32_MAX, INT32_MAX, {0, 1}, TableBytes(256)), [](BmpFile& f) { f.compression = 1; }),
         kInvalidDIB, kTooLarge},
        {"pixel_block_above_2GiB", With(rgb24, [](BmpFile& f) { f.bfSize = 0xFFFFFFFF; }), kInvalidDIB, kTooLarge},
        {"pixels_beyond_the_stream", With(Info(8, 40000, 40000, {}, TableBytes(256)),
                                           [](BmpFile& f) { f.bfSize = 1078 + 1'600'000'000u; }),
         typeid(EReadError), "Stream read error"},
        {"32bit_rows_beyond_the_stream", Info(32, 20000, 20000, Sequence(16)), typeid(EReadError), "Stream read error"},
    };
    return cases;
}

class ReaderRefuses : public ::testing::TestWithParam<Refused> {};

} // namespace

TEST_P(ReaderRefuses, WithExactClassAndMessageLeavingTheImage)
{
    const Refused& c = GetParam();
    TQvDIB dib;
    dib.SetBitCount(4);
    dib.SetColors(1, clRed);
    const TQvInternalDIB* before = &dib.Storage();
    dib.SetModified(false);

    const Raised raised = Refusal(dib, c.file.Bytes());
    EXPECT_EQ(raised.type, c.type) << raised.type.name();
    EXPECT_EQ(raised.message, c.message);
    EXPECT_EQ(&dib.Storage(), before);
    EXPECT_EQ(dib.GetBitCount(), 4);
    EXPECT_EQ(dib.GetColors(1), clRed);
    EXPECT_FALSE(dib.Modified());
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderRefuses, ::testing::ValuesIn(RefusedFiles()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(BmpReader, TruncatedFilesRaiseTheReadErrorAndLeaveTheImage)
{
    for (const Accepted& c : AcceptedFiles()) {
        const Bytes whole = c.file.Bytes();
        for (std::size_t cut : {std::size_t(1), std::size_t(13), std::size_t(14), std::size_t(17), std::size_t(40),
                                whole.size() / 2, whole.size() - 1}) {
            if (cut >= whole.size())
                continue;
            TQvDIB dib;
            dib.SetWidth(7);
            const TQvInternalDIB* before = &dib.Storage();
            const Raised raised = Refusal(dib, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
            EXPECT_EQ(raised.type, std::type_index(typeid(EReadError))) << c.name << " cut at " << cut;
            EXPECT_EQ(raised.message, "Stream read error") << c.name << " cut at " << cut;
            EXPECT_EQ(&dib.Storage(), before);
            EXPECT_EQ(dib.GetWidth(), 7);
        }
    }
}

namespace {

// Peak address space of this process in KiB: a mapping that was made, even one
// never touched, shows here.
long PeakVirtualKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmPeak:", 0) == 0)
            return std::stol(line.substr(7));
    return -1;
}

} // namespace

TEST(BmpReader, PixelBlockBeyondTheStreamFailsBeforeMemoryIsTaken)
{
    // 1.6 GB announced, a few bytes present. Taking the memory first would map
    // 1.6 GB, which the peak address space would show.
    const Bytes file = With(Info(8, 40000, 40000, Sequence(64), TableBytes(256)),
                            [](BmpFile& f) { f.bfSize = 1078 + 1'600'000'000u; })
                           .Bytes();
    const long before = PeakVirtualKiB();
    ASSERT_GT(before, 0);
    TQvDIB dib;
    EXPECT_THROW_MESSAGE(Load(dib, file), EReadError, "Stream read error");
    EXPECT_LT(PeakVirtualKiB() - before, 512 * 1024);
}

TEST(BmpReader, MaskShiftsBringEachMaskIntoTheTopBitsOfAByte)
{
    const std::pair<std::uint32_t, int> cases[] = {{0x7C00, 7}, {0x03E0, 2}, {0x001F, -3}, {0xF800, 8},
                                                   {0x07E0, 3}, {0xFF0000, 16}, {0xFF, 0}, {0x80000000u, 24},
                                                   {0x1, -7}};
    for (const auto& [mask, shift] : cases)
        EXPECT_EQ(GetMaskShift(mask), shift) << std::hex << mask;
}

TEST(BmpReader, CrashersAllFailCleanly)
{
    const std::filesystem::path folder = std::filesystem::path(VXR_TEST_DATA_DIR) / "crashers";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        TQvDIB dib;
        const Raised raised = Refusal(dib, bytes);
        EXPECT_NE(raised.type, std::type_index(typeid(void))) << entry.path() << " was accepted";
        EXPECT_EQ(dib.GetWidth(), 1);
        ++count;
    }
    EXPECT_GE(count, 5);
}
