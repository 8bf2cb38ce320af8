// What every conversion routine shares: the size of its new pixel memory and
// the result record it hands back. A routine reads its source without changing
// it, takes new memory in a PixelBuffer (released if anything raises), and only
// at the end fills the destination with FinishConversion.
#pragma once

#include "qvdib/DIBStorage.h"

#include <cstdint>

// Bytes of an uncompressed image of the source's width and row count at another
// depth. A size no DIB can have comes back as kMaxBitsSize + 1, which GetMemory
// refuses before asking for any memory.
inline std::int64_t ConvertedImageSize(const TQvDIBInfos& source, int bitCount)
{
    const auto size = DIBImageSize(bitCount, source.Header.biWidth, source.Header.biHeight);
    return size ? *size : kMaxBitsSize + 1;
}

// The destination: a whole copy of the source with the new memory, bit count and
// compression, and biSizeImage 0. Everything else (row order, colour table,
// biClrUsed) is the caller's to adjust afterwards.
inline void FinishConversion(const TQvDIBInfos& source, TQvDIBInfos& destination, PixelBuffer& memory,
                             int bitCount, std::uint32_t compression = BI_RGB)
{
    destination = source;
    memory.MoveInto(destination);
    destination.Header.biBitCount = std::uint16_t(bitCount);
    destination.Header.biCompression = compression;
    destination.Header.biSizeImage = 0;
}
