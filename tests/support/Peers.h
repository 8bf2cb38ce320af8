// Independent decoders and encoders the tests cross-check against: Debian's
// Pillow (through /usr/bin/python3) and ImageMagick.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct PeerImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // top row first, 3 bytes a pixel: red, green, blue
};

// Runs a shell command and returns its standard output, or nothing when it failed.
inline std::optional<std::string> RunCommand(const std::string& command)
{
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string output;
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    return ::pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

// Runs a Python snippet under Debian's Python with Pillow; argv[1] is the path.
inline std::optional<std::string> RunPillow(const std::string& script, const std::string& path)
{
    return RunCommand("/usr/bin/python3 -c '" + script + "' '" + path + "'");
}

// Decodes an image file with Pillow into RGB pixels.
inline std::optional<PeerImage> DecodeWithPillow(const std::string& path)
{
    const auto out = RunPillow("import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.load(); "
                               "im = im.convert(\"RGB\"); sys.stdout.write(f\"{im.width} {im.height}\\n\"); "
                               "sys.stdout.flush(); sys.stdout.buffer.write(im.tobytes())",
                               path);
    if (!out)
        return std::nullopt;
    const auto newline = out->find('\n');
    PeerImage image;
    if (newline == std::string::npos || std::sscanf(out->c_str(), "%d %d", &image.width, &image.height) != 2)
        return std::nullopt;
    image.rgb.assign(out->begin() + std::ptrdiff_t(newline) + 1, out->end());
    return image;
}
