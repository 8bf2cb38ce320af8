// Small BMP files built byte by byte for the reader and writer tests: every
// field can be set, including inconsistent ones.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct BmpFile {
    std::uint32_t headerSize = 40; // 40 (info) or 12 (core); anything else is written as an info header of that size
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::vector<std::uint32_t> masks;  // written between header and colour table
    std::vector<std::uint8_t> table;   // colour table bytes as they are to appear
    std::size_t gap = 0;               // bytes of 0xEE between table and pixels
    std::vector<std::uint8_t> pixels;
    std::optional<std::uint32_t> bfSize;    // default: the real length
    std::optional<std::uint32_t> bfOffBits; // default: where the pixels start
    std::uint16_t type = 0x4D42;

    std::vector<std::uint8_t> Bytes() const
    {
        std::vector<std::uint8_t> out;
        auto put = [&out](std::uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i, value >>= 8)
                out.push_back(std::uint8_t(value));
        };
        put(type, 2);
        put(0, 4 + 2 + 2 + 4); // sizes patched below
        put(headerSize, 4);
        if (headerSize == 12) {
            put(std::uint16_t(width), 2);
            put(std::uint16_t(height), 2);
            put(planes, 2);
            put(bitCount, 2);
        } else {
            put(std::uint32_t(width), 4);
            put(std::uint32_t(height), 4);
            put(planes, 2);
            put(bitCount, 2);
            put(compression, 4);
            put(sizeImage, 4);
            put(std::uint32_t(xPelsPerMeter), 4);
            put(std::uint32_t(yPelsPerMeter), 4);
            put(clrUsed, 4);
            put(clrImportant, 4);
            out.resize(14 + std::size_t(headerSize), 0);
        }
        for (std::uint32_t m : masks)
            put(m, 4);
        out.insert(out.end(), table.begin(), table.end());
        out.insert(out.end(), gap, 0xEE);
        const std::uint32_t offBits = bfOffBits.value_or(std::uint32_t(out.size()));
        out.insert(out.end(), pixels.begin(), pixels.end());
        const std::uint32_t size = bfSize.value_or(std::uint32_t(out.size()));
        for (int i = 0; i < 4; ++i) {
            out[std::size_t(2 + i)] = std::uint8_t(size >> (8 * i));
            out[std::size_t(10 + i)] = std::uint8_t(offBits >> (8 * i));
        }
        return out;
    }
};

// n colour table entries (blue, green, red, reserved) with recognisable values:
// entry i is (i, 2i, 3i, 0) for an info header, or the first three bytes of it
// for a core header.
inline std::vector<std::uint8_t> TableBytes(std::uint32_t n, int bytesPerEntry = 4)
{
    std::vector<std::uint8_t> out;
    for (std::uint32_t i = 0; i < n; ++i) {
        out.push_back(std::uint8_t(i));
        out.push_back(std::uint8_t(2 * i));
        out.push_back(std::uint8_t(3 * i));
        if (bytesPerEntry == 4)
            out.push_back(0);
    }
    return out;
}

// count bytes counting up from first: pixel data that shows any misplaced byte.
inline std::vector<std::uint8_t> Sequence(std::size_t count, std::uint8_t first = 1)
{
    std::vector<std::uint8_t> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = std::uint8_t(first + i);
    return out;
}
