#include "cli/InfoCommand.h"

#include "platform/Stream.h"
#include "qvdib/QvDIB.h"

#include <cstdint>
#include <optional>
#include <ostream>

namespace {

constexpr std::int64_t kUnitBinSize = 65536;
constexpr std::int64_t kWldfaceBinSize = 131072;

const char* CompressionName(std::uint32_t compression)
{
    switch (compression) {
    case BI_RGB: return "BI_RGB";
    case BI_RLE8: return "BI_RLE8";
    case BI_RLE4: return "BI_RLE4";
    case BI_BITFIELDS: return "BI_BITFIELDS";
    default: return "unknown";
    }
}

std::optional<const char*> BinKind(std::int64_t size)
{
    if (size == kUnitBinSize)
        return "UNIT.BIN";
    if (size == kWldfaceBinSize)
        return "WLDFACE.BIN";
    return std::nullopt;
}

void PrintBmp(const TQvDIB& dib, std::ostream& out)
{
    const TQvDIBInfos& infos = dib.Storage().DIBInfos;
    const BITMAPINFOHEADER& h = infos.Header;
    out << "kind: BMP\n"
        << "width: " << h.biWidth << "\n"
        << "height: " << DIBRows(h) << "\n"
        << "row order: " << (h.biHeight < 0 ? "top-down" : "bottom-up") << "\n"
        << "bit count: " << h.biBitCount << "\n"
        << "compression: " << h.biCompression << " (" << CompressionName(h.biCompression) << ")\n"
        << "palette size: " << h.biClrUsed << "\n"
        << "pixel data: " << infos.BitsSize << " bytes\n";
}

} // namespace

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options)
{
    CLI::App* command = app.add_subcommand("info", "Show what a BMP file holds, or which game file a BIN file is");
    command->footer("For a BMP file: width, height, row order, bit count, compression, palette size\n"
                    "and pixel data size, as the editor holds the picture after loading it\n"
                    "(16- and 32-bit files are held as 24-bit). A file of 65,536 or 131,072 bytes\n"
                    "that is not a BMP file is reported as UNIT.BIN or WLDFACE.BIN.\n"
                    "Example: vxr info UNIT-1A-0.bmp");
    command->add_option("FILE", options.file, "The file to look at")->required();
    return command;
}

void RunInfo(const InfoOptions& options, std::ostream& out)
{
    TQvDIB dib;
    std::optional<const char*> binKind;
    {
        TFileStream stream(options.file, TFileMode::fmOpenRead);
        binKind = BinKind(stream.Size());
        try {
            dib.LoadFromStream(stream);
        } catch (const Exception&) {
            // A game file has no header of its own, so any size-matching file
            // that is not a BMP is taken for one. Any other file is refused.
            if (!binKind)
                throw;
            out << "kind: " << *binKind << "\n";
            return;
        }
    }
    PrintBmp(dib, out);
}
