// The DIB records shared by every part of the library: the BMP file and info
// headers, colour table entries, the self-contained DIB description
// TQvDIBInfos, and the one place where row strides and image sizes are computed.
#pragma once

#include "platform/SharedMemory.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>

static_assert(std::endian::native == std::endian::little, "DIB records are laid out little-endian");

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;

inline constexpr std::uint16_t kBitmapFileType = 0x4D42; // "BM"
inline constexpr std::int32_t kDefaultPelsPerMeter = 3780; // 96 dots per inch

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
    friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};
static_assert(sizeof(RGBQUAD) == 4);

struct RGBTRIPLE {
    std::uint8_t rgbtBlue;
    std::uint8_t rgbtGreen;
    std::uint8_t rgbtRed;
};
static_assert(sizeof(RGBTRIPLE) == 3);

inline constexpr int kColorTableEntries = 260; // 256 colours and 4 spare (bit-field masks while reading)
inline constexpr int kMaxPaletteSize = 256;

// One complete DIB. A record owns the pixel memory that Bits and FileMapping
// name; copying the whole record moves that ownership.
struct TQvDIBInfos {
    std::int32_t BitsSize = 0;
    THandle FileMapping = 0;
    std::uint8_t* Bits = nullptr;
    BITMAPINFOHEADER Header{};
    RGBQUAD ColorTable[kColorTableEntries]{};
};
// Header and ColorTable together are the BITMAPINFO written to files and the clipboard.
static_assert(offsetof(TQvDIBInfos, ColorTable) == offsetof(TQvDIBInfos, Header) + sizeof(BITMAPINFOHEADER));

// The largest pixel block that exists: BitsSize is a signed 32-bit number.
inline constexpr std::int64_t kMaxBitsSize = INT32_MAX;

// Bytes of one row, padded to 4 bytes. Exact for any width up to 2^31 and bit count up to 32.
constexpr std::int64_t DIBStride(std::int64_t bitCount, std::int64_t width)
{
    return ((bitCount * width + 31) / 32) * 4;
}

// |height| rows of the stride, or nothing when the image could not be held in one
// block of at most kMaxBitsSize bytes (or the width is not positive).
constexpr std::optional<std::int32_t> DIBImageSize(std::int64_t bitCount, std::int64_t width, std::int64_t height)
{
    if (width <= 0 || bitCount <= 0 || bitCount > 32)
        return std::nullopt;
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t stride = DIBStride(bitCount, width);
    if (rows != 0 && stride > kMaxBitsSize / rows)
        return std::nullopt;
    return std::int32_t(stride * rows);
}

// Absolute row count of a header; biHeight of INT32_MIN has no int32 absolute value.
constexpr std::int64_t DIBRows(const BITMAPINFOHEADER& header)
{
    const std::int64_t height = header.biHeight;
    return height < 0 ? -height : height;
}

// One call is one progress step of a running conversion.
#include <functional>
using TQvProgressProc = std::function<void()>;
