#include "qvdib/DIBStorage.h"

#include "qvdib/QvDIBErrors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Releases without raising: for destructors, which must not throw.
bool TryReleaseMemory(THandle fileMapping, std::uint8_t* bits, bool useFMO)
{
    if (!useFMO) {
        std::free(bits);
        return true;
    }
    if (KeepSharedMemory(fileMapping, bits))
        return true;
    const bool unmapped = UnmapSharedMemory(fileMapping, bits);
    const bool closed = CloseSharedMemory(fileMapping);
    return unmapped && closed;
}

} // namespace

// Every block is about to be written whole (a loaded file, a conversion result,
// a blank image), so its pages are taken in one call rather than one fault each.
void GetMemory(std::int64_t size, THandle& fileMapping, std::uint8_t*& bits, bool useFMO, TMemoryContent content)
{
    const bool possible = size >= 0 && size <= kMaxBitsSize;
    if (!useFMO) {
        // calloc hands out zeroed pages; ask for at least one byte so that an
        // empty image still has a distinct, releasable block.
        void* block = possible ? std::calloc(std::size_t(std::max<std::int64_t>(size, 1)), 1) : nullptr;
        if (block == nullptr)
            throw EOutOfMemory(std::string(kOutOfMemoryMessage));
        bits = static_cast<std::uint8_t*>(block);
        fileMapping = 0;
        PreferLargePages(bits, std::size_t(size));
        PrefaultForWriting(bits, std::size_t(size));
        return;
    }
    void* kept = nullptr;
    if (possible && ReuseSharedMemory(std::size_t(size), fileMapping, kept, content == TMemoryContent::Zeroed)) {
        bits = static_cast<std::uint8_t*>(kept);
        return;
    }
    const THandle handle = possible ? CreateSharedMemory(std::size_t(size)) : 0;
    if (handle == 0)
        throw EOutOfResources("GetMemory: Cannot Make File Mapping Object");
    void* view = MapSharedMemory(handle);
    if (view == nullptr) {
        CloseSharedMemory(handle);
        throw EOutOfResources("GetMemory: Cannot Make View of File Map");
    }
    fileMapping = handle;
    bits = static_cast<std::uint8_t*>(view);
    PrefaultForWriting(bits, std::size_t(size));
}

void ReleaseMemory(THandle fileMapping, std::uint8_t* bits, bool useFMO)
{
    if (!useFMO) {
        std::free(bits);
        return;
    }
    if (KeepSharedMemory(fileMapping, bits))
        return;
    QvAssert(UnmapSharedMemory(fileMapping, bits), "ReleaseMemory: Failed To Unmap View of File map");
    QvAssert(CloseSharedMemory(fileMapping), "ReleaseMemory: Failed To Close File Map");
}

