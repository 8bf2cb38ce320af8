// Small DIB records for tests of the conversion routines.
#pragma once

#include "qvdib/DIBStorage.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

// Fills infos with a header of the given geometry and pixel memory holding bits
// (zeros when bits is empty; when bits is given its length is BitsSize, so RLE
// streams of any length fit). biClrUsed is the depth's full palette size.
inline void MakeTestDIB(OwnedDIBInfos& infos, int bitCount, int width, int height,
                        std::uint32_t compression = BI_RGB, std::span<const std::uint8_t> bits = {})
{
    const std::int64_t size = bits.empty() ? *DIBImageSize(bitCount, width, height) : std::int64_t(bits.size());
    PixelBuffer memory(size, false);
    if (!bits.empty())
        std::memcpy(memory.Bits(), bits.data(), bits.size());
    TQvDIBInfos& d = *infos;
    memory.MoveInto(d);
    d.Header.biSize = 40;
    d.Header.biWidth = width;
    d.Header.biHeight = height;
    d.Header.biPlanes = 1;
    d.Header.biBitCount = std::uint16_t(bitCount);
    d.Header.biCompression = compression;
    d.Header.biXPelsPerMeter = kDefaultPelsPerMeter;
    d.Header.biYPelsPerMeter = kDefaultPelsPerMeter;
    d.Header.biClrUsed = std::uint32_t(GetNumColors(bitCount));
}

// The pixel bytes of a record, all BitsSize of them.
inline std::vector<std::uint8_t> PixelBytes(const TQvDIBInfos& infos)
{
    return {infos.Bits, infos.Bits + infos.BitsSize};
}
