// vxr convert IN OUT [--format F]: reads a BMP file with the library's reader,
// converts its pixel format if asked, and writes it with the library's writer.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

struct ConvertOptions {
    std::string input;
    std::string output;
    std::string format;               // empty: written as read
    std::string quality = "fast";     // fast or high
    std::string monoColor = "FFFFFF"; // RRGGBB, the colour that becomes white in a 1-bit mask
};

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options);
// Raises the library's or the platform's exception when the input is refused,
// the conversion fails or the output cannot be written; the output file is then
// as it was before.
void RunConvert(const ConvertOptions& options);
