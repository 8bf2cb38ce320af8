// Small images and readers for the tests of the colour reductions.
#pragma once

#include "qvdib/DIBStorage.h"
#include "support/Peers.h"
#include "support/TestDIB.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Rgb& c)
    {
        return out << '(' << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ')';
    }
};

// A 24-bit image; pixels are given row after row in storage order.
inline void MakeTrueColor(OwnedDIBInfos& infos, int width, int height, const std::vector<Rgb>& pixels)
{
    MakeTestDIB(infos, 24, width, height);
    const std::int64_t stride = DIBStride(24, width);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::uint8_t* p = infos->Bits + std::int64_t(i / std::size_t(width)) * stride + 3 * std::int64_t(i % std::size_t(width));
        p[0] = pixels[i].b;
        p[1] = pixels[i].g;
        p[2] = pixels[i].r;
    }
}

// An 8-bit image with the given colour table (the rest black) and indices in storage order.
inline void MakeIndexed8(OwnedDIBInfos& infos, int width, int height, const std::vector<Rgb>& colors,
                         const std::vector<std::uint8_t>& indices)
{
    MakeTestDIB(infos, 8, width, height);
    for (std::size_t i = 0; i < colors.size(); ++i)
        infos->ColorTable[i] = RGBQUAD{colors[i].b, colors[i].g, colors[i].r, 0};
    const std::int64_t stride = DIBStride(8, width);
    for (std::size_t i = 0; i < indices.size(); ++i)
        infos->Bits[std::int64_t(i / std::size_t(width)) * stride + std::int64_t(i % std::size_t(width))] = indices[i];
}

// The index of pixel x of storage row y in a 1-, 4- or 8-bit image.
inline int IndexAt(const TQvDIBInfos& infos, std::int64_t x, std::int64_t y)
{
    const int bits = infos.Header.biBitCount;
    const std::uint8_t byte = infos.Bits[y * DIBStride(bits, infos.Header.biWidth) + x * bits / 8];
    if (bits == 8)
        return byte;
    if (bits == 4)
        return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    return (byte >> (7 - x % 8)) & 1;
}

// Every index in storage order.
inline std::vector<int> Indices(const TQvDIBInfos& infos)
{
    std::vector<int> indices;
    for (std::int64_t y = 0; y < DIBRows(infos.Header); ++y)
        for (std::int64_t x = 0; x < infos.Header.biWidth; ++x)
            indices.push_back(IndexAt(infos, x, y));
    return indices;
}

// The first biClrUsed colour table entries.
inline std::vector<Rgb> PaletteOf(const TQvDIBInfos& infos)
{
    std::vector<Rgb> palette;
    for (std::uint32_t i = 0; i < infos.Header.biClrUsed && i < 256; ++i)
        palette.push_back({infos.ColorTable[i].rgbRed, infos.ColorTable[i].rgbGreen, infos.ColorTable[i].rgbBlue});
    return palette;
}

// The whole record as bytes (header, colour table and pixels), to show a source
// was left as it was.
inline std::vector<std::uint8_t> Snapshot(const TQvDIBInfos& infos)
{
    std::vector<std::uint8_t> bytes(sizeof infos);
    std::memcpy(bytes.data(), &infos, sizeof infos);
    const auto pixels = PixelBytes(infos);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

// A 320 x 200 photograph: the desktop background TwoWings.jpg of Debian's
// mate-backgrounds, cut to size by ImageMagick into a BMP file and decoded by
// Pillow. Made once per test program and removed when it ends.
struct Photo {
    std::string path;
    PeerImage image;

    Photo()
        : path((std::filesystem::temp_directory_path() / ("vxr-reduce-photo-" + std::to_string(::getpid()) + ".bmp"))
                   .string())
    {
        if (RunCommand("/usr/bin/convert /usr/share/backgrounds/mate/nature/TwoWings.jpg -resize 320x200^ "
                       "-gravity center -extent 320x200 -type TrueColor BMP3:'" + path + "'"))
            image = DecodeWithPillow(path).value_or(PeerImage{});
    }
    ~Photo()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    Photo(const Photo&) = delete;
    Photo& operator=(const Photo&) = delete;
};

inline const Photo& SmallPhoto()
{
    static const Photo photo;
    return photo;
}

// The photograph's pixels in reading order.
inline std::vector<Rgb> PixelsOf(const PeerImage& image)
{
    std::vector<Rgb> pixels;
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3)
        pixels.push_back({image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]});
    return pixels;
}

