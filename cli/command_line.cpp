#include "cli/command_line.h"

#include <cstdio>
#include <string_view>

#ifndef WAND_VERSION
#define WAND_VERSION "unknown"
#endif

namespace {

// Where the loader looks for the VR client library, in its order.
#ifdef _WIN32
const char* const kLibrarySearch =
    "  openvr_api.dll, in the program's own folder, then in the Windows system folders, the working\n"
    "  folder and the folders of PATH. Without it the program does not start.\n";
#else
const char* const kLibrarySearch =
    "  libopenvr_api.so, in the folders of LD_LIBRARY_PATH, then in the program's own folder,\n"
#ifdef WAND_OPENVR_DIR
    "  then in " WAND_OPENVR_DIR ",\n"
#endif
    "  then in the system's library folders (ldconfig). Without it the program does not start.\n";
#endif

void printUsage(std::FILE* to, const ProgramHelp& help) {
    std::fprintf(to, "Usage: %s [--config FILE]%s [--help] [--version]\n", help.name,
                 help.reanchor ? " [--reanchor]" : "");
}

void printHelp(const ProgramHelp& help) {
    printUsage(stdout, help);
    std::printf("\n%s\n"
                "Options:\n"
                "  --config FILE  use FILE instead of default.config in the working folder\n"
                "%s"
                "  --help         show this text and exit\n"
                "  --version      show the version and exit\n\n"
                "Files:\n%s\n"
                "Exit status:\n%s\n"
                "VR client library (from the VR runtime's SDK, not part of Wand):\n%s",
                help.summary, help.reanchor ? help.reanchor : "", help.files, help.statuses, kLibrarySearch);
}

// One line naming the mistake, then the usage.
CommandLine mistake(const ProgramHelp& help, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", help.name, what.c_str());
    printUsage(stderr, help);
    CommandLine line;
    line.exit_status = kExitBadCommandLine;
    return line;
}

} // namespace

CommandLine readCommandLine(int argc, const char* const argv[], const ProgramHelp& help) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            printHelp(help);
            line.exit_status = 0;
            return line;
        }
        if (argument == "--version") {
            std::printf("%s %s\n", help.name, WAND_VERSION);
            line.exit_status = 0;
            return line;
        }
        if (argument == "--config" || argument.substr(0, 9) == "--config=") {
            const std::string_view file = argument.size() > 8 ? argument.substr(9)
                                          : i + 1 < argc      ? std::string_view(argv[++i])
                                                              : std::string_view();
            if (file.empty())
                return mistake(help, "option '--config' needs a file name");
            line.config_path = std::string(file);
        } else if (argument == "--reanchor" && help.reanchor) {
            line.reanchor = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return mistake(help, "unknown option '" + std::string(argument) + "'");
        } else {
            return mistake(help, "unexpected argument '" + std::string(argument) + "'");
        }
    }
    return line;
}
