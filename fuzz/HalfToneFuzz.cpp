// Halftones of arbitrary small images: any bit count and compression, any
// colour table, pixel memory that may be shorter than the header says. A
// refusal must be the library's assertion; a result must stay inside its
// memory and use only the cube entries.
#include "qvdib/DIBStorage.h"
#include "qvdib/HalfTone.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Next()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

void CheckResult(const TQvDIBInfos& result, bool colour)
{
    const std::int64_t stride = DIBStride(result.Header.biBitCount, result.Header.biWidth);
    if (result.BitsSize != stride * DIBRows(result.Header))
        std::abort();
    if (!colour)
        return;
    for (std::int64_t y = 0; y < DIBRows(result.Header); ++y)
        for (std::int32_t x = 0; x < result.Header.biWidth; ++x)
            if (result.Bits[y * stride + x] >= kHalfToneCubeSize)
                std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    Input in{data, size};
    static constexpr std::uint16_t kBitCounts[] = {1, 4, 8, 24, 16, 32, 2, 0};
    const std::uint8_t shape = in.Next();
    const int width = 1 + in.Next() % 48;
    const int height = (in.Next() % 33) * ((shape & 0x40) ? -1 : 1);

    OwnedDIBInfos source(false);
    const std::size_t tableBytes = std::min<std::size_t>(in.size, sizeof source->ColorTable);
    std::memcpy(source->ColorTable, in.data, tableBytes);
    in.data += tableBytes;
    in.size -= tableBytes;

    PixelBuffer pixels(std::int64_t(in.size), false);
    std::memcpy(pixels.Bits(), in.data, in.size);
    pixels.MoveInto(*source);
    source->Header.biSize = 40;
    source->Header.biWidth = width;
    source->Header.biHeight = height;
    source->Header.biBitCount = kBitCounts[shape & 7];
    source->Header.biCompression = (shape & 0x80) ? (shape >> 3) & 3 : 0;

    for (const bool colour : {true, false}) {
        OwnedDIBInfos result(false);
        try {
            if (colour)
                ConvertToHalfTone(source.Get(), *result, false);
            else
                ConvertToHalfToneBW(source.Get(), *result, false);
        } catch (const EAssertionFailed&) {
            continue;
        }
        CheckResult(result.Get(), colour);
    }
    return 0;
}
