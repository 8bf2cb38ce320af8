// vxr convert IN OUT: reads a BMP file with the library's reader and writes it
// with its writer.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

struct ConvertOptions {
    std::string input;
    std::string output;
};

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options);
// Raises the library's or the platform's exception when the input is refused or
// the output cannot be written; the output file is then as it was before.
void RunConvert(const ConvertOptions& options);
