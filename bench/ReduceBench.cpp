// The true-colour reductions on a 4096 x 4096 photograph, with the PSNR of
// each result against its source as a counter. bench/peers_reduce.sh times
// Pillow's quantizers on the same file in the same run.
#include "platform/Stream.h"
#include "qvdib/DIBStorage.h"
#include "qvdib/ReduceFast.h"
#include "qvdib/ReduceHigh.h"

#include "BenchPhotos.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using Reduction = void (*)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&);

const TQvInternalDIB& Photo()
{
    static const auto photo = [] {
        return LoadBenchPhoto("photo4k.bmp", false);
    }();
    return *photo;
}

// Peak signal-to-noise ratio of the reduced image against the 24-bit source.
double Psnr(const TQvDIBInfos& source, const TQvDIBInfos& reduced)
{
    const std::int64_t width = source.Header.biWidth;
    const std::int64_t rows = DIBRows(source.Header);
    const int bits = reduced.Header.biBitCount;
    double squares = 0;
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::uint8_t* in = source.Bits + y * DIBStride(24, width);
        const std::uint8_t* out = reduced.Bits + y * DIBStride(bits, width);
        for (std::int64_t x = 0; x < width; ++x) {
            const int index = bits == 8 ? out[x] : (x % 2 == 0 ? out[x / 2] >> 4 : out[x / 2] & 0x0F);
            const RGBQUAD& c = reduced.ColorTable[index];
            const double db = in[3 * x] - c.rgbBlue, dg = in[3 * x + 1] - c.rgbGreen, dr = in[3 * x + 2] - c.rgbRed;
            squares += db * db + dg * dg + dr * dr;
        }
    }
    const double mse = squares / double(3 * width * rows);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

void RunReduction(benchmark::State& state, Reduction reduction)
{
    const TQvDIBInfos& source = Photo().DIBInfos;
    for (auto _ : state) {
        OwnedDIBInfos result(true);
        reduction(source, *result, true, {});
        benchmark::DoNotOptimize(result->Bits);
    }
    OwnedDIBInfos result(true);
    reduction(source, *result, true, {});
    state.counters["PSNR_dB"] = Psnr(source, result.Get());
    state.counters["colors"] = result->Header.biClrUsed;
    state.SetItemsProcessed(state.iterations() * source.Header.biWidth * DIBRows(source.Header));
}

} // namespace

BENCHMARK_CAPTURE(RunReduction, Fast8, ConvertTrueColorTo8BitRGBLow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunReduction, Fast4, ConvertTrueColorTo4BitRGBLow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunReduction, High8, ConvertTrueColorTo8BitRGBHigh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunReduction, High4, ConvertTrueColorTo4BitRGBHigh)->Unit(benchmark::kMillisecond)->UseRealTime();