int GetNumColors(int bitCount)
{
    switch (bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

HPALETTE GetPaletteFromDIBInfos(const TQvDIBInfos& infos)
{
    const std::size_t count = std::min<std::size_t>(infos.Header.biClrUsed, kMaxPaletteSize);
    if (count == 0)
        return 0;
    std::vector<PALETTEENTRY> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        const RGBQUAD& c = infos.ColorTable[i];
        entries[i] = {c.rgbRed, c.rgbGreen, c.rgbBlue, 0};
    }
    const HPALETTE palette = CreatePalette(entries);
    if (palette == 0)
        throw EOutOfResources("GetPaletteFromDIBInfos: Cannot Make Palette");
    return palette;
}

PixelBuffer::PixelBuffer(std::int64_t size, bool useFMO, TMemoryContent content) : useFMO_(useFMO)
{
    GetMemory(size, fileMapping_, bits_, useFMO, content);
    size_ = std::int32_t(size);
}

PixelBuffer::~PixelBuffer()
{
    if (bits_ != nullptr)
        TryReleaseMemory(fileMapping_, bits_, useFMO_);
}

void PixelBuffer::MoveInto(TQvDIBInfos& infos)
{
    infos.BitsSize = size_;
    infos.FileMapping = fileMapping_;
    infos.Bits = bits_;
    fileMapping_ = 0;
    bits_ = nullptr;
}

OwnedDIBInfos::~OwnedDIBInfos()
{
    if (infos_.Bits != nullptr)
        TryReleaseMemory(infos_.FileMapping, infos_.Bits, useFMO_);
}

TQvDIBInfos OwnedDIBInfos::Release()
{
    TQvDIBInfos result = infos_;
    infos_.Bits = nullptr;
    infos_.FileMapping = 0;
    return result;
}

TQvInternalDIB::TQvInternalDIB(bool useFMO) : UseFMO(useFMO)
{
    CreateDIB(1, 1, 256, 8);
}

TQvInternalDIB::~TQvInternalDIB()
{
    if (DIBInfos.Bits != nullptr)
        TryReleaseMemory(DIBInfos.FileMapping, DIBInfos.Bits, UseFMO);
    if (Palette != 0)
        DeletePalette(Palette);
}

void TQvInternalDIB::CreateDIB(int width, int height, int paletteSize, int bitCount)
{
    const bool validDepth = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
    const bool valid = width > 0 && height != 0 && paletteSize >= 0 && paletteSize <= kMaxPaletteSize && validDepth;
    const auto size = valid ? DIBImageSize(bitCount, width, height) : std::nullopt;
    if (!size)
        throw EQvDIBInvalidDIBPara("TQvInternalDIB.CreateDIB: Invalid Parameters");

    // The new memory comes zero-filled from either allocator, so it is not cleared again.
    PixelBuffer memory(*size, UseFMO);
    FreeDIB(); // callers free first; this only keeps a misuse from leaking
    memory.MoveInto(DIBInfos);
    Width = width;
    Height = height < 0 ? -height : height;

    BITMAPINFOHEADER& h = DIBInfos.Header;
    const std::uint32_t keptSizeImage = h.biSizeImage;
    h = BITMAPINFOHEADER{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = std::uint16_t(bitCount);
    h.biCompression = BI_RGB;
    h.biSizeImage = keptSizeImage;
    h.biXPelsPerMeter = kDefaultPelsPerMeter;
    h.biYPelsPerMeter = kDefaultPelsPerMeter;
    h.biClrUsed = std::uint32_t(paletteSize);
    h.biClrImportant = 0;
    std::fill_n(DIBInfos.ColorTable, kMaxPaletteSize, RGBQUAD{});
    PaletteModified = true;
}

void TQvInternalDIB::FreeDIB()
{
    if (DIBInfos.Bits != nullptr) {
        ReleaseMemory(DIBInfos.FileMapping, DIBInfos.Bits, UseFMO);
        DIBInfos.BitsSize = 0;
        DIBInfos.FileMapping = 0;
        DIBInfos.Bits = nullptr;
    }
    if (Palette != 0) {
        DeletePalette(Palette);
        Palette = 0;
    }
}

void TQvInternalDIB::UpdatePalette()
{
    QvAssert(RefCount == 1, "TQvInternalDIB.UpdatePalette: RefCount Must be 1");
    if (Palette != 0) {
        DeletePalette(Palette);
        Palette = 0;
    }
    PaletteModified = true;
}

HPALETTE TQvInternalDIB::GetPalette() const
{
    return GetPaletteFromDIBInfos(DIBInfos);
}

void TQvInternalDIB::CommitLoaded(TQvDIBInfos loaded)
{
    FreeDIB();
    DIBInfos = loaded;
    Width = DIBInfos.Header.biWidth;
    Height = std::int32_t(DIBRows(DIBInfos.Header));
    UpdatePalette();
}

void TQvInternalDIB::CommitConverted(TQvDIBInfos converted)
{
    ReleaseMemory(DIBInfos.FileMapping, DIBInfos.Bits, UseFMO);
    DIBInfos = converted;
    UpdatePalette();
}
