#include "qvdib/QvDIB.h"
#include "support/ExpectThrow.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

namespace {

// Counts OnChange calls of one image.
struct ChangeCounter {
    explicit ChangeCounter(TQvDIB& dib)
    {
        dib.OnChange = [this](TGraphic&) { ++count; };
    }
    int count = 0;
};

class NotAnImage : public TPersistent {
public:
    std::string ClassName() const override { return "TNotAnImage"; }
};

} // namespace

TEST(QvDIB, NewImageDefaults)
{
    TQvDIB dib;
    EXPECT_EQ(dib.GetWidth(), 1);
    EXPECT_EQ(dib.GetHeight(), 1);
    EXPECT_EQ(dib.GetBitCount(), 8);
    EXPECT_EQ(dib.GetPaletteSize(), 256);
    EXPECT_FALSE(dib.GetEmpty());
    EXPECT_TRUE(dib.GetUseFMO());
    EXPECT_TRUE(dib.PaletteModified());
    EXPECT_FALSE(dib.Modified());
    EXPECT_EQ(dib.ConvertMode, 0);
    EXPECT_EQ(dib.MonoColor, 0xFFFFFFu);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(dib.GetColors(i), clBlack);
}

TEST(QvDIB, AssignSharesAndAWriteUnsharesOnlyTheWriter)
{
    TQvDIB a, b;
    a.SetBitCount(4);
    a.GetScanLine(0)[0] = 0x12;
    a.SetColors(3, clLime);
    b.Assign(&a);
    EXPECT_EQ(&a.Storage(), &b.Storage());
    EXPECT_EQ(a.Storage().RefCount, 2);

    b.SetColors(0, clRed);
    EXPECT_NE(&a.Storage(), &b.Storage());
    EXPECT_EQ(a.Storage().RefCount, 1);
    EXPECT_EQ(b.Storage().RefCount, 1);
    EXPECT_EQ(a.GetColors(0), clBlack);
    EXPECT_EQ(b.GetColors(0), clRed);
    EXPECT_EQ(b.GetColors(3), clLime) << "the copy keeps the whole colour table";

    b.Assign(&a);
    b.GetScanLine(0)[0] = 0x34;
    EXPECT_EQ(a.GetScanLine(0)[0], 0x12);
    EXPECT_EQ(b.GetScanLine(0)[0], 0x34);
    EXPECT_EQ(b.GetBitCount(), 4);
}

TEST(QvDIB, AssignCopiesSettingsAndSelfAssignDoesNothing)
{
    TQvDIB a, b;
    a.ConvertMode = 1;
    a.MonoColor = clRed;
    a.HalfToneMode = 2;
    b.Assign(&a);
    EXPECT_EQ(b.ConvertMode, 1);
    EXPECT_EQ(b.MonoColor, clRed);
    EXPECT_EQ(b.HalfToneMode, 2);

    ChangeCounter changes(a);
    a.Assign(&a);
    EXPECT_EQ(changes.count, 0);
    EXPECT_EQ(a.Storage().RefCount, 2);
}

TEST(QvDIB, ScanLineUnsharesBeforeCheckingTheRow)
{
    TQvDIB a, b;
    b.Assign(&a);
    EXPECT_THROW_MESSAGE(b.GetScanLine(1), EQvDIBPixelPositionRange, "TQvDIB.GetScanLine: y is Out of Range");
    EXPECT_NE(&a.Storage(), &b.Storage());
    EXPECT_THROW_MESSAGE(b.GetScanLine(-1), EQvDIBPixelPositionRange, "TQvDIB.GetScanLine: y is Out of Range");
}

TEST(QvDIB, RowZeroIsTheTopInBothRowOrders)
{
    TQvDIB dib;
    dib.SetBitCount(24);
    dib.SetWidth(2);
    dib.SetHeight(10);
    const std::uint8_t* bits = dib.Storage().DIBInfos.Bits;
    EXPECT_EQ(dib.GetScanLine(9), bits);
    EXPECT_EQ(dib.GetScanLine(0), bits + 9 * 8);

    ChangeCounter changes(dib);
    dib.SetHeight(-10);
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(dib.GetHeight(), 10);
    EXPECT_EQ(dib.Storage().DIBInfos.Header.biHeight, -10);
    EXPECT_EQ(dib.GetScanLine(0), dib.Storage().DIBInfos.Bits);
    dib.SetHeight(10);
    EXPECT_EQ(changes.count, 1) << "equal absolute height changes nothing";
    EXPECT_EQ(dib.Storage().DIBInfos.Header.biHeight, -10);
}

