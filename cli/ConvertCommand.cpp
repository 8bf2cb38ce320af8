#include "cli/ConvertCommand.h"

#include "platform/AtomicFile.h"
#include "qvdib/QvDIB.h"

CLI::App* AddConvertCommand(CLI::App& app, ConvertOptions& options)
{
    CLI::App* command = app.add_subcommand("convert", "Read a BMP file and write it as a BMP file again");
    command->footer("1-, 4-, 8- and 24-bit pictures (RLE-compressed ones included) keep their pixel\n"
                    "bytes and colour table; 16- and 32-bit pictures are written as 24-bit. OUT is\n"
                    "replaced only once it is completely written, so a failed run leaves it as it\n"
                    "was. IN and OUT may be the same file.\n"
                    "Example: vxr convert edited.bmp UNIT-1A-0.bmp");
    command->add_option("IN", options.input, "The BMP file to read")->required();
    command->add_option("OUT", options.output, "The BMP file to write")->required();
    return command;
}

void RunConvert(const ConvertOptions& options)
{
    TQvDIB dib;
    dib.LoadFromFile(options.input);
    AtomicFile out(options.output);
    dib.SaveToStream(out);
    out.Commit();
}
