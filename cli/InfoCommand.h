// vxr info FILE: what the library makes of a BMP file, or which game file a
// BIN file is.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>

struct InfoOptions {
    std::string file;
};

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options);
// Prints the report to out; a refused BMP raises the library's exception.
void RunInfo(const InfoOptions& options, std::ostream& out);
