#include "editors/RiffPalette.h"
#include "editors/WindowPort.h"
#include "qvdib/QvDIB.h"
#include "support/ExpectThrow.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records every box; warnings are answered from a script (OK when it runs out).
class FakeWindowPort : public WindowPort {
public:
    bool ShowWarning(const std::string& text) override
    {
        shown.push_back("warning:" + text);
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void ShowError(const std::string& text) override { shown.push_back("error:" + text); }

    std::vector<bool> answers;
    std::vector<std::string> shown;
};

// The 16-colour picture the palette commands work on.
void MakePalettePicture(TQvDIB& dib)
{
    dib.SetBitCount(4);
    for (int i = 0; i < 16; ++i)
        dib.SetColors(i, RGB(std::uint8_t(16 * i), std::uint8_t(255 - i), std::uint8_t(i * 7 + 1)));
}

std::vector<TColor> Colours(const TQvDIB& dib)
{
    std::vector<TColor> out;
    for (int i = 0; i < 16; ++i)
        out.push_back(dib.GetColors(i));
    return out;
}

// A palette file of count entries (entry i = (i, 2i, 3i)) and total length size.
Bytes PaletteFile(std::uint16_t count, std::size_t size)
{
    Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 0, 0, 0, 0, 0x00, 0x03};
    file.push_back(std::uint8_t(count));
    file.push_back(std::uint8_t(count >> 8));
    for (std::size_t i = 0; file.size() < size; ++i)
        file.insert(file.end(), {std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i), 0});
    file.resize(size);
    return file;
}

} // namespace

TEST(RiffPalette, WrittenFileIsTheFixed88ByteFormWithZeroFlags)
{
    TempFolder folder;
    TQvDIB dib;
    MakePalettePicture(dib);
    // A colour table entry with a non-zero reserved byte, as a loaded BMP can have.
    TMemoryStream bmp;
    dib.SaveToStream(bmp);
    Bytes bytes = bmp.Bytes();
    bytes[54 + 4 * 5 + 3] = 0x99;
    TMemoryStream reload(bytes);
    dib.LoadFromStream(reload);
    ASSERT_EQ(dib.Storage().DIBInfos.ColorTable[5].rgbReserved, 0x99);

    ASSERT_EQ(WriteRiffPalette(folder / "a.pal", dib), 0);
    const Bytes file = ReadWholeFile(folder / "a.pal");
    Bytes expected = {'R', 'I', 'F', 'F', 80, 0, 0, 0, 'P', 'A', 'L', ' ', 'd', 'a', 't', 'a', 68, 0, 0, 0, 0x00, 0x03, 16, 0};
    for (TColor c : Colours(dib))
        expected.insert(expected.end(), {GetRValue(c), GetGValue(c), GetBValue(c), 0});
    EXPECT_EQ(file, expected);
}

TEST(RiffPalette, RoundTripGivesTheSameSixteenColours)
{
    TempFolder folder;
    TQvDIB source;
    MakePalettePicture(source);
    ASSERT_EQ(WriteRiffPalette(folder / "a.pal", source), 0);

    FakeWindowPort port;
    TQvDIB target;
    target.SetBitCount(4);
    ASSERT_EQ(ReadRiffPalette(port, target, folder / "a.pal"), 0);
    EXPECT_EQ(Colours(target), Colours(source));
    EXPECT_TRUE(port.shown.empty());
}

TEST(RiffPalette, StandardFileOf256EntriesGivesItsFirstSixteen)
{
    TempFolder folder;
    WriteWholeFile(folder / "full.pal", PaletteFile(256, 1048));
    FakeWindowPort port;
    TQvDIB dib;
    dib.SetBitCount(4);
    ASSERT_EQ(ReadRiffPalette(port, dib, folder / "full.pal"), 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(dib.GetColors(i), RGB(std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i)));
}

TEST(RiffPalette, LengthFieldsAreNotLookedAt)
{
    TempFolder folder;
    Bytes file = PaletteFile(16, 88);
    file[4] = 0xFF;
    file[16] = 0xFF;
    WriteWholeFile(folder / "a.pal", file);
    FakeWindowPort port;
    TQvDIB dib;
    EXPECT_EQ(ReadRiffPalette(port, dib, folder / "a.pal"), 0);
}

namespace {

struct Refused {
    const char* name;
    Bytes file;
    const char* box;
};

Bytes Edited(Bytes file, std::size_t at, std::initializer_list<std::uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), file.begin() + std::ptrdiff_t(at));
    return file;
}

class RiffRefusal : public ::testing::TestWithParam<Refused> {};

} // namespace

TEST_P(RiffRefusal, ShowsOneErrorBoxAndLeavesTheColours)
{
    TempFolder folder;
    WriteWholeFile(folder / "bad.pal", GetParam().file);
    FakeWindowPort port;
    TQvDIB dib;
    MakePalettePicture(dib);
    const auto before = Colours(dib);
    dib.SetModified(false);

    EXPECT_EQ(ReadRiffPalette(port, dib, folder / "bad.pal"), -1);
    EXPECT_EQ(port.shown, std::vector<std::string>{std::string("error:") + GetParam().box});
    EXPECT_EQ(Colours(dib), before);
    EXPECT_FALSE(dib.Modified());
}

INSTANTIATE_TEST_SUITE_P(
    Files, RiffRefusal,
    ::testing::Values(
        Refused{"empty", {}, "\r\nInvalid file size."},
        Refused{"bytes_87", PaletteFile(16, 87), "\r\nInvalid file size."},
        Refused{"lower_case_riff", Edited(PaletteFile(16, 88), 0, {'r', 'i', 'f', 'f'}), "\r\nNot a RIFF standard PAL file"},
        Refused{"version_0301", Edited(PaletteFile(16, 88), 20, {0x01, 0x03}), "\r\nNot a RIFF standard PAL file"},
        Refused{"chunk_before_data", Edited(PaletteFile(16, 88), 12, {'f', 'a', 'c', 't'}), "\r\nNot a RIFF standard PAL file"},
        Refused{"form_type_pal_lower", Edited(PaletteFile(16, 88), 8, {'p'}), "\r\nNot a RIFF standard PAL file"},
        Refused{"count_15", PaletteFile(15, 88), "\r\nPalette has <16 colors"},
        Refused{"count_0", PaletteFile(0, 88), "\r\nPalette has <16 colors"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RiffPalette, FilesThatCannotBeOpenedOrCreatedRaiseTheFileErrors)
{
    FakeWindowPort port;
    TQvDIB dib;
    EXPECT_THROW_MESSAGE(ReadRiffPalette(port, dib, "/nonexistent/a.pal"), EFOpenError,
                         "Cannot open file \"/nonexistent/a.pal\". No such file or directory");
    EXPECT_THROW_MESSAGE(WriteRiffPalette("/nonexistent/a.pal", dib), EFCreateError,
                         "Cannot create file \"/nonexistent/a.pal\". No such file or directory");
    EXPECT_TRUE(port.shown.empty());
}

TEST(RiffPalette, WriteThatCannotBeCompletedGivesMinusOneAndKeepsTheOldFile)
{
    TempFolder folder;
    const Bytes old = PaletteFile(16, 88);
    WriteWholeFile(folder / "a.pal", old);
    TQvDIB dib;
    MakePalettePicture(dib);
    {
        FileSizeLimit limit(50);
        EXPECT_EQ(WriteRiffPalette(folder / "a.pal", dib), -1);
    }
    EXPECT_EQ(ReadWholeFile(folder / "a.pal"), old);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.pal"});
}
