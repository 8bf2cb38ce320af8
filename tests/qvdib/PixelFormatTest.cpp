#include "qvdib/QvDIB.h"
#include "support/Descriptors.h"
#include "support/ExpectThrow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using enum TQvPixelFormat;

struct Notification {
    TProgressStage stage;
    int percent;
    bool redraw;
    TRect rect;
    std::string message;
};

struct Recorder {
    explicit Recorder(TQvDIB& dib)
    {
        dib.OnChange = [this](TGraphic&) { ++changes; };
        dib.OnProgress = [this](TGraphic&, TProgressStage stage, std::uint8_t percent, bool redraw, const TRect& rect,
                                const std::string& message) {
            notes.push_back({stage, percent, redraw, rect, message});
        };
    }
    int Count(TProgressStage stage) const
    {
        int n = 0;
        for (const auto& note : notes)
            n += note.stage == stage;
        return n;
    }
    std::vector<Notification> notes;
    int changes = 0;
};

// A 24-bit picture of four vertical colour bands of 16 pixels: it compresses
// well at every depth and survives the reductions with its four colours.
void MakeBands(TQvDIB& dib, int height = 8)
{
    dib.SetBitCount(24);
    dib.SetWidth(64);
    dib.SetHeight(height);
    const std::uint8_t bands[4][3] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 255, 0}};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.GetScanLine(y);
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = bands[x / 16][c];
    }
}

// A 24-bit picture with no two equal neighbours: no RLE scheme can shrink it.
void MakeNoise(TQvDIB& dib)
{
    dib.SetBitCount(24);
    dib.SetWidth(16);
    dib.SetHeight(4);
    for (int y = 0; y < 4; ++y) {
        std::uint8_t* row = dib.GetScanLine(y);
        for (int x = 0; x < 48; ++x)
            row[x] = std::uint8_t(x * 37 + y * 101);
    }
}

std::vector<std::uint8_t> Pixels(const TQvDIB& dib)
{
    const TQvDIBInfos& d = dib.Storage().DIBInfos;
    return {d.Bits, d.Bits + d.BitsSize};
}

int ExpectedPaletteSize(TQvPixelFormat from, TQvPixelFormat to, int sourcePaletteSize)
{
    if (to == qvPfHalfTone)
        return 215;
    if (to == qvPf1Bit || to == qvPfHalfToneBW)
        return 2;
    const bool reduces = (from == qvPf24Bit && to != qvPf24Bit) ||
                         ((from == qvPf8Bit || from == qvPf8BitRLE) && (to == qvPf4Bit || to == qvPf4BitRLE));
    return reduces ? -1 : sourcePaletteSize; // -1: a new palette of at most four colours here
}

} // namespace

TEST(PixelFormat, ReadFromBitCountAndCompression)
{
    struct Case {
        int bits;
        std::uint32_t compression;
        const char* error;
        TQvPixelFormat format;
    };
    const Case cases[] = {
        {1, BI_RGB, nullptr, qvPf1Bit},   {4, BI_RGB, nullptr, qvPf4Bit},    {4, BI_RLE4, nullptr, qvPf4BitRLE},
        {8, BI_RGB, nullptr, qvPf8Bit},   {8, BI_RLE8, nullptr, qvPf8BitRLE}, {24, BI_RGB, nullptr, qvPf24Bit},
        {1, BI_RLE8, "TQvInternalDIB.GetPixelFormat: Invalid DIB(1Bit)", {}},
        {4, BI_RLE8, "TQvInternalDIB.GetPixelFormat: Invalid DIB(4Bit)", {}},
        {8, BI_RLE4, "TQvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)", {}},
        {24, BI_BITFIELDS, "TQvInternalDIB.GetPixelFormat: Invalid DIB(24Bit)", {}},
        {16, BI_RGB, "TQvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)", {}},
    };
    for (const Case& c : cases) {
        TQvInternalDIB storage(true);
        storage.DIBInfos.Header.biBitCount = std::uint16_t(c.bits);
        storage.DIBInfos.Header.biCompression = c.compression;
        if (c.error == nullptr)
            EXPECT_EQ(storage.GetPixelFormat(), c.format);
        else
            EXPECT_THROW_MESSAGE(storage.GetPixelFormat(), EQvDIBInvalidDIB, c.error);
    }
}

