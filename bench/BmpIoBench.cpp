// Loading and saving a 4096 x 4096 24-bit BMP (48 MiB) that sits in the page
// cache, each timed against a plain read (or write) of the same number of bytes
// in the same run, alternating, so both see the same machine. The counter
// "ratio" is the figure to watch; the target is 1.3 or below for both.
#include "qvdib/QvDIB.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kSide = 4096;

std::string BenchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

template <class Work> double Seconds(Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The whole file into fresh memory, as any program would read it.
std::unique_ptr<std::uint8_t[]> PlainRead(const std::string& path, std::size_t& size)
{
    TFileStream in(path, TFileMode::fmOpenRead);
    size = std::size_t(in.Size());
    auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    in.ReadBuffer(bytes.get(), size);
    return bytes;
}

// Made once per run and read once, so that it is in the page cache.
const std::string& SourceFile()
{
    static const std::string path = [] {
        const std::string file = BenchPath("vxr-bench-4096x4096x24.bmp");
        TQvDIB dib;
        dib.SetBitCount(24);
        dib.SetWidth(kSide);
        dib.SetHeight(kSide);
        for (int y = 0; y < kSide; ++y) {
            std::uint8_t* row = dib.GetScanLine(y);
            for (int x = 0; x < 3 * kSide; ++x)
                row[x] = std::uint8_t(x * 7 + y);
        }
        dib.SaveToFile(file);
        std::size_t size = 0;
        PlainRead(file, size);
        return file;
    }();
    return path;
}

void Report(benchmark::State& state, double ours, double plain, std::size_t bytes)
{
    const auto n = double(state.iterations());
    state.counters["plain_ms"] = plain / n * 1000;
    state.counters["ratio"] = ours / plain;
    state.SetBytesProcessed(std::int64_t(bytes) * state.iterations());
}

// The whole file into memory that was already used, the best case of a read.
void WarmRead(const std::string& path, std::uint8_t* into, std::size_t size)
{
    TFileStream in(path, TFileMode::fmOpenRead);
    in.ReadBuffer(into, size);
}

// Our load against a read into fresh memory (ratio) and into memory already in
// use (ratio_warm): released pixel memory is kept for reuse, so a load in a loop
// gets warm memory too.
void BM_LoadVersusPlainRead(benchmark::State& state)
{
    const std::string& path = SourceFile();
    double load = 0, read = 0, warm = 0;
    std::size_t size = 0;
    const auto buffer = PlainRead(path, size);
    for (auto _ : state) {
        read += Seconds([&] { benchmark::DoNotOptimize(PlainRead(path, size).get()); });
        warm += Seconds([&] { WarmRead(path, buffer.get(), size); });
        const double once = Seconds([&] {
            TQvDIB dib;
            dib.LoadFromFile(path);
            benchmark::DoNotOptimize(dib.Storage().DIBInfos.Bits);
        });
        load += once;
        state.SetIterationTime(once);
    }
    Report(state, load, read, size);
    state.counters["plain_warm_ms"] = warm / double(state.iterations()) * 1000;
    state.counters["ratio_warm"] = load / warm;
}
BENCHMARK(BM_LoadVersusPlainRead)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveVersusPlainWrite(benchmark::State& state)
{
    TQvDIB dib;
    dib.LoadFromFile(SourceFile());
    std::size_t size = 0;
    const auto bytes = PlainRead(SourceFile(), size);
    const std::string target = BenchPath("vxr-bench-save.bmp");
    double save = 0, write = 0;
    for (auto _ : state) {
        write += Seconds([&] { TFileStream(target, TFileMode::fmCreate).WriteBuffer(bytes.get(), size); });
        const double once = Seconds([&] { dib.SaveToFile(target); });
        save += once;
        state.SetIterationTime(once);
    }
    Report(state, save, write, size);
    std::filesystem::remove(target);
}
BENCHMARK(BM_SaveVersusPlainWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
