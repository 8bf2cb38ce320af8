// Expansion of 4096 x 4096 pictures of 1, 4 and 8 bits to 24-bit true colour,
// held against a memcpy of the 48 MiB that each one writes.
#include "MemcpyBaseline.h"

#include "qvdib/DIBStorage.h"
#include "qvdib/Expand.h"
#include "qvdib/QvDIB.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

constexpr int kSide = 4096;

// Random indices and a random 256-entry colour table: expansion costs the same
// whatever the picture.
std::unique_ptr<TQvInternalDIB> MakeSource(int bitCount)
{
    auto image = std::make_unique<TQvInternalDIB>(kDefaultUseFMO);
    image->FreeDIB();
    image->CreateDIB(kSide, kSide, 256, bitCount);
    std::mt19937 random(bitCount);
    for (int i = 0; i < image->DIBInfos.BitsSize; ++i)
        image->DIBInfos.Bits[i] = std::uint8_t(random());
    for (int i = 0; i < 256; ++i)
        image->DIBInfos.ColorTable[i] = RGBQUAD{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()), 0};
    return image;
}

template <void (*Convert)(const TQvDIBInfos&, TQvDIBInfos&, bool), int BitCount>
void BM_ExpandToTrueColor(benchmark::State& state)
{
    static const std::unique_ptr<TQvInternalDIB> source = MakeSource(BitCount);
    const bool useFMO = state.range(0) != 0; // 1: a shared mapping, as images have by default; 0: the heap
    TimeAgainstMemcpy(state, *DIBImageSize(24, kSide, kSide), useFMO, [&] {
        OwnedDIBInfos result(useFMO);
        Convert(source->DIBInfos, *result, useFMO);
        benchmark::DoNotOptimize(result->Bits);
    });
}

} // namespace

BENCHMARK(BM_ExpandToTrueColor<Convert1BitRGBToTrueColor, 1>)->Name("BM_Expand1To24")->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandToTrueColor<Convert4BitRGBToTrueColor, 4>)->Name("BM_Expand4To24")->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandToTrueColor<Convert8BitRGBToTrueColor, 8>)->Name("BM_Expand8To24")->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
