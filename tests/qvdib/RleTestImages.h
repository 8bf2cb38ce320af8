// Palette images for the RLE tests: random pictures with runs and noise, their
// colours as an independent decoder reports them, and BMP files written byte by
// byte so that a peer can read our encoder's output.
#pragma once

#include "qvdib/DIBStorage.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Names the instances of a table of cases by their name field.
struct ByCaseName {
    template <class Param> std::string operator()(const ::testing::TestParamInfo<Param>& param) const
    {
        return param.param.name;
    }
};

// Pixel x of a plain 4- or 8-bit row.
inline int PaletteIndex(const std::uint8_t* row, int bitCount, int x)
{
    if (bitCount == 8)
        return row[x];
    return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
}

// The picture's colours, top row first, red, green, blue: the form Pillow reports.
inline Bytes ToRgb(const TQvDIBInfos& plain)
{
    const BITMAPINFOHEADER& h = plain.Header;
    const int rows = int(DIBRows(h));
    const auto stride = DIBStride(h.biBitCount, h.biWidth);
    Bytes rgb;
    for (int y = 0; y < rows; ++y) {
        const int memoryRow = h.biHeight > 0 ? rows - 1 - y : y;
        const std::uint8_t* row = plain.Bits + memoryRow * stride;
        for (int x = 0; x < h.biWidth; ++x) {
            const RGBQUAD& c = plain.ColorTable[PaletteIndex(row, h.biBitCount, x)];
            rgb.insert(rgb.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    }
    return rgb;
}

// A plain 4- or 8-bit image of random stretches: runs of one index, noise, and
// short repeats, with a random palette. Row padding holds garbage, which no
// conversion may carry over.
inline void MakeRandomImage(OwnedDIBInfos& image, std::mt19937& random, int bitCount, int width, int height)
{
    MakeTestDIB(image, bitCount, width, height);
    const int colours = 1 << bitCount;
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int i = 0; i < colours; ++i)
        image->ColorTable[i] = RGBQUAD{std::uint8_t(pick(256)), std::uint8_t(pick(256)), std::uint8_t(pick(256)), 0};
    for (int i = 0; i < image->BitsSize; ++i)
        image->Bits[i] = std::uint8_t(pick(256)); // padding included
    const auto stride = DIBStride(bitCount, width);
    for (int r = 0; r < int(DIBRows(image->Header)); ++r) {
        std::uint8_t* row = image->Bits + r * stride;
        for (int x = 0; x < width;) {
            const int length = 1 + pick(pick(4) == 0 ? 400 : 12);
            const bool noise = pick(3) == 0;
            const int run = pick(colours);
            for (int k = 0; k < length && x < width; ++k, ++x) {
                const int v = noise ? pick(colours) : run;
                if (bitCount == 8)
                    row[x] = std::uint8_t(v);
                else if (x % 2 == 0)
                    row[x / 2] = std::uint8_t((row[x / 2] & 0x0F) | (v << 4));
                else
                    row[x / 2] = std::uint8_t((row[x / 2] & 0xF0) | v);
            }
        }
    }
}

// The pixels as a plain decoder must give them back: bottom-up rows, every
// padding bit 0.
inline Bytes BottomUpWithZeroPadding(const TQvDIBInfos& plain)
{
    const BITMAPINFOHEADER& h = plain.Header;
    const int rows = int(DIBRows(h));
    const auto stride = DIBStride(h.biBitCount, h.biWidth);
    const int rowBits = h.biBitCount * h.biWidth;
    Bytes out(std::size_t(stride * rows), 0);
    for (int r = 0; r < rows; ++r) {
        const int from = h.biHeight > 0 ? r : rows - 1 - r;
        for (int bit = 0; bit < rowBits; ++bit) {
            const int byte = bit / 8, mask = 0x80 >> (bit % 8);
            if (plain.Bits[from * stride + byte] & mask)
                out[std::size_t(r * stride + byte)] |= std::uint8_t(mask);
        }
    }
    return out;
}

// A BMP file: 14-byte file header, 40-byte info header, biClrUsed colour
// entries and the pixel data, each field written little-endian here.
inline void WriteBmpFile(const std::string& path, const TQvDIBInfos& image)
{
    Bytes file;
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.push_back(std::uint8_t(value >> (8 * i)));
    };
    const BITMAPINFOHEADER& h = image.Header;
    const std::uint32_t offBits = 14 + 40 + 4 * h.biClrUsed;
    put('B', 1), put('M', 1), put(offBits + std::uint32_t(image.BitsSize), 4), put(0, 4), put(offBits, 4);
    put(40, 4), put(std::uint32_t(h.biWidth), 4), put(std::uint32_t(h.biHeight), 4), put(1, 2);
    put(h.biBitCount, 2), put(h.biCompression, 4), put(h.biSizeImage, 4), put(3780, 4), put(3780, 4);
    put(h.biClrUsed, 4), put(0, 4);
    for (std::uint32_t i = 0; i < h.biClrUsed; ++i) {
        const RGBQUAD& c = image.ColorTable[i];
        put(c.rgbBlue, 1), put(c.rgbGreen, 1), put(c.rgbRed, 1), put(0, 1);
    }
    file.insert(file.end(), image.Bits, image.Bits + image.BitsSize);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

// A private folder under the system's temporary folder, removed with its files.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vxr-rle-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};
