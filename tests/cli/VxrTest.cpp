// The vxr command, end to end: the built program run as a user would run it.
#include "qvdib/BmpFile.h"
#include "qvdib/QvDIB.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Text(const std::string& path)
{
    const Bytes bytes = ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

// Runs vxr with the arguments (already quoted for the shell) inside folder.
Outcome Vxr(const TempFolder& folder, const std::string& arguments)
{
    const std::string command = "cd '" + folder.Path().string() + "' && '" VXR_PATH "' " + arguments +
                                " >'" + (folder / ".out") + "' 2>'" + (folder / ".err") + "'";
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = Text(folder / ".out");
    outcome.err = Text(folder / ".err");
    std::filesystem::remove(folder / ".out");
    std::filesystem::remove(folder / ".err");
    return outcome;
}

struct Made {
    const char* name;
    std::function<void(TQvDIB&)> make;
};

class ConvertRoundTrip : public ::testing::TestWithParam<Made> {};

} // namespace

TEST_P(ConvertRoundTrip, FilesOurWriterMadeComeOutByteIdentical)
{
    TempFolder folder;
    TQvDIB dib;
    GetParam().make(dib);
    dib.SaveToFile(folder / "in.bmp");

    const Outcome run = Vxr(folder, "convert in.bmp out.bmp");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadWholeFile(folder / "out.bmp"), ReadWholeFile(folder / "in.bmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Images, ConvertRoundTrip,
    ::testing::Values(
        Made{"game_picture", [](TQvDIB& d) { d.SetBitCount(4); d.SetWidth(32); d.SetHeight(48); d.SetPaletteSize(16); d.SetColors(9, clRed); d.GetScanLine(3)[2] = 0x9A; }},
        Made{"bits1", [](TQvDIB& d) { d.SetBitCount(1); d.SetWidth(19); d.GetScanLine(0)[1] = 0xF0; }},
        Made{"bits8", [](TQvDIB& d) { d.SetWidth(5); d.SetHeight(3); d.SetColors(200, clLime); d.GetScanLine(2)[4] = 200; }},
        Made{"bits24_top_down_with_table", [](TQvDIB& d) { d.SetBitCount(24); d.SetHeight(-4); d.SetPaletteSize(16); d.GetScanLine(3)[0] = 1; }},
        Made{"rle8", [](TQvDIB& d) {
            BmpFile f;
            f.width = 3;
            f.height = 2;
            f.compression = BI_RLE8;
            f.table = TableBytes(256);
            f.pixels = {3, 1, 0, 0, 3, 2, 0, 1};
            TMemoryStream stream(f.Bytes());
            d.LoadFromStream(stream);
        }}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Vxr, RefusedInputPrintsTheLibraryMessageAndLeavesNoOutput)
{
    TempFolder folder;
    WriteWholeFile(folder / "ba.bmp", {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0});
    const Outcome bad = Vxr(folder, "convert ba.bmp out.bmp");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "TQvInternalDIB.LoadFromFile: File type is invalid\n");
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"ba.bmp"});

    TQvDIB dib;
    dib.SaveToFile(folder / "whole.bmp");
    Bytes cut = ReadWholeFile(folder / "whole.bmp");
    cut.resize(cut.size() - 1);
    WriteWholeFile(folder / "cut.bmp", cut);
    WriteWholeFile(folder / "out.bmp", {'k', 'e', 'e', 'p'});
    const Outcome truncated = Vxr(folder, "convert cut.bmp out.bmp");
    EXPECT_EQ(truncated.exitCode, 1);
    EXPECT_EQ(truncated.err, "Stream read error\n");
    EXPECT_EQ(ReadWholeFile(folder / "out.bmp"), (Bytes{'k', 'e', 'e', 'p'}));

    const Outcome info = Vxr(folder, "info cut.bmp");
    EXPECT_EQ(info.exitCode, 1);
    EXPECT_EQ(info.err, "Stream read error\n");
}

TEST(Vxr, OutputThatCannotBeWrittenExitsOneWithTheFileError)
{
    TempFolder folder;
    TQvDIB dib;
    dib.SaveToFile(folder / "in.bmp");
    const Outcome run = Vxr(folder, "convert in.bmp missing/out.bmp");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Cannot create file \"missing/out.bmp\". No such file or directory\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.bmp"});
}

TEST(Vxr, WrongCommandLinesExitTwo)
{
    TempFolder folder;
    for (const char* arguments : {"", "bogus", "convert only-one.bmp", "info", "convert a b c", "info --quality 3 x"}) {
        const Outcome run = Vxr(folder, arguments);
        EXPECT_EQ(run.exitCode, 2) << "vxr " << arguments;
        EXPECT_NE(run.err, "") << "vxr " << arguments;
    }
    EXPECT_TRUE(folder.Names().empty());
}

TEST(Vxr, HelpAndVersionExitZero)
{
    TempFolder folder;
    const Outcome version = Vxr(folder, "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vxr ", 0), 0u) << version.out;
    for (const char* arguments : {"--help", "info --help", "convert --help"}) {
        const Outcome help = Vxr(folder, arguments);
        EXPECT_EQ(help.exitCode, 0) << arguments;
        EXPECT_NE(help.out.find("Usage: vxr"), std::string::npos) << arguments;
    }
}

