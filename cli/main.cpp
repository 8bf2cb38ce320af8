// vxr: the command-line side of VXR - UNIT/WLDFACE. Each verb lives in its own
// source pair; this file only parses and maps failures to exit codes.
#include "cli/ConvertCommand.h"
#include "cli/ExitCodes.h"
#include "cli/InfoCommand.h"
#include "platform/Exceptions.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app("vxr: look at and convert the BMP files of VXR - UNIT/WLDFACE.\n"
                 "Exit codes: 0 done, 1 input refused or file error (the message is on stderr), "
                 "2 wrong command line.",
                 "vxr");
    app.set_version_flag("--version", "vxr " VXR_VERSION);
    app.require_subcommand(1);
    InfoOptions info;
    ConvertOptions convert;
    const CLI::App* infoCommand = AddInfoCommand(app, info);
    AddConvertCommand(app, convert);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
    }
    try {
        if (infoCommand->parsed())
            RunInfo(info, std::cout);
        else
            RunConvert(convert);
    } catch (const Exception& e) {
        std::cerr << e.what() << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "vxr: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitSuccess;
}
