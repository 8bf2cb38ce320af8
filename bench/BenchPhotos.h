// The photographs the benchmarks run on: made once by bench/photos.sh into
// bench/data (not kept in the repository), and loaded with the library's reader.
#pragma once

#include "platform/Stream.h"
#include "qvdib/DIBStorage.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

inline std::filesystem::path BenchDataFolder()
{
    return std::filesystem::path(__FILE__).parent_path() / "data";
}

// The path of bench/data/<name> ("photo4k.bmp" 24-bit or "photo8.bmp" 8-bit), made when missing.
inline std::string BenchPhotoPath(const std::string& name)
{
    const auto path = BenchDataFolder() / name;
    if (!std::filesystem::exists(path)) {
        const auto script = BenchDataFolder().parent_path() / "photos.sh";
        if (std::system(("bash '" + script.string() + "'").c_str()) != 0 || !std::filesystem::exists(path))
            throw std::runtime_error("bench/photos.sh could not make " + path.string());
    }
    return path.string();
}

// The photograph loaded into a storage of its own.
inline std::unique_ptr<TQvInternalDIB> LoadBenchPhoto(const std::string& name, bool useFMO)
{
    auto storage = std::make_unique<TQvInternalDIB>(useFMO);
    TFileStream file(BenchPhotoPath(name), TFileMode::fmOpenRead);
    storage->LoadFromStream(file);
    return storage;
}