TEST(PixelFormat, AnInconsistentHeaderRefusesReadingAndWriting)
{
    TQvDIB dib;
    const_cast<TQvInternalDIB&>(dib.Storage()).DIBInfos.Header.biCompression = BI_RLE4;
    EXPECT_THROW_MESSAGE(dib.GetPixelFormat(), EQvDIBInvalidDIB, "TQvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    EXPECT_THROW_MESSAGE(dib.SetPixelFormat(qvPf24Bit), EQvDIBInvalidDIB,
                         "TQvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
}

TEST(PixelFormat, EveryRouteReachesItsFormatAndKeepsOrBuildsThePalette)
{
    const TQvPixelFormat formats[] = {qvPf1Bit, qvPf4Bit, qvPf4BitRLE, qvPf8Bit, qvPf8BitRLE, qvPf24Bit};
    const TQvPixelFormat targets[] = {qvPf1Bit,  qvPf4Bit, qvPf4BitRLE,  qvPf8Bit,
                                      qvPf8BitRLE, qvPf24Bit, qvPfHalfTone, qvPfHalfToneBW};
    for (const auto from : formats) {
        for (const auto to : targets) {
            if (to == from)
                continue;
            TQvDIB dib;
            MakeBands(dib);
            dib.SetPixelFormat(from);
            ASSERT_EQ(dib.GetPixelFormat(), from);
            const int sourcePalette = dib.GetPaletteSize();
            Recorder recorder(dib);
            dib.SetPixelFormat(to);

            const TQvPixelFormat expected = to == qvPfHalfTone ? qvPf8Bit : to == qvPfHalfToneBW ? qvPf1Bit : to;
            const std::string pair = std::to_string(int(from)) + " -> " + std::to_string(int(to));
            EXPECT_EQ(dib.GetPixelFormat(), expected) << pair;
            EXPECT_EQ(dib.GetWidth(), 64) << pair;
            EXPECT_EQ(dib.GetHeight(), 8) << pair;
            EXPECT_EQ(recorder.changes, 1) << pair;
            const int palette = ExpectedPaletteSize(from, to, sourcePalette);
            if (palette < 0)
                EXPECT_LE(dib.GetPaletteSize(), 4) << pair;
            else
                EXPECT_EQ(dib.GetPaletteSize(), palette) << pair;
        }
    }
}

TEST(PixelFormat, LosslessRoutesKeepEveryColour)
{
    TQvDIB reference;
    MakeBands(reference);
    reference.SetPixelFormat(qvPf4Bit);
    reference.SetPixelFormat(qvPf24Bit);
    const auto expected = Pixels(reference);
    for (const auto through : {qvPf4BitRLE, qvPf8Bit, qvPf8BitRLE}) {
        TQvDIB dib;
        MakeBands(dib);
        dib.SetPixelFormat(qvPf4Bit);
        dib.SetPixelFormat(through);
        dib.SetPixelFormat(qvPf24Bit);
        EXPECT_EQ(Pixels(dib), expected) << int(through);
    }
}

TEST(PixelFormat, NewPictureToFourBitsAnnouncesSixteenSteps)
{
    TQvDIB dib;
    dib.SetPaletteModified(false);
    Recorder recorder(dib);
    dib.SetPixelFormat(qvPf4Bit);

    ASSERT_EQ(recorder.notes.size(), 17u);
    const TRect rect{0, 0, 1, 1};
    EXPECT_EQ(recorder.notes.front().stage, TProgressStage::psStarting);
    EXPECT_EQ(recorder.notes.front().percent, 0);
    EXPECT_FALSE(recorder.notes.front().redraw);
    const int running[] = {6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(recorder.notes[std::size_t(i + 1)].stage, TProgressStage::psRunning);
        EXPECT_EQ(recorder.notes[std::size_t(i + 1)].percent, running[i]);
        EXPECT_FALSE(recorder.notes[std::size_t(i + 1)].redraw);
    }
    EXPECT_EQ(recorder.notes.back().stage, TProgressStage::psEnding);
    EXPECT_EQ(recorder.notes.back().percent, 100);
    EXPECT_TRUE(recorder.notes.back().redraw);
    for (const auto& note : recorder.notes) {
        EXPECT_EQ(note.message, "PixelFormat 8Bit -> 4Bit");
        EXPECT_EQ(note.rect, rect);
    }
    EXPECT_EQ(dib.GetPixelFormat(), qvPf4Bit);
    EXPECT_EQ(dib.GetPaletteSize(), 1);
    EXPECT_TRUE(dib.PaletteModified());
    EXPECT_EQ(recorder.changes, 1);
}

TEST(PixelFormat, WritingTheCurrentFormatDoesNothing)
{
    TQvDIB dib;
    MakeBands(dib);
    dib.ConvertMode = 2; // not consulted: nothing converts
    Recorder recorder(dib);
    const auto* before = &dib.Storage();
    dib.SetPixelFormat(qvPf24Bit);
    EXPECT_EQ(&dib.Storage(), before);
    EXPECT_TRUE(recorder.notes.empty());
    EXPECT_EQ(recorder.changes, 0);
}

TEST(PixelFormat, UnknownReductionModeFailsBeforeAnyRoutineRuns)
{
    TQvDIB dib;
    MakeBands(dib);
    const auto pixels = Pixels(dib);
    dib.ConvertMode = 2;
    Recorder recorder(dib);
    EXPECT_THROW_MESSAGE(dib.SetPixelFormat(qvPf4Bit), EAssertionFailed,
                         "TQvIntenalDIB.SetPixelsFormat: PixelFormat Error (QvDIB)");
    EXPECT_EQ(dib.GetPixelFormat(), qvPf24Bit);
    EXPECT_EQ(Pixels(dib), pixels);
    EXPECT_EQ(recorder.Count(TProgressStage::psStarting), 1);
    EXPECT_EQ(recorder.Count(TProgressStage::psRunning), 0);
    EXPECT_EQ(recorder.Count(TProgressStage::psEnding), 1);
    EXPECT_EQ(recorder.changes, 0);

    EXPECT_THROW(dib.SetPixelFormat(qvPf8Bit), EAssertionFailed) << "24 -> 8 reduces true colour too";
}

TEST(PixelFormat, UnknownModeIsIgnoredWhereNoTrueColourIsReduced)
{
    TQvDIB dib;
    dib.ConvertMode = 2;
    dib.SetPixelFormat(qvPf4Bit);
    EXPECT_EQ(dib.GetPixelFormat(), qvPf4Bit);
}

TEST(PixelFormat, DispatcherRefusesTheCurrentFormatAndUnknownCodes)
{
    TQvInternalDIB storage(true);
    EXPECT_THROW_MESSAGE(storage.SetPixelsFormat(qvPf8Bit, 0, 0, {}), EAssertionFailed,
                         "TQvIntenalDIB.SetPixelsFormat: PixelFormat Error (QvDIB)");
    EXPECT_THROW(storage.SetPixelsFormat(TQvPixelFormat(8), 0, 0, {}), EAssertionFailed);
    EXPECT_EQ(storage.GetPixelFormat(), qvPf8Bit);
}

TEST(PixelFormat, AFailingLastStepLeavesTheImageAndReleasesTheIntermediates)
{
    TQvDIB dib;
    MakeNoise(dib);
    dib.ConvertMode = 1;
    const auto pixels = Pixels(dib);
    const auto* storage = &dib.Storage();
    const int descriptors = OpenDescriptors();
    Recorder recorder(dib);
    EXPECT_THROW_MESSAGE(dib.SetPixelFormat(qvPf8BitRLE), EQvDIBCompressionFailed,
                         "Convert8BitRGBTo8BitRLE: Compression Failed");
    EXPECT_EQ(&dib.Storage(), storage);
    EXPECT_EQ(dib.GetPixelFormat(), qvPf24Bit);
    EXPECT_EQ(Pixels(dib), pixels);
    EXPECT_EQ(OpenDescriptors(), descriptors) << "the 8-bit intermediate was released";
    EXPECT_EQ(recorder.Count(TProgressStage::psRunning), 255);
    EXPECT_EQ(recorder.notes.back().stage, TProgressStage::psEnding);
    EXPECT_EQ(recorder.notes.back().message, "PixelFormat 24Bit -> 8BitRLE");
    EXPECT_EQ(recorder.changes, 0);
}

TEST(PixelFormat, ConvertingOneOfTwoSharersLeavesTheOther)
{
    TQvDIB a, b;
    MakeBands(a);
    const auto pixels = Pixels(a);
    b.Assign(&a);
    b.SetPixelFormat(qvPf8BitRLE);
    EXPECT_EQ(a.GetPixelFormat(), qvPf24Bit);
    EXPECT_EQ(Pixels(a), pixels);
    EXPECT_EQ(b.GetPixelFormat(), qvPf8BitRLE);
    EXPECT_EQ(a.Storage().RefCount, 1);
}

TEST(PixelFormat, HalftoneDecodesRleFirstAndAlwaysConverts)
{
    TQvDIB dib;
    MakeBands(dib);
    dib.SetPixelFormat(qvPf8BitRLE);
    TQvInternalDIB& storage = const_cast<TQvInternalDIB&>(dib.Storage());
    storage.Palette = storage.GetPalette();
    Recorder recorder(dib);
    dib.SetPixelFormat(qvPfHalfTone);
    EXPECT_EQ(dib.GetPixelFormat(), qvPf8Bit);
    EXPECT_EQ(dib.GetPaletteSize(), 215);
    EXPECT_EQ(dib.Storage().Palette, 0u) << "the cached palette was dropped";
    dib.SetPixelFormat(qvPfHalfTone);
    EXPECT_EQ(recorder.changes, 2);
    EXPECT_TRUE(recorder.notes.empty());
}

TEST(PixelFormat, OneBitFromEightBitsMarksExactlyTheMonoColour)
{
    TQvDIB dib;
    dib.SetWidth(4);
    dib.SetColors(1, clWhite);
    dib.SetColors(2, RGB(255, 255, 254));
    dib.SetColors(3, clWhite);
    std::uint8_t* row = dib.GetScanLine(0);
    row[0] = 1, row[1] = 2, row[2] = 3, row[3] = 0;
    dib.SetPixelFormat(qvPf1Bit);
    EXPECT_EQ(dib.GetScanLine(0)[0], 0xA0);
    EXPECT_EQ(dib.GetColors(1), clWhite);
}
