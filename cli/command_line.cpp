#include "cli/command_line.h"

#include <cstdio>
#include <optional>
#include <string_view>

#ifndef WAND_VERSION
#define WAND_VERSION "unknown"
#endif

namespace {

// Where the VR client library is looked for, in order, when the runtime is first needed.
#ifdef _WIN32
const char* const kLibrarySearch =
    "  openvr_api.dll, loaded when the runtime is first needed: from the program's own folder, then the\n"
    "  Windows system folders, the working folder and the folders of PATH, then SteamVR's own copy\n"
    "  (bin\\win64 of the runtime named in %LOCALAPPDATA%\\openvr\\openvrpaths.vrpath). Without it the\n"
    "  runtime does not start (status 1).\n";
#else
const char* const kLibrarySearch =
    "  libopenvr_api.so, loaded when the runtime is first needed: from the folders of LD_LIBRARY_PATH,\n"
    "  then the program's own folder,"
#ifdef WAND_OPENVR_DIR
    " then " WAND_OPENVR_DIR ","
#endif
    " then the system's library folders (ldconfig), then SteamVR's\n"
    "  own copy (bin/linux64 of the runtime named in ~/.config/openvr/openvrpaths.vrpath). Without it\n"
    "  the runtime does not start (status 1).\n";
#endif

void printUsage(std::FILE* to, const ProgramHelp& help) {
    std::fprintf(to, "Usage: %s [--config FILE]%s%s [--recommended] [--help] [--version]\n", help.name,
                 help.reanchor ? " [--reanchor]" : "",
                 help.runner_options ? " [--wait] [--log FILE] [--autostart on|off]" : "");
}

void printHelp(const ProgramHelp& help) {
    printUsage(stdout, help);
    std::printf("\n%s\n"
                "Options:\n"
                "  --config FILE  use FILE instead of default.config in the working folder\n"
                "%s%s%s"
                "  --help         show this text and exit\n"
                "  --version      show the version and exit\n\n"
                "Files:\n%s\n"
                "Exit status:\n%s\n"
                "VR client library (from SteamVR or the OpenVR SDK, not part of Wand):\n%s",
                help.summary, help.reanchor ? help.reanchor : "",
                help.runner_options ? help.runner_options : "", help.recommended ? help.recommended : "",
                help.files, help.statuses, kLibrarySearch);
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
        // The value of an option given as "NAME VALUE" or "NAME=VALUE" (empty when it is missing); none when
        // the argument is not that option.
        const auto valueOf = [&](std::string_view name) -> std::optional<std::string_view> {
            if (argument == name)
                return i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
            if (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == '=')
                return argument.substr(name.size() + 1);
            return std::nullopt;
        };
        if (const std::optional<std::string_view> file = valueOf("--config")) {
            if (file->empty())
                return mistake(help, "option '--config' needs a file name");
            line.config_path = std::string(*file);
        } else if (argument == "--reanchor" && help.reanchor) {
            line.reanchor = true;
        } else if (help.runner_options && argument == "--wait") {
            line.wait = true;
        } else if (const std::optional<std::string_view> file =
                       help.runner_options ? valueOf("--log") : std::nullopt) {
            if (file->empty())
                return mistake(help, "option '--log' needs a file name");
            line.log_path = std::string(*file);
        } else if (const std::optional<std::string_view> value =
                       help.runner_options ? valueOf("--autostart") : std::nullopt) {
            if (*value != "on" && *value != "off")
                return mistake(help, "option '--autostart' needs 'on' or 'off'");
            line.autostart = *value == "on";
        } else if (argument == "--recommended") {
            line.recommended = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return mistake(help, "unknown option '" + std::string(argument) + "'");
        } else {
            return mistake(help, "unexpected argument '" + std::string(argument) + "'");
        }
    }
    if (line.reanchor && line.recommended)
        return mistake(help, "--reanchor keeps the file's settings: it does not go with --recommended");
    return line;
}
