// Colour and black-and-white halftones of a 4096 x 4096 photograph, the pass
// that a halftone drawing of a large image runs. bench/peers_halftone.sh times
// Pillow's Floyd-Steinberg on the same file beside it.
#include "qvdib/DIBStorage.h"
#include "qvdib/HalfTone.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// bench/data beside this source (CMake compiles it by its absolute path); the
// folder is not versioned.
std::string BenchDataDir()
{
    const std::string source = __FILE__;
    return source.substr(0, source.find_last_of('/') + 1) + "data";
}

const std::string kPhoto = BenchDataDir() + "/photo4k.bmp";

// The photograph, cut and scaled by ImageMagick from Debian's mate-backgrounds.
void MakePhotoIfMissing()
{
    if (std::ifstream(kPhoto).good())
        return;
    const std::string command = "mkdir -p '" + BenchDataDir() + "' && /usr/bin/convert "
                                "/usr/share/backgrounds/mate/nature/TwoWings.jpg -resize '4096x4096^' "
                                "-gravity center -extent 4096x4096 -type TrueColor 'BMP3:" + kPhoto + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("cannot make " + kPhoto + " (needs mate-backgrounds and ImageMagick)");
}

template <class T>
T ReadAt(const std::vector<char>& file, std::size_t offset)
{
    T value{};
    if (offset + sizeof value > file.size())
        throw std::runtime_error("short BMP file");
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

// Reads the uncompressed 24-bit BMP that ImageMagick wrote, as the source record
// of a conversion. Only what this one file needs: the library's reader is not
// what is measured here.
void LoadPhoto(OwnedDIBInfos& photo)
{
    MakePhotoIfMissing();
    std::ifstream in(kPhoto, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto offset = ReadAt<std::uint32_t>(file, 10);
    const auto header = ReadAt<BITMAPINFOHEADER>(file, 14);
    const auto size = DIBImageSize(header.biBitCount, header.biWidth, header.biHeight);
    if (header.biBitCount != 24 || header.biCompression != BI_RGB || !size || offset + *size > file.size())
        throw std::runtime_error("unexpected BMP layout in " + kPhoto);
    PixelBuffer memory(*size, false);
    std::memcpy(memory.Bits(), file.data() + offset, std::size_t(*size));
    memory.MoveInto(*photo);
    photo->Header = header;
    photo->Header.biClrUsed = 0;
}

template <void (*Convert)(const TQvDIBInfos&, TQvDIBInfos&, bool)>
void BM_Photo(benchmark::State& state)
{
    const bool useFMO = state.range(0) != 0;
    OwnedDIBInfos photo(false);
    LoadPhoto(photo);
    for (auto _ : state) {
        OwnedDIBInfos result(useFMO);
        Convert(photo.Get(), *result, useFMO);
        benchmark::DoNotOptimize(result->Bits);
    }
    const auto pixels = std::int64_t(photo->Header.biWidth) * photo->Header.biHeight;
    state.SetItemsProcessed(state.iterations() * pixels);
}

} // namespace

BENCHMARK(BM_Photo<ConvertToHalfTone>)->Name("HalfTone/photo4k")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Photo<ConvertToHalfToneBW>)->Name("HalfToneBW/photo4k")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
