// The body of the RLE decoder fuzz targets. The first two bytes choose the
// picture (byte 0: width 1..256; byte 1: height 1..64 from its low six bits,
// top-down when its high bit is set); the rest is the encoded data. Bad data
// must be refused with EQvDIBInvalidDIB; anything else escaping, or any access
// outside a buffer, is a finding. A stream that decodes must also survive a
// round trip through our encoder unchanged.
#pragma once

#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIBErrors.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using RleRoutine = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool);

// Plain pixel x of row r in memory order, or -1 past the row's width.
inline int FuzzPixel(const TQvDIBInfos& plain, std::int64_t r, int x)
{
    const BITMAPINFOHEADER& h = plain.Header;
    const std::uint8_t* row = plain.Bits + r * DIBStride(h.biBitCount, h.biWidth);
    if (h.biBitCount == 8)
        return row[x];
    return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
}

// Encoding a decoded picture and decoding it again gives the same pixels, with
// the rows bottom-up.
inline void CheckRoundTrip(const TQvDIBInfos& plain, RleRoutine encode, RleRoutine decode)
{
    OwnedDIBInfos packed(false), again(false);
    try {
        encode(plain, *packed, false);
    } catch (const EQvDIBCompressionFailed&) {
        return;
    }
    decode(packed.Get(), *again, false);
    const std::int64_t rows = DIBRows(plain.Header);
    for (std::int64_t r = 0; r < rows; ++r) {
        const std::int64_t from = plain.Header.biHeight > 0 ? r : rows - 1 - r;
        for (int x = 0; x < plain.Header.biWidth; ++x)
            if (FuzzPixel(plain, from, x) != FuzzPixel(again.Get(), r, x))
                std::abort();
    }
}

inline int FuzzRleDecoder(const std::uint8_t* data, std::size_t size, int bitCount, RleRoutine decode,
                          RleRoutine encode)
{
    if (size < 2 || size > 65536)
        return 0;
    const int width = data[0] + 1;
    const int height = ((data[1] & 0x3F) + 1) * ((data[1] & 0x80) != 0 ? -1 : 1);

    OwnedDIBInfos source(false), plain(false);
    PixelBuffer stream(std::int64_t(size - 2), false);
    std::memcpy(stream.Bits(), data + 2, size - 2);
    stream.MoveInto(*source);
    BITMAPINFOHEADER& h = source->Header;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = std::uint16_t(bitCount);
    h.biCompression = bitCount == 8 ? BI_RLE8 : BI_RLE4;
    h.biClrUsed = std::uint32_t(GetNumColors(bitCount));
    try {
        decode(source.Get(), *plain, false);
    } catch (const EQvDIBInvalidDIB&) {
        return 0;
    }
    if (plain->BitsSize != *DIBImageSize(bitCount, width, height))
        std::abort();
    CheckRoundTrip(plain.Get(), encode, decode);
    return 0;
}
