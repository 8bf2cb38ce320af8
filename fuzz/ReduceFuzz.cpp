// Reduces arbitrary small images by every colour reduction and checks what must
// hold for any input: at least one and at most 2^depth entries, every index
// inside the palette, and every entry the mean, rounded half to even, of the
// colours of the pixels that show it. Input: width byte, flags byte, then
// pixels (3 bytes each; for the 8-bit source, one index byte each and the
// colour table from the same bytes).
#include "qvdib/ReduceFast.h"
#include "qvdib/ReduceHigh.h"
#include "qvdib/ReducePalette.h"
#include "tests/support/TestDIB.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Color {
    int r, g, b;
};

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

int IndexAt(const TQvDIBInfos& d, std::int64_t x, std::int64_t y)
{
    const std::uint8_t byte = d.Bits[y * DIBStride(d.Header.biBitCount, d.Header.biWidth) + x * d.Header.biBitCount / 8];
    return d.Header.biBitCount == 8 ? byte : (x % 2 == 0 ? byte >> 4 : byte & 0x0F);
}

int HalfToEven(std::int64_t sum, std::int64_t n)
{
    std::int64_t q = sum / n;
    const std::int64_t twice = 2 * (sum % n);
    if (twice > n || (twice == n && q % 2 == 1))
        ++q;
    return int(q);
}

// splitColors: the colour each pixel brought into the split, in storage order.
void CheckResult(const TQvDIBInfos& d, const std::vector<Color>& splitColors, int maxColors)
{
    const auto used = std::int64_t(d.Header.biClrUsed);
    Require(used >= 1 && used <= maxColors);
    std::vector<std::array<std::int64_t, 4>> sums(std::size_t(used), {0, 0, 0, 0});
    std::size_t i = 0;
    for (std::int64_t y = 0; y < DIBRows(d.Header); ++y) {
        for (std::int64_t x = 0; x < d.Header.biWidth; ++x, ++i) {
            const int index = IndexAt(d, x, y);
            Require(index < used);
            auto& s = sums[std::size_t(index)];
            s[0] += splitColors[i].r;
            s[1] += splitColors[i].g;
            s[2] += splitColors[i].b;
            s[3] += 1;
        }
    }
    for (std::int64_t k = 0; k < used; ++k) {
        const auto& s = sums[std::size_t(k)];
        Require(s[3] > 0);
        const RGBQUAD& e = d.ColorTable[k];
        Require(e.rgbRed == HalfToEven(s[0], s[3]) && e.rgbGreen == HalfToEven(s[1], s[3]) &&
                e.rgbBlue == HalfToEven(s[2], s[3]) && e.rgbReserved == 0);
    }
}

// The fast method splits cell colours: the truncated mean of a 5-6-5 cell's pixels.
std::vector<Color> CellColors(const std::vector<Color>& pixels)
{
    std::vector<std::array<std::int64_t, 4>> sums(65536, {0, 0, 0, 0});
    const auto cell = [](const Color& c) { return std::size_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3)); };
    for (const Color& c : pixels) {
        auto& s = sums[cell(c)];
        s[0] += c.r;
        s[1] += c.g;
        s[2] += c.b;
        s[3] += 1;
    }
    std::vector<Color> colors;
    for (const Color& c : pixels) {
        const auto& s = sums[cell(c)];
        colors.push_back({int(s[0] / s[3]), int(s[1] / s[3]), int(s[2] / s[3])});
    }
    return colors;
}

void FuzzTrueColor(int width, int rows, bool topDown, const std::uint8_t* bytes)
{
    OwnedDIBInfos source(false);
    MakeTestDIB(source, 24, width, topDown ? -rows : rows);
    std::vector<Color> pixels;
    for (int y = 0; y < rows; ++y) {
        std::memcpy(source->Bits + y * DIBStride(24, width), bytes + y * width * 3, std::size_t(width) * 3);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = bytes + (y * width + x) * 3;
            pixels.push_back({p[2], p[1], p[0]});
        }
    }
    const auto cells = CellColors(pixels);
    const struct {
        void (*run)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&);
        const std::vector<Color>& splitColors;
        int maxColors;
    } reductions[] = {
        {ConvertTrueColorTo8BitRGBLow, cells, 256},
        {ConvertTrueColorTo4BitRGBLow, cells, 16},
        {ConvertTrueColorTo8BitRGBHigh, pixels, 256},
        {ConvertTrueColorTo4BitRGBHigh, pixels, 16},
    };
    for (const auto& r : reductions) {
        OwnedDIBInfos result(false);
        int steps = 0;
        r.run(source.Get(), *result, false, [&steps] { ++steps; });
        Require(steps == (r.maxColors == 256 ? 256 : 16));
        CheckResult(result.Get(), r.splitColors, r.maxColors);
    }
}

void FuzzPalette(int width, int rows, const std::uint8_t* bytes, std::size_t size)
{
    OwnedDIBInfos source(false);
    MakeTestDIB(source, 8, width, rows);
    for (std::size_t i = 0; i < 256; ++i) // the colour table cycles through the input bytes
        source->ColorTable[i] = RGBQUAD{bytes[(3 * i) % size], bytes[(3 * i + 1) % size], bytes[(3 * i + 2) % size], 0};
    std::vector<Color> colors;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t index = bytes[y * width + x];
            source->Bits[y * DIBStride(8, width) + x] = index;
            const RGBQUAD& c = source->ColorTable[index];
            colors.push_back({c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    }
    OwnedDIBInfos result(false);
    Convert8BitRGBTo4BitRGB(source.Get(), *result, false, {});
    CheckResult(result.Get(), colors, 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > 4096)
        return 0;
    const int width = 1 + data[0] % 48;
    const bool topDown = (data[1] & 1) != 0;
    const std::uint8_t* bytes = data + 2;
    const std::size_t rest = size - 2;
    if (data[1] & 2) {
        const int rows = int(rest / std::size_t(width));
        if (rows > 0)
            FuzzPalette(width, rows, bytes, rest);
        return 0;
    }
    const int rows = int(rest / (3 * std::size_t(width)));
    if (rows > 0)
        FuzzTrueColor(width, rows, topDown, bytes);
    return 0;
}