TEST(QvDIB, GeometrySettersBuildABlankImageKeepingDepthAndPaletteSize)
{
    TQvDIB dib;
    dib.SetBitCount(4);
    dib.SetColors(1, clWhite);
    dib.GetScanLine(0)[0] = 0xFF;
    dib.SetWidth(32);
    EXPECT_EQ(dib.GetWidth(), 32);
    EXPECT_EQ(dib.GetHeight(), 1);
    EXPECT_EQ(dib.GetBitCount(), 4);
    EXPECT_EQ(dib.GetPaletteSize(), 16);
    EXPECT_EQ(dib.GetColors(1), clBlack);
    EXPECT_EQ(dib.GetScanLine(0)[0], 0);

    dib.SetBitCount(24);
    EXPECT_EQ(dib.GetPaletteSize(), 0);
    dib.SetBitCount(1);
    EXPECT_EQ(dib.GetPaletteSize(), 2);
}

TEST(QvDIB, PaletteSizeAndColoursFollowTheirRanges)
{
    TQvDIB dib;
    dib.SetBitCount(4);
    dib.SetColors(200, clRed);
    EXPECT_EQ(dib.GetColors(200), clRed);
    EXPECT_EQ(dib.GetPaletteSize(), 16);
    dib.SetPaletteSize(256);
    EXPECT_EQ(dib.GetPaletteSize(), 256);
    dib.SetColors(5, clBtnFace);
    EXPECT_EQ(dib.GetColors(5), ColorToRGB(clBtnFace)) << "system colours are resolved";

    dib.SetBitCount(24);
    dib.SetPaletteSize(0);
    EXPECT_EQ(dib.GetPaletteSize(), 0);
}

TEST(QvDIB, RefusalsCarryTheirClassAndMessage)
{
    TQvDIB dib;
    EXPECT_THROW_MESSAGE(dib.SetWidth(0), EQvDIBInvalidDIBPara, "TQvDIB.SetWidth: Invalid Width");
    EXPECT_THROW_MESSAGE(dib.SetWidth(-5), EQvDIBInvalidDIBPara, "TQvDIB.SetWidth: Invalid Width");
    EXPECT_THROW_MESSAGE(dib.SetHeight(0), EQvDIBInvalidDIBPara, "TQvDIB.SetHeight: Invalid Height");
    EXPECT_THROW_MESSAGE(dib.SetBitCount(16), EQvDIBInvalidDIBPara, "TQvDIB.SetBitCount: Invalid BitCount");
    EXPECT_THROW_MESSAGE(dib.SetPaletteSize(0), EQvDIBPaletteIndexRange,
                         "TQvDIB.SetPaletteSize: Palette Index is Out of Range 2");
    EXPECT_THROW_MESSAGE(dib.SetPaletteSize(257), EQvDIBPaletteIndexRange,
                         "TQvDIB.SetPaletteSize: Palette Index is Out of Range 2");
    EXPECT_THROW_MESSAGE(dib.GetColors(256), EQvDIBPaletteIndexRange, "TQvDIB.GetColors: Palette Index is Out of Range");
    EXPECT_THROW_MESSAGE(dib.GetColors(-1), EQvDIBPaletteIndexRange, "TQvDIB.GetColors: Palette Index is Out of Range");
    EXPECT_THROW_MESSAGE(dib.SetColors(256, clRed), EQvDIBPaletteIndexRange,
                         "TQvDIB.SetColors: Palette Index is Out of Range");
    const NotAnImage stranger;
    EXPECT_THROW_MESSAGE(dib.Assign(&stranger), EConvertError, "Cannot assign a TNotAnImage to a TQvDIB");
    dib.SetBitCount(24);
    EXPECT_THROW_MESSAGE(dib.SetPaletteSize(257), EQvDIBPaletteIndexRange,
                         "TQvDIB.SetPaletteSize: Palette Index is Out of Range 1");
    EXPECT_THROW_MESSAGE(dib.SetPaletteSize(-1), EQvDIBPaletteIndexRange,
                         "TQvDIB.SetPaletteSize: Palette Index is Out of Range 1");
}

TEST(QvDIB, RejectedRangeChecksDoNotUnshare)
{
    TQvDIB a, b;
    b.Assign(&a);
    EXPECT_THROW(b.SetPaletteSize(0), EQvDIBPaletteIndexRange);
    EXPECT_THROW(b.SetColors(-1, clRed), EQvDIBPaletteIndexRange);
    EXPECT_EQ(&a.Storage(), &b.Storage());
}

TEST(QvDIB, ScanLineOfCompressedDataIsRefused)
{
    TQvDIB dib;
    // A compressed image is what the BMP reader keeps for RLE files.
    const_cast<TQvInternalDIB&>(dib.Storage()).DIBInfos.Header.biCompression = BI_RLE8;
    EXPECT_THROW_MESSAGE(dib.GetScanLine(0), EQvDIBBadDIBType, "TQvDIB.GetScanLine: Bad DIB Type");
}

