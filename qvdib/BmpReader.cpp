// Reads a BMP file into a storage. 1-, 4-, 8- and 24-bit pixel data stay as in
// the file (RLE included); 16- and 32-bit data become 24-bit true colour; core
// headers become info headers. Every size taken from the file is checked against
// what an image can be and what the stream really holds before memory is asked for.
#include "qvdib/BmpReader.h"

#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIBErrors.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// The header and colour table as one block of bytes, as they lie in the record.
std::uint8_t* InfoBytes(TQvDIBInfos& infos)
{
    return reinterpret_cast<std::uint8_t*>(&infos) + offsetof(TQvDIBInfos, Header);
}

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::int64_t kFileHeaderSize = 14;

[[noreturn]] void RefuseOffBits()
{
    throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromFile: bfOffBits is too small");
}

void Skip(TStream& stream, std::int64_t bytes)
{
    if (bytes > 0)
        stream.Seek(bytes, TSeekOrigin::soCurrent);
}

// A read the stream cannot satisfy fails now, before its memory is allocated.
void RequireAvailable(TStream& stream, std::int64_t bytes)
{
    if (stream.Remaining() < bytes)
        throw EReadError("Stream read error");
}

// Info header: the rest of the header, the colour table (with masks for
// bit fields), then the gap up to the pixel data.
void ReadInfoHeader(TStream& stream, const BITMAPFILEHEADER& file, TQvDIBInfos& infos)
{
    BITMAPINFOHEADER& h = infos.Header;
    stream.ReadBuffer(InfoBytes(infos) + 4, kInfoHeaderSize - 4);
    if (h.biXPelsPerMeter == 0)
        h.biXPelsPerMeter = kDefaultPelsPerMeter;
    if (h.biYPelsPerMeter == 0)
        h.biYPelsPerMeter = kDefaultPelsPerMeter;
    const auto bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Invalid BitCout");
    if (h.biClrUsed == 0)
        h.biClrUsed = std::uint32_t(GetNumColors(bits));

    const std::uint64_t colors = h.biClrUsed;
    const std::uint64_t maskBytes = h.biCompression == BI_BITFIELDS ? 12 : 0;
    const std::uint64_t tableBytes = std::min<std::uint64_t>(colors, kMaxPaletteSize) * 4 + maskBytes;
    stream.ReadBuffer(infos.ColorTable, std::size_t(tableBytes));
    if (colors > kMaxPaletteSize)
        Skip(stream, std::int64_t((colors - kMaxPaletteSize) * 4));

    infos.BitsSize = 0; // set from the file sizes once the pixel format is known
    const std::uint64_t used = kFileHeaderSize + kInfoHeaderSize + 4 * colors + maskBytes;
    if (file.bfOffBits < used)
        RefuseOffBits();
    Skip(stream, std::int64_t(file.bfOffBits - used));
    h.biClrUsed = std::uint32_t(std::min<std::uint64_t>(colors, kMaxPaletteSize));
}

// Core header: four 16-bit words and RGBTRIPLE entries, converted to info form.
void ReadCoreHeader(TStream& stream, const BITMAPFILEHEADER& file, TQvDIBInfos& infos)
{
    std::uint8_t* record = InfoBytes(infos);
    stream.ReadBuffer(record + 4, kCoreHeaderSize - 4);
    std::uint16_t bitCount = 0;
    std::memcpy(&bitCount, record + 10, 2);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Invalid BitCount");
    const std::uint32_t triples = std::uint32_t(GetNumColors(bitCount));
    stream.ReadBuffer(record + kCoreHeaderSize, triples * 3);
    const std::uint32_t used = std::uint32_t(kFileHeaderSize) + kCoreHeaderSize + 3 * triples;
    if (file.bfOffBits < used)
        RefuseOffBits();
    Skip(stream, file.bfOffBits - used);
    ConvertCoreHeader(infos);
}

// Bytes of pixel data the file header announces. A file that claims its pixels
// start beyond its own end is inconsistent, whatever its depth.
std::int64_t AnnouncedPixelBytes(const BITMAPFILEHEADER& file)
{
    const std::int64_t size = std::int64_t(file.bfSize) - std::int64_t(file.bfOffBits);
    if (size < 0)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromFile: bfSize is too small");
    return size;
}

// 1, 4, 8 and 24 bits: the pixel data as in the file, bfSize - bfOffBits bytes.
void ReadStoredPixels(TStream& stream, std::int64_t size, TQvDIBInfos& infos, bool useFMO)
{
    const BITMAPINFOHEADER& h = infos.Header;
    if (size > kMaxBitsSize)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Image is too Large");
    // Even RLE data must decode into an image that can exist.
    const auto rows = DIBImageSize(h.biBitCount, h.biWidth, h.biHeight);
    if (!rows)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Image is too Large");
    // Plain rows are addressed by stride everywhere, so the data must hold them all.
    if (h.biCompression == BI_RGB && size < *rows)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromFile: bfSize is too small");
    RequireAvailable(stream, size);
    PixelBuffer memory(size, useFMO, TMemoryContent::Overwritten); // the read fills every byte
    stream.ReadBuffer(memory.Bits(), std::size_t(size));
    memory.MoveInto(infos);
}

struct Channel {
    std::uint32_t mask;
    int shift;
    std::uint32_t max;

