// The yardsticks of the conversion benchmarks, timed in the same run: a memcpy
// of the same number of bytes between buffers already in use, and the same
// memcpy into new pixel memory (GetMemory, copy, ReleaseMemory), which pays
// for the first touch of every page as a conversion does.
#pragma once

#include "qvdib/DIBStorage.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

// Seconds of the fastest of a few memcpy runs of bytes between two buffers
// that are already touched (the best case a converter can be held against).
inline double MemcpySeconds(std::int64_t bytes)
{
    static std::map<std::int64_t, double> cache;
    if (const auto it = cache.find(bytes); it != cache.end())
        return it->second;
    std::vector<std::uint8_t> from(std::size_t(bytes), 1), to(std::size_t(bytes), 0);
    double best = 1e9;
    for (int i = 0; i < 10; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return cache[bytes] = best;
}

// Seconds of the fastest of a few runs of: new pixel memory, memcpy into it, release.
inline double FreshMemcpySeconds(std::int64_t bytes, bool useFMO)
{
    static std::map<std::pair<std::int64_t, bool>, double> cache;
    if (const auto it = cache.find({bytes, useFMO}); it != cache.end())
        return it->second;
    const std::vector<std::uint8_t> from(std::size_t(bytes), 1);
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        PixelBuffer to(bytes, useFMO);
        std::memcpy(to.Bits(), from.data(), from.size());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return cache[{bytes, useFMO}] = best;
}

// Runs work once per iteration. Reports bytes (the uncompressed pixels the
// routine reads or writes) per second, and the mean time of one run divided by
// each yardstick: "x_memcpy" and "x_fresh_memcpy" (1 means as fast).
template <class Work>
void TimeAgainstMemcpy(benchmark::State& state, std::int64_t bytes, bool useFMO, Work work)
{
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
    if (state.iterations() == 0)
        return;
    const double mean = seconds / double(state.iterations());
    state.counters["x_memcpy"] = mean / MemcpySeconds(bytes);
    state.counters["x_fresh_memcpy"] = mean / FreshMemcpySeconds(bytes, useFMO);
}
