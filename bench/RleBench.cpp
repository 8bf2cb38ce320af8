// RLE8 and RLE4 decoding and encoding of 4096 x 4096 pictures: a photograph
// reduced to 256 colours (bench/data/photo8.bmp, made by bench/photos.sh), and
// flat pictures of large uniform areas. The RLE8 streams are also written to
// bench/data/*_rle8.bmp, where bench/peers_rle.sh times Pillow on the same data.
#include "BenchPhotos.h"
#include "MemcpyBaseline.h"

#include "platform/Stream.h"
#include "qvdib/DIBStorage.h"
#include "qvdib/QvDIB.h"
#include "qvdib/RleDecode.h"
#include "qvdib/RleEncode.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int kSide = 4096;

const std::filesystem::path& DataFolder()
{
    static const std::filesystem::path folder = BenchDataFolder();
    return folder;
}

// A plain picture and its RLE form, both held by storages as an image would be.
struct Picture {
    std::unique_ptr<TQvInternalDIB> plain = std::make_unique<TQvInternalDIB>(kDefaultUseFMO);
    std::unique_ptr<TQvInternalDIB> packed = std::make_unique<TQvInternalDIB>(kDefaultUseFMO);
};

void Encode(Picture& picture, const std::string& rle8File)
{
    const int bitCount = picture.plain->DIBInfos.Header.biBitCount;
    OwnedDIBInfos packed(kDefaultUseFMO);
    (bitCount == 8 ? Convert8BitRGBTo8BitRLE : Convert4BitRGBTo4BitRLE)(picture.plain->DIBInfos, *packed,
                                                                        kDefaultUseFMO);
    picture.packed->CommitConverted(packed.Release());
    if (!rle8File.empty()) {
        TFileStream file((DataFolder() / rle8File).string(), TFileMode::fmCreate);
        picture.packed->SaveToStream(file);
    }
}

Picture LoadPhoto()
{
    Picture picture;
    picture.plain = LoadBenchPhoto("photo8.bmp", kDefaultUseFMO);
    Encode(picture, "photo8_rle8.bmp");
    return picture;
}

// Uniform blocks of 512 x 512 in eight shades, with a thin diagonal line
// through each block so that rows are not all alike.
Picture MakeFlat(int bitCount)
{
    Picture picture;
    TQvInternalDIB& plain = *picture.plain;
    plain.FreeDIB();
    plain.CreateDIB(kSide, kSide, 1 << bitCount, bitCount);
    const std::int64_t stride = DIBStride(bitCount, kSide);
    for (int y = 0; y < kSide; ++y) {
        std::uint8_t* row = plain.DIBInfos.Bits + y * stride;
        for (int x = 0; x < kSide; ++x) {
            const int shade = (x / 512 + y / 512) % 8 + (x % 512 == y % 512 ? 8 : 0);
            if (bitCount == 8)
                row[x] = std::uint8_t(shade * 16);
            else
                row[x / 2] = std::uint8_t(row[x / 2] | (x % 2 == 0 ? shade << 4 : shade));
        }
    }
    Encode(picture, bitCount == 8 ? "flat8_rle8.bmp" : "");
    return picture;
}

Picture& Photo()
{
    static Picture picture = LoadPhoto();
    return picture;
}

Picture& Flat8()
{
    static Picture picture = MakeFlat(8);
    return picture;
}

Picture& Flat4()
{
    static Picture picture = MakeFlat(4);
    return picture;
}

std::int64_t PlainBytes(const Picture& picture)
{
    return picture.plain->DIBInfos.BitsSize;
}

// The argument is the UseFMO of the new pixel memory: 1 as every image has it
// by default (a shared mapping), 0 for the heap.
void Decode(benchmark::State& state, Picture& picture)
{
    const TQvDIBInfos& source = picture.packed->DIBInfos;
    const auto decode = source.Header.biBitCount == 8 ? Convert8BitRLETo8BitRGB : Convert4BitRLETo4BitRGB;
    const bool useFMO = state.range(0) != 0;
    state.counters["rle_bytes"] = source.BitsSize;
    TimeAgainstMemcpy(state, PlainBytes(picture), useFMO, [&] {
        OwnedDIBInfos result(useFMO);
        decode(source, *result, useFMO);
        benchmark::DoNotOptimize(result->Bits);
    });
}

void EncodeBench(benchmark::State& state, Picture& picture)
{
    const TQvDIBInfos& source = picture.plain->DIBInfos;
    const auto encode = source.Header.biBitCount == 8 ? Convert8BitRGBTo8BitRLE : Convert4BitRGBTo4BitRLE;
    const bool useFMO = state.range(0) != 0;
    TimeAgainstMemcpy(state, PlainBytes(picture), useFMO, [&] {
        OwnedDIBInfos result(useFMO);
        encode(source, *result, useFMO);
        benchmark::DoNotOptimize(result->Bits);
    });
}

void BM_Rle8DecodePhoto(benchmark::State& state) { Decode(state, Photo()); }
void BM_Rle8DecodeFlat(benchmark::State& state) { Decode(state, Flat8()); }
void BM_Rle4DecodeFlat(benchmark::State& state) { Decode(state, Flat4()); }
void BM_Rle8EncodePhoto(benchmark::State& state) { EncodeBench(state, Photo()); }
void BM_Rle8EncodeFlat(benchmark::State& state) { EncodeBench(state, Flat8()); }
void BM_Rle4EncodeFlat(benchmark::State& state) { EncodeBench(state, Flat4()); }

} // namespace

BENCHMARK(BM_Rle8DecodePhoto)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rle8DecodeFlat)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rle4DecodeFlat)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rle8EncodePhoto)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rle8EncodeFlat)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rle4EncodeFlat)->ArgName("fmo")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