TEST(QvDIB, FailedStorageReplacementLeavesTheImageAndFiresNothing)
{
    TQvDIB dib;
    dib.SetBitCount(24);
    dib.GetScanLine(0)[0] = 7;
    const TQvInternalDIB* before = &dib.Storage();
    ChangeCounter changes(dib);
    EXPECT_THROW_MESSAGE(dib.SetWidth(INT_MAX), EQvDIBInvalidDIBPara, "TQvInternalDIB.CreateDIB: Invalid Parameters");
    EXPECT_THROW_MESSAGE(dib.SetHeight(INT_MIN), EQvDIBInvalidDIBPara, "TQvInternalDIB.CreateDIB: Invalid Parameters");
    EXPECT_EQ(&dib.Storage(), before);
    EXPECT_EQ(dib.GetWidth(), 1);
    EXPECT_EQ(dib.GetScanLine(0)[0], 7);
    EXPECT_EQ(changes.count, 0);
}

TEST(QvDIB, OnChangeFiresForEveryChangeAndNothingElse)
{
    struct Case {
        const char* name;
        std::function<void(TQvDIB&, TQvDIB&)> run;
        int changes;
    };
    const Case cases[] = {
        {"same width", [](TQvDIB& d, TQvDIB&) { d.SetWidth(1); }, 0},
        {"new width", [](TQvDIB& d, TQvDIB&) { d.SetWidth(2); }, 1},
        {"same height", [](TQvDIB& d, TQvDIB&) { d.SetHeight(1); }, 0},
        {"same bit count", [](TQvDIB& d, TQvDIB&) { d.SetBitCount(8); }, 0},
        {"new bit count", [](TQvDIB& d, TQvDIB&) { d.SetBitCount(1); }, 1},
        {"same palette size", [](TQvDIB& d, TQvDIB&) { d.SetPaletteSize(256); }, 0},
        {"new palette size", [](TQvDIB& d, TQvDIB&) { d.SetPaletteSize(2); }, 1},
        {"colour", [](TQvDIB& d, TQvDIB&) { d.SetColors(0, clBlack); }, 1},
        {"scan line", [](TQvDIB& d, TQvDIB&) { d.GetScanLine(0)[0] = 1; }, 0},
        {"unique", [](TQvDIB& d, TQvDIB& o) { o.Assign(&d); d.UniqueDIB(); }, 0},
        {"assign nil", [](TQvDIB& d, TQvDIB&) { d.Assign(nullptr); }, 1},
        {"assign other", [](TQvDIB& d, TQvDIB& o) { d.Assign(&o); }, 1},
        {"refused", [](TQvDIB& d, TQvDIB&) { EXPECT_ANY_THROW(d.SetWidth(0)); }, 0},
    };
    for (const Case& c : cases) {
        TQvDIB dib, other;
        ChangeCounter changes(dib);
        c.run(dib, other);
        EXPECT_EQ(changes.count, c.changes) << c.name;
        EXPECT_EQ(dib.Modified(), c.changes > 0) << c.name;
    }
}

TEST(QvDIB, AssignNilGivesTheDefaultImage)
{
    TQvDIB dib;
    dib.SetBitCount(24);
    dib.SetWidth(5);
    dib.Assign(nullptr);
    EXPECT_EQ(dib.GetWidth(), 1);
    EXPECT_EQ(dib.GetBitCount(), 8);
    EXPECT_EQ(dib.GetPaletteSize(), 256);
}

TEST(QvDIB, PaletteModifiedMovesFromTheStorage)
{
    TQvDIB dib;
    dib.SetPaletteModified(false);
    dib.SetColors(0, clRed);
    EXPECT_TRUE(dib.PaletteModified());
    EXPECT_FALSE(dib.Storage().PaletteModified);
}

TEST(QvDIB, RegisteredForDibFilesAndThePackedDIBClipboardFormat)
{
    const auto fromExtension = TPicture::CreateForExtension(".DIB");
    ASSERT_NE(fromExtension, nullptr);
    EXPECT_EQ(fromExtension->ClassName(), "TQvDIB");
    EXPECT_EQ(TPicture::DescriptionOf("dib"), "Device Independent Bitmap");
    const auto fromClipboard = TPicture::CreateForClipboardFormat(8);
    ASSERT_NE(fromClipboard, nullptr);
    EXPECT_EQ(fromClipboard->ClassName(), "TQvDIB");
}

TEST(QvDIB, HeapImagesStayOnTheHeapThroughReplacementAndConversion)
{
    TQvDIB dib(false);
    EXPECT_FALSE(dib.GetUseFMO());
    dib.SetBitCount(24);
    dib.SetWidth(16);
    dib.SetPixelFormat(TQvPixelFormat::qvPf8Bit);
    TQvDIB copy;
    copy.Assign(&dib);
    copy.SetColors(0, clRed); // the private copy keeps the memory kind
    for (const TQvDIB* image : {&dib, &copy}) {
        EXPECT_FALSE(image->GetUseFMO());
        EXPECT_EQ(image->Storage().DIBInfos.FileMapping, 0);
    }
}
