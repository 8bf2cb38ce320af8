// What every conversion routine shares: the size of its new pixel memory and
// the result record it hands back. A routine reads its source without changing
// it, takes new memory in a PixelBuffer (released if anything raises), and only
// at the end fills the destination with FinishConversion.
#pragma once

#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIBErrors.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

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

// Whether the pixel block holds every row the header describes. A record that
// does not would be read past its end; routines refuse it before allocating.
inline bool HoldsItsPixels(const TQvDIBInfos& source)
{
    const BITMAPINFOHEADER& h = source.Header;
    const auto size = DIBImageSize(h.biBitCount, h.biWidth, h.biHeight);
    return size && source.BitsSize >= *size && (*size == 0 || source.Bits != nullptr);
}

// Work memory that a routine owns; a refused allocation raises the framework's
// out-of-memory exception, as pixel memory does.
template <class T>
std::unique_ptr<T[]> ZeroedWork(std::size_t count)
{
    try {
        return std::make_unique<T[]>(count);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(std::string(kOutOfMemoryMessage));
    }
}

template <class T>
std::unique_ptr<T[]> UninitialisedWork(std::size_t count)
{
    try {
        return std::make_unique_for_overwrite<T[]>(count);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(std::string(kOutOfMemoryMessage));
    }
}
