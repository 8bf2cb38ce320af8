#include "qvdib/QvDIB.h"

#include <cstring>
#include <memory>

namespace {

// Registers the image class with the picture registry for the program's lifetime.
struct Registration {
    Registration()
    {
        auto factory = [] { return std::unique_ptr<TGraphic>(std::make_unique<TQvDIB>()); };
        TPicture::RegisterClipboardFormat(CF_DIB, "TQvDIB", factory);
        TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", "TQvDIB", factory);
    }
    ~Registration() { TPicture::UnregisterGraphicClass("TQvDIB"); }
};
const Registration registration;

} // namespace

TQvDIB::TQvDIB() : TQvDIB(kDefaultUseFMO) {}

TQvDIB::TQvDIB(bool useFMO) : InternalDIB(new TQvInternalDIB(useFMO))
{
    UpdatePaletteModified();
}

TQvDIB::~TQvDIB()
{
    ReleaseInternalDIB();
}

void TQvDIB::RequireStorage(const char* operation) const
{
    if (InternalDIB == nullptr)
        QvAssert(false, std::string(operation) + ": InternalDIB Should not be Nil");
}

void TQvDIB::ReleaseInternalDIB()
{
    QvAssert(InternalDIB != nullptr, "TQVDIB.ReleaseInternalDIB: InternalDIB should not be Nil");
    if (--InternalDIB->RefCount == 0)
        delete InternalDIB;
    InternalDIB = nullptr;
}

void TQvDIB::UpdatePaletteModified()
{
    QvAssert(InternalDIB->RefCount == 1, "TQvDIB.UpdatePaletteModified RefCount Must be 1");
    if (InternalDIB->PaletteModified) {
        InternalDIB->PaletteModified = false;
        SetPaletteModified(true);
    }
}

void TQvDIB::UniqueDIB()
{
    RequireStorage("TQvDIB.UniqueDIB");
    const TQvInternalDIB& shared = *InternalDIB;
    if (shared.RefCount == 1)
        return;
    auto copy = std::make_unique<TQvInternalDIB>(shared.UseFMO);
    copy->FreeDIB();
    copy->Width = shared.Width;
    copy->Height = shared.Height;
    copy->DIBInfos = shared.DIBInfos;
    // The copied record names the shared memory; it must not own it.
    copy->DIBInfos.Bits = nullptr;
    copy->DIBInfos.FileMapping = 0;
    PixelBuffer memory(shared.DIBInfos.BitsSize, copy->UseFMO, TMemoryContent::Overwritten);
    std::memcpy(memory.Bits(), shared.DIBInfos.Bits, std::size_t(shared.DIBInfos.BitsSize));
    memory.MoveInto(copy->DIBInfos);

    ReleaseInternalDIB();
    InternalDIB = copy.release();
    UpdatePaletteModified();
}

template <class Fill> void TQvDIB::ReplaceStorage(Fill fill)
{
    auto fresh = std::make_unique<TQvInternalDIB>(GetUseFMO());
    fill(*fresh);
    ReleaseInternalDIB();
    InternalDIB = fresh.release();
    UpdatePaletteModified();
    SetModified(true);
}

void TQvDIB::ReplaceWithBlank(int width, int height, int paletteSize, int bitCount)
{
    ReplaceStorage([&](TQvInternalDIB& storage) {
        storage.FreeDIB();
        storage.CreateDIB(width, height, paletteSize, bitCount);
    });
}

int TQvDIB::GetWidth() const
{
    RequireStorage("TQvDIB.GetWidth");
    return InternalDIB->Width;
}

int TQvDIB::GetHeight() const
{
    RequireStorage("TQvDIB.GetHeight");
    return InternalDIB->Height;
}

int TQvDIB::GetBitCount() const
{
    RequireStorage("TQvDIB.GetBitCount");
    return InternalDIB->DIBInfos.Header.biBitCount;
}

int TQvDIB::GetPaletteSize() const
{
    RequireStorage("TQvDIB.GetPaletteSize");
    return int(InternalDIB->DIBInfos.Header.biClrUsed);
}

bool TQvDIB::GetUseFMO() const
{
    RequireStorage("TQvDIB.GetUseFMO");
    return InternalDIB->UseFMO;
}