TEST(Vxr, InfoShowsTheHeaderAsHeldAfterLoading)
{
    TempFolder folder;
    BmpFile f; // 16-bit top-down: held as 24-bit, rows kept top-down
    f.bitCount = 16;
    f.width = 3;
    f.height = -2;
    f.pixels = Sequence(16);
    WriteWholeFile(folder / "a.bmp", f.Bytes());
    const Outcome run = Vxr(folder, "info a.bmp");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "kind: BMP\n"
                       "width: 3\n"
                       "height: 2\n"
                       "row order: top-down\n"
                       "bit count: 24\n"
                       "compression: 0 (BI_RGB)\n"
                       "palette size: 0\n"
                       "pixel data: 24 bytes\n");
}

TEST(Vxr, InfoNamesTheGameFileBySize)
{
    TempFolder folder;
    WriteWholeFile(folder / "UNIT.BIN", Bytes(65536, 0x11));
    WriteWholeFile(folder / "WLDFACE.BIN", Bytes(131072, 0x22));
    WriteWholeFile(folder / "other.bin", Bytes(65535, 0x11));
    EXPECT_EQ(Vxr(folder, "info UNIT.BIN").out, "kind: UNIT.BIN\n");
    EXPECT_EQ(Vxr(folder, "info WLDFACE.BIN").out, "kind: WLDFACE.BIN\n");
    const Outcome other = Vxr(folder, "info other.bin");
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.err, "TQvInternalDIB.LoadFromFile: File type is invalid\n");
}

namespace {

// A 24-bit picture of four 16-pixel colour bands that every format can hold.
void SaveBands(const std::string& path)
{
    TQvDIB dib;
    dib.SetBitCount(24);
    dib.SetWidth(64);
    dib.SetHeight(4);
    const std::uint8_t bands[4][3] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 255, 0}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x)
            std::copy_n(bands[x / 16], 3, dib.GetScanLine(y) + 3 * x);
    dib.SaveToFile(path);
}

struct Loaded {
    TQvPixelFormat format;
    int paletteSize;
};

Loaded Load(const std::string& path)
{
    TQvDIB dib;
    dib.LoadFromFile(path);
    return {dib.GetPixelFormat(), dib.GetPaletteSize()};
}

} // namespace

TEST(Vxr, ConvertWritesEveryRequestedFormat)
{
    using enum TQvPixelFormat;
    struct Case {
        const char* arguments;
        TQvPixelFormat format;
        int paletteSize; // 0: whatever the reduction found, at most 16
    };
    const Case cases[] = {
        {"--format 1", qvPf1Bit, 2},           {"--format 4", qvPf4Bit, 0},
        {"--format 4RLE --quality high", qvPf4BitRLE, 0}, {"--format 8", qvPf8Bit, 0},
        {"--format 8rle", qvPf8BitRLE, 0},     {"--format 24", qvPf24Bit, 0},
        {"--format halftone", qvPf8Bit, 215},  {"--format halftone-bw", qvPf1Bit, 2},
    };
    TempFolder folder;
    SaveBands(folder / "in.bmp");
    for (const Case& c : cases) {
        const Outcome run = Vxr(folder, std::string("convert in.bmp out.bmp ") + c.arguments);
        ASSERT_EQ(run.exitCode, 0) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.err, "") << "no progress bar off a terminal";
        const Loaded out = Load(folder / "out.bmp");
        EXPECT_EQ(out.format, c.format) << c.arguments;
        if (c.paletteSize != 0)
            EXPECT_EQ(out.paletteSize, c.paletteSize) << c.arguments;
        else
            EXPECT_LE(out.paletteSize, c.format == qvPf24Bit ? 0 : 16) << c.arguments;
    }
    ASSERT_EQ(Vxr(folder, "convert in.bmp same.bmp --format 24").exitCode, 0);
    EXPECT_EQ(ReadWholeFile(folder / "same.bmp"), ReadWholeFile(folder / "in.bmp")) << "24 on 24 is unchanged";
}

TEST(Vxr, MonoColourChoosesTheWhitePixels)
{
    TempFolder folder;
    SaveBands(folder / "in.bmp");
    ASSERT_EQ(Vxr(folder, "convert in.bmp out.bmp --format 1 --mono-color FF0000").exitCode, 0);
    TQvDIB dib;
    dib.LoadFromFile(folder / "out.bmp");
    // Band 2 (bytes 0, 0, 255 in blue, green, red order) is red: pixels 32..47, bytes 4 and 5.
    const Bytes row(dib.GetScanLine(0), dib.GetScanLine(0) + 8);
    EXPECT_EQ(row, (Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0, 0}));
}

TEST(Vxr, RefusedConversionPrintsTheMessageAndWritesNothing)
{
    TempFolder folder;
    TQvDIB dib;
    dib.SetWidth(4); // four different pixels cannot shrink
    for (int x = 0; x < 4; ++x)
        dib.GetScanLine(0)[x] = std::uint8_t(x);
    dib.SaveToFile(folder / "in.bmp");
    const Outcome run = Vxr(folder, "convert in.bmp out.bmp --format 8rle");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Convert8BitRGBTo8BitRLE: Compression Failed\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"in.bmp"});

    const Outcome usage = Vxr(folder, "convert in.bmp out.bmp --quality best");
    EXPECT_EQ(usage.exitCode, 2);
}
