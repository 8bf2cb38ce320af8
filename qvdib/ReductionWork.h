// What the colour reductions share beyond the split itself: the refusal of a
// source that does not hold the pixels its header describes, and
// writing one palette index per pixel into 8- or 4-bit rows.
#pragma once

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A record whose pixel block is shorter than its width, height and depth need
// would be read past its end; it is refused before anything is allocated.
inline void CheckSourcePixels(const TQvDIBInfos& source, std::string_view routine)
{
    if (!HoldsItsPixels(source))
        throw EQvDIBInvalidDIB(std::string(routine) + ": Invalid Pixel Data Size");
}

// Fills uncompressed 8- or 4-bit rows (bits, zero-filled, of the source's
// geometry) row by row in storage order; indexOf(sourceRow, x) is the palette
// index of pixel x. In 4-bit rows the left pixel takes the high nibble, and an
// odd width leaves the low nibble of the last byte 0.
template <class IndexOf>
void WriteIndexRows(const TQvDIBInfos& source, std::uint8_t* bits, int bitCount, IndexOf indexOf)
{
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t rows = DIBRows(source.Header);
    const std::int64_t sourceStride = DIBStride(source.Header.biBitCount, width);
    const std::int64_t stride = DIBStride(bitCount, width);
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::uint8_t* in = source.Bits + y * sourceStride;
        std::uint8_t* out = bits + y * stride;
        if (bitCount == 8) {
            for (std::int64_t x = 0; x < width; ++x)
                out[x] = indexOf(in, x);
            continue;
        }
        std::int64_t x = 0;
        for (; x + 1 < width; x += 2)
            out[x / 2] = std::uint8_t((indexOf(in, x) << 4) | (indexOf(in, x + 1) & 0x0F));
        if (x < width)
            out[x / 2] = std::uint8_t(indexOf(in, x) << 4);
    }
}
