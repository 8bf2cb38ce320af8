#include "cli/ConvertCommand.h"

#include "cli/ProgressBar.h"
#include "platform/AtomicFile.h"
#include "qvdib/QvDIB.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <vector>

namespace {

const std::map<std::string, TQvPixelFormat> kFormats = {
    {"1", TQvPixelFormat::qvPf1Bit},         {"4", TQvPixelFormat::qvPf4Bit},
    {"4rle", TQvPixelFormat::qvPf4BitRLE},   {"8", TQvPixelFormat::qvPf8Bit},
    {"8rle", TQvPixelFormat::qvPf8BitRLE},   {"24", TQvPixelFormat::qvPf24Bit},
    {"halftone", TQvPixelFormat::qvPfHalfTone}, {"halftone-bw", TQvPixelFormat::qvPfHalfToneBW},
};

// ConvertMode of each reduction quality.
const std::map<std::string, std::uint8_t> kQualities = {{"fast", 0}, {"high", 1}};

template <class Map> std::vector<std::string> Names(const Map& map)
{
    std::vector<std::string> names;
    for (const auto& entry : map)
        names.push_back(entry.first);
    return names;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// RRGGBB as written in paint programs, red first.
TColor ParseMonoColor(const std::string& text)
{
    const unsigned long value = std::stoul(text, nullptr, 16);
    return RGB(std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value));
}

const CLI::Validator kHexColour(
    [](std::string& text) {
        const bool ok = text.size() == 6 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        return ok ? std::string() : "must be six hexadecimal digits RRGGBB, such as FFFFFF";
    },
    "RRGGBB");

} // namespace

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options)
{
    CLI::App* command = app.add_subcommand("convert", "Read a BMP file and write it again, optionally in another pixel format");
    command->footer(
        "Without --format, 1-, 4-, 8- and 24-bit pictures (RLE-compressed ones included) keep\n"
        "their pixel bytes and colour table; 16- and 32-bit pictures are written as 24-bit.\n"
        "With --format the picture is converted first:\n"
        "  1, 4, 8, 24     palette pictures of 1, 4 or 8 bits, or true colour. Reducing true colour\n"
        "                  builds a new palette (see --quality); 8 to 4 bits keeps at most 16 colours;\n"
        "                  1 bit keeps only the pixels of --mono-color, as white\n"
        "  4rle, 8rle      the same, RLE-compressed (fails if the picture does not compress)\n"
        "  halftone        an error-diffused picture on a fixed 215-colour palette\n"
        "  halftone-bw     an error-diffused black-and-white picture\n"
        "Asking for the format the picture already has writes it unchanged. OUT is replaced only\n"
        "once it is completely written, so a failed run leaves it as it was. IN and OUT may be\n"
        "the same file.\n"
        "Examples: vxr convert edited.bmp UNIT-1A-0.bmp\n"
        "          vxr convert photo.bmp face.bmp --format 4 --quality high");
    command->add_option("IN", options.input, "The BMP file to read")->required();
    command->add_option("OUT", options.output, "The BMP file to write")->required();
    command->add_option("--format", options.format, "Pixel format to write: 1, 4, 4rle, 8, 8rle, 24, halftone, halftone-bw")
        ->check(CLI::IsMember(Names(kFormats), CLI::ignore_case))
        ->type_name("F");
    command->add_option("--quality", options.quality, "Colour reduction from true colour: fast (default) or high")
        ->check(CLI::IsMember(Names(kQualities), CLI::ignore_case))
        ->type_name("Q");
    command->add_option("--mono-color", options.monoColor, "Colour that becomes white in a 1-bit picture (default FFFFFF)")
        ->check(kHexColour);
    return command;
}

void RunConvert(const ConvertOptions& options)
{
    // A batch conversion never draws into the picture, so heap memory serves;
    // unlike shareable memory it can come in large pages.
    TQvDIB dib(false);
    dib.LoadFromFile(options.input);
    if (!options.format.empty()) {
        dib.ConvertMode = kQualities.at(Lower(options.quality));
        dib.MonoColor = ParseMonoColor(options.monoColor);
        const ProgressBar progress(dib, stderr);
        dib.SetPixelFormat(kFormats.at(Lower(options.format)));
    }
    AtomicFile out(options.output);
    dib.SaveToStream(out);
    out.Commit();
}