    explicit Channel(std::uint32_t m) : mask(m), shift(GetMaskShift(m)), max(Shifted(m)) {}
    std::uint32_t Shifted(std::uint32_t value) const { return shift >= 0 ? value >> shift : value << -shift; }
    std::uint8_t Value(std::uint32_t pixel) const { return std::uint8_t((Shifted(pixel & mask) * 255u) / max); }
};

std::array<std::uint32_t, 3> ColourMasks(const TQvDIBInfos& infos)
{
    const BITMAPINFOHEADER& h = infos.Header;
    std::array<std::uint32_t, 3> masks{};
    if (h.biCompression != BI_RGB)
        std::memcpy(masks.data(), infos.ColorTable, sizeof masks);
    else if (h.biBitCount == 16)
        masks = {0x7C00, 0x03E0, 0x001F};
    else
        masks = {0xFF0000, 0xFF00, 0xFF};
    if (masks[0] == 0 || masks[1] == 0 || masks[2] == 0)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Invalid Masks");
    return masks;
}

// 16 and 32 bits: each row read in file order and widened to 24-bit BGR. The
// rows keep their order, so a top-down file stays top-down.
void ConvertPackedPixels(TStream& stream, TQvDIBInfos& infos, bool useFMO)
{
    BITMAPINFOHEADER& h = infos.Header;
    const int bytesPerPixel = h.biBitCount / 8;
    const std::int64_t rows = DIBRows(h);
    const std::int64_t sourceStride = DIBStride(h.biBitCount, h.biWidth);
    const std::int64_t destStride = DIBStride(24, h.biWidth);
    const auto size = DIBImageSize(24, h.biWidth, h.biHeight);
    if (!size || sourceStride > kMaxBitsSize)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Image is too Large");
    const auto masks = ColourMasks(infos);
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    RequireAvailable(stream, sourceStride * rows);

    PixelBuffer memory(*size, useFMO);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(sourceStride));
    for (std::int64_t r = 0; r < rows; ++r) {
        stream.ReadBuffer(row.data(), row.size());
        std::uint8_t* out = memory.Bits() + r * destStride;
        const std::uint8_t* in = row.data();
        for (std::int32_t x = 0; x < h.biWidth; ++x, in += bytesPerPixel, out += 3) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, in, std::size_t(bytesPerPixel));
            out[0] = blue.Value(pixel);
            out[1] = green.Value(pixel);
            out[2] = red.Value(pixel);
        }
    }
    if (h.biCompression == BI_BITFIELDS)
        std::memmove(infos.ColorTable, infos.ColorTable + 3, kMaxPaletteSize * sizeof(RGBQUAD));
    h.biCompression = BI_RGB;
    h.biBitCount = 24;
    h.biSizeImage = 0;
    memory.MoveInto(infos);
}

} // namespace

int GetMaskShift(std::uint32_t mask)
{
    int shift = 0;
    while (mask >= 256) {
        mask >>= 1;
        ++shift;
    }
    while (mask < 128) {
        mask <<= 1;
        --shift;
    }
    return shift;
}

void ConvertCoreHeader(TQvDIBInfos& infos)
{
    // The core header and its triples overlap the info header being written, so
    // they are taken out first.
    std::array<std::uint8_t, kCoreHeaderSize + 256 * 3> core{};
    std::memcpy(core.data(), InfoBytes(infos), core.size());
    std::uint16_t words[4];
    std::memcpy(words, core.data() + 4, sizeof words);

    BITMAPINFOHEADER& h = infos.Header;
    h = BITMAPINFOHEADER{};
    h.biSize = kInfoHeaderSize;
    h.biWidth = words[0];
    h.biHeight = words[1];
    h.biPlanes = words[2];
    h.biBitCount = words[3];
    h.biCompression = BI_RGB;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = kDefaultPelsPerMeter;
    h.biYPelsPerMeter = kDefaultPelsPerMeter;
    h.biClrUsed = std::uint32_t(GetNumColors(h.biBitCount));
    h.biClrImportant = 0;
    for (std::uint32_t i = 0; i < h.biClrUsed; ++i) {
        const std::uint8_t* t = core.data() + kCoreHeaderSize + 3 * i;
        infos.ColorTable[i] = RGBQUAD{t[0], t[1], t[2], 0};
    }
}

void TQvInternalDIB::LoadFromStream(TStream& stream)
{
    OwnedDIBInfos local(UseFMO);
    TQvDIBInfos& infos = *local;

    BITMAPFILEHEADER file{};
    stream.ReadBuffer(&file, sizeof file);
    if (file.bfType != kBitmapFileType)
        throw EQvDIBInvalidDIBFile("TQvInternalDIB.LoadFromFile: File type is invalid");
    stream.ReadBuffer(&infos.Header.biSize, sizeof infos.Header.biSize);
    if (infos.Header.biSize == kInfoHeaderSize)
        ReadInfoHeader(stream, file, infos);
    else if (infos.Header.biSize == kCoreHeaderSize)
        ReadCoreHeader(stream, file, infos);
    else
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Invalid Bitmap Header Size");

    const BITMAPINFOHEADER& h = infos.Header;
    if (h.biWidth <= 0 || h.biHeight == 0)
        throw EQvDIBInvalidDIB("TQvInternalDIB.LoadFromStream: Invalid Width or Height");
    const std::int64_t announced = AnnouncedPixelBytes(file);
    if (h.biBitCount == 16 || h.biBitCount == 32)
        ConvertPackedPixels(stream, infos, UseFMO);
    else
        ReadStoredPixels(stream, announced, infos, UseFMO);
    CommitLoaded(local.Release());
}