// The photo as a top-down 24-bit image, so storage order is the picture's order.
inline void MakePhotoSource(OwnedDIBInfos& infos, const PeerImage& image)
{
    std::vector<Rgb> pixels(image.rgb.size() / 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = {image.rgb[3 * i], image.rgb[3 * i + 1], image.rgb[3 * i + 2]};
    MakeTrueColor(infos, image.width, -image.height, pixels);
}

// Mean absolute difference per component between the source pixels and their
// palette colours.
inline double MeanError(const PeerImage& image, const TQvDIBInfos& reduced)
{
    const auto palette = PaletteOf(reduced);
    const auto indices = Indices(reduced);
    double total = 0;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const Rgb c = palette.at(std::size_t(indices[i]));
        total += std::abs(int(c.r) - image.rgb[3 * i]) + std::abs(int(c.g) - image.rgb[3 * i + 1]) +
                 std::abs(int(c.b) - image.rgb[3 * i + 2]);
    }
    return total / double(image.rgb.size());
}

// Pillow's mean absolute error when it quantizes the file to 256 colours
// without dithering, by the named method ("MEDIANCUT", "FASTOCTREE").
inline double PillowMeanError(const std::string& path, const std::string& method)
{
    const auto out = RunPillow("import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert(\"RGB\"); "
                               "q = im.quantize(256, method=Image.Quantize." + method +
                                   ", dither=Image.Dither.NONE).convert(\"RGB\"); a = im.tobytes(); b = q.tobytes(); "
                                   "print(sum(abs(x - y) for x, y in zip(a, b)) / len(a))",
                               path);
    return out ? std::stod(*out) : -1;
}

// Checks that palette entry i is the weighted mean, rounded half to even, of
// the colours that took part in the split for the pixels now showing index i
// (one colour per pixel, in storage order). Integer arithmetic throughout.
inline void ExpectEntriesAreRoundedMeans(const TQvDIBInfos& reduced, const std::vector<Rgb>& splitColors)
{
    const auto palette = PaletteOf(reduced);
    const auto indices = Indices(reduced);
    ASSERT_EQ(indices.size(), splitColors.size());
    std::vector<std::array<std::int64_t, 4>> sums(palette.size(), {0, 0, 0, 0});
    for (std::size_t i = 0; i < indices.size(); ++i) {
        ASSERT_LT(std::size_t(indices[i]), palette.size());
        auto& s = sums[std::size_t(indices[i])];
        s[0] += splitColors[i].r;
        s[1] += splitColors[i].g;
        s[2] += splitColors[i].b;
        s[3] += 1;
    }
    const auto halfToEven = [](std::int64_t sum, std::int64_t n) {
        std::int64_t q = sum / n;
        const std::int64_t twice = 2 * (sum % n);
        if (twice > n || (twice == n && q % 2 == 1))
            ++q;
        return std::uint8_t(q);
    };
    for (std::size_t k = 0; k < palette.size(); ++k) {
        ASSERT_GT(sums[k][3], 0) << "entry " << k << " is used by no pixel";
        const Rgb mean{halfToEven(sums[k][0], sums[k][3]), halfToEven(sums[k][1], sums[k][3]),
                       halfToEven(sums[k][2], sums[k][3])};
        EXPECT_EQ(palette[k], mean) << "entry " << k;
    }
}