TColor TQvDIB::GetColors(int index) const
{
    RequireStorage("TQvDIB.GetColors");
    if (index < 0 || index >= kMaxPaletteSize)
        throw EQvDIBPaletteIndexRange("TQvDIB.GetColors: Palette Index is Out of Range");
    const RGBQUAD& c = InternalDIB->DIBInfos.ColorTable[index];
    return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

std::uint8_t* TQvDIB::GetScanLine(int y)
{
    if (InternalDIB->RefCount != 1) {
        UniqueDIB();
        UpdatePaletteModified();
    }
    const TQvDIBInfos& infos = InternalDIB->DIBInfos;
    const std::int64_t rows = DIBRows(infos.Header);
    if (y < 0 || y >= rows)
        throw EQvDIBPixelPositionRange("TQvDIB.GetScanLine: y is Out of Range");
    if (infos.Header.biCompression != BI_RGB)
        throw EQvDIBBadDIBType("TQvDIB.GetScanLine: Bad DIB Type");
    const std::int64_t stride = DIBStride(infos.Header.biBitCount, infos.Header.biWidth);
    const std::int64_t row = infos.Header.biHeight > 0 ? rows - 1 - y : y;
    // Loaded images are checked to hold every row; this guards the invariant.
    QvAssert((row + 1) * stride <= infos.BitsSize, "TQvDIB.GetScanLine: Pixel Data is too Small");
    return infos.Bits + row * stride;
}

void TQvDIB::SetWidth(int value)
{
    RequireStorage("TQvDIB.SetWidth");
    if (value <= 0)
        throw EQvDIBInvalidDIBPara("TQvDIB.SetWidth: Invalid Width");
    if (value == GetWidth())
        return;
    ReplaceWithBlank(value, GetHeight(), GetPaletteSize(), GetBitCount());
}

void TQvDIB::SetHeight(int value)
{
    RequireStorage("TQvDIB.SetHeight");
    if (value == 0)
        throw EQvDIBInvalidDIBPara("TQvDIB.SetHeight: Invalid Height");
    if (value == GetHeight())
        return;
    ReplaceWithBlank(GetWidth(), value, GetPaletteSize(), GetBitCount());
}

void TQvDIB::SetBitCount(int value)
{
    RequireStorage("TQvDIB.SetBitCount");
    if (value != 1 && value != 4 && value != 8 && value != 24)
        throw EQvDIBInvalidDIBPara("TQvDIB.SetBitCount: Invalid BitCount");
    if (value == GetBitCount())
        return;
    ReplaceWithBlank(GetWidth(), GetHeight(), GetNumColors(value), value);
}

void TQvDIB::SetPaletteSize(int value)
{
    RequireStorage("TQvDIB.SetPaletteSize");
    if (GetBitCount() == 24) {
        if (value < 0 || value > kMaxPaletteSize)
            throw EQvDIBPaletteIndexRange("TQvDIB.SetPaletteSize: Palette Index is Out of Range 1");
    } else if (value < 1 || value > kMaxPaletteSize) {
        throw EQvDIBPaletteIndexRange("TQvDIB.SetPaletteSize: Palette Index is Out of Range 2");
    }
    if (value == GetPaletteSize())
        return;
    UniqueDIB();
    BITMAPINFOHEADER& header = InternalDIB->DIBInfos.Header;
    header.biClrUsed = std::uint32_t(value);
    header.biClrImportant = 0;
    InternalDIB->UpdatePalette();
    UpdatePaletteModified();
    SetModified(true);
}

void TQvDIB::SetColors(int index, TColor color)
{
    RequireStorage("TQvDIB.SetColors");
    if (index < 0 || index >= kMaxPaletteSize)
        throw EQvDIBPaletteIndexRange("TQvDIB.SetColors: Palette Index is Out of Range");
    UniqueDIB();
    const TColor rgb = ColorToRGB(color);
    InternalDIB->DIBInfos.ColorTable[index] = RGBQUAD{GetBValue(rgb), GetGValue(rgb), GetRValue(rgb), 0};
    InternalDIB->UpdatePalette();
    UpdatePaletteModified();
    SetModified(true);
}

void TQvDIB::Assign(const TPersistent* source)
{
    RequireStorage("TQvDIB.Assign");
    if (source == nullptr) {
        ReplaceStorage([](TQvInternalDIB&) {});
        return;
    }
    if (const auto* other = dynamic_cast<const TQvDIB*>(source)) {
        if (other == this)
            return;
        ReleaseInternalDIB();
        ++other->InternalDIB->RefCount;
        InternalDIB = other->InternalDIB;
        MonoColor = other->MonoColor;
        ConvertMode = other->ConvertMode;
        HalfToneMode = other->HalfToneMode;
        SetPaletteModified(true);
        SetModified(true);
        return;
    }
    // FIXME: assigning from a framework bitmap comes with the drawing layer.
    TQvGraphic::Assign(source);
}

void TQvDIB::AssignTo(TPersistent& dest) const
{
    RequireStorage("TQvDIB.AssignTo");
    if (auto* other = dynamic_cast<TQvDIB*>(&dest)) {
        other->Assign(this);
        return;
    }
    TQvGraphic::AssignTo(dest);
}

void TQvDIB::LoadFromStream(TStream& stream)
{
    ReplaceStorage([&](TQvInternalDIB& storage) { storage.LoadFromStream(stream); });
}

void TQvDIB::SaveToStream(TStream& stream) const
{
    RequireStorage("TQvDIB.SaveToStream");
    InternalDIB->SaveToStream(stream);
}
