#include "cli/command_line.h"

#include "vr/vr_library.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <variant>

#ifndef WAND_VERSION
#define WAND_VERSION "unknown"
#endif

namespace {

// What an option does: shows the help or the version, or sets a member of the command line (a switch, a
// text such as a file name, or on|off).
struct ShowHelp {};
struct ShowVersion {};
using OptionEffect = std::variant<ShowHelp, ShowVersion, bool CommandLine::*, std::string CommandLine::*,
                                  std::optional<bool> CommandLine::*>;

enum class Takers { both, wandsetup, wandpointer };

// One option, as the usage names it and --help explains it. An option whose help differs between the
// programs has a row for each.
struct Option {
    const char* name; // "--config"
    const char*
        value; // what follows it ("FILE", "on|off"), given as "NAME VALUE" or "NAME=VALUE"; "" for none
    Takers takers;
    OptionEffect effect;
    const char* help; // its lines in --help, without indentation
    const char* alias = nullptr;
};

// Every option, in the order of the usage and of --help.
const Option kOptions[] = {
    {"--config", "FILE", Takers::both, &CommandLine::config_path,
     "use FILE instead of default.config in the working folder\n"},
    {"--reanchor", "", Takers::wandsetup, &CommandLine::reanchor,
     "after the VR tracking space has moved (a base station moved, the room set up again,\n"
     "an inside-out headset's origin shifted): touch three corners of one calibrated\n"
     "monitor, and every monitor's corners move with them; nothing else changes\n"},
    {"--wait", "", Takers::wandpointer, &CommandLine::wait,
     "when SteamVR is not running, wait for it instead of ending with status 1; when it\n"
     "quits, let go of the buttons and wait for it again\n"},
    {"--log", "FILE", Takers::wandpointer, &CommandLine::log_path,
     "also write every message, each line with the time, to FILE (appended)\n"},
    {"--autostart", "on|off", Takers::wandpointer, &CommandLine::autostart,
     "on: register with SteamVR, which then starts wandpointer with itself (this\n"
     "--config and --recommended, --wait, a log beside the manifest); off: undo that.\n"
     "SteamVR must run\n"},
    {"--recommended", "", Takers::wandsetup, &CommandLine::recommended,
     "also write the recommended settings: steadier pointing (the filter and the click\n"
     "freeze) and sharing the desk with the mouse (the handover)\n"},
    {"--recommended", "", Takers::wandpointer, &CommandLine::recommended,
     "the recommended settings (steadier pointing, sharing the desk with the mouse) for\n"
     "each one the file lacks; the file is not changed\n"},
    {"--help", "", Takers::both, ShowHelp{}, "show this text and exit\n", "-h"},
    {"--version", "", Takers::both, ShowVersion{}, "show the version and exit\n"},
};

// The width of the names' column in --help; a longer name has its help on the next line.
constexpr size_t kNameColumn = 13;

bool takes(Tool tool, const Option& option) {
    return option.takers == Takers::both || (option.takers == Takers::wandsetup) == (tool == Tool::wandsetup);
}

// "--config FILE", "--wait".
std::string spelled(const Option& option) {
    return std::string(option.name) + (*option.value ? std::string(" ") + option.value : "");
}

// `lines` with every line after the first indented by `indent` blanks.
std::string indented(const char* lines, size_t indent) {
    std::string text;
    for (const char* c = lines; *c; ++c) {
        text += *c;
        if (*c == '\n' && c[1])
            text.append(indent, ' ');
    }
    return text;
}

void printUsage(std::FILE* to, const ProgramHelp& help) {
    std::string usage = std::string("Usage: ") + help.name;
    for (const Option& option : kOptions) {
        if (takes(help.tool, option))
            usage += " [" + spelled(option) + "]";
    }
    std::fprintf(to, "%s\n", usage.c_str());
}

void printHelp(const ProgramHelp& help) {
    printUsage(stdout, help);
    std::string options;
    for (const Option& option : kOptions) {
        if (!takes(help.tool, option))
            continue;
        std::string name = spelled(option);
        name += name.size() <= kNameColumn ? std::string(kNameColumn + 2 - name.size(), ' ')
                                           : "\n" + std::string(kNameColumn + 4, ' ');
        options += "  " + name + indented(option.help, kNameColumn + 4);
    }
    std::string statuses;
    for (const StatusHelp& status : help.statuses)
        statuses +=
            "  " + std::to_string(static_cast<int>(status.status)) + "  " + indented(status.meaning, 5);
    std::printf("\n%s\nOptions:\n%s\nFiles:\n%s\nExit status:\n%s\n"
                "VR client library (from SteamVR or the OpenVR SDK, not part of Wand):\n%s",
                help.summary, options.c_str(), help.files, statuses.c_str(), vrLibrarySearchHelp().c_str());
}

// One line naming the mistake, then the usage.
CommandLine mistake(const ProgramHelp& help, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", help.name, what.c_str());
    printUsage(stderr, help);
    CommandLine line;
    line.exit_status = ExitStatus::unfinished;
    return line;
}

} // namespace

CommandLine readCommandLine(int argc, const char* const argv[], const ProgramHelp& help) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        // The option the argument names, and its value (empty when it is missing).
        const Option* given = nullptr;
        std::string_view value;
        for (const Option& option : kOptions) {
            if (!takes(help.tool, option))
                continue;
            const std::string_view name = option.name;
            if (argument == name || (option.alias && argument == option.alias)) {
                given = &option;
                if (*option.value && i + 1 < argc)
                    value = argv[++i];
                break;
            }
            if (*option.value && argument.starts_with(name) && argument.size() > name.size() &&
                argument[name.size()] == '=') {
                given = &option;
                value = argument.substr(name.size() + 1);
                break;
            }
        }
        if (!given) {
            if (!argument.empty() && argument[0] == '-')
                return mistake(help, "unknown option '" + std::string(argument) + "'");
            return mistake(help, "unexpected argument '" + std::string(argument) + "'");
        }
        const std::string name = given->name;
        if (std::holds_alternative<ShowHelp>(given->effect)) {
            printHelp(help);
            line.exit_status = ExitStatus::success;
            return line;
        }
        if (std::holds_alternative<ShowVersion>(given->effect)) {
            std::printf("%s %s\n", help.name, WAND_VERSION);
            line.exit_status = ExitStatus::success;
            return line;
        }
        if (const auto* flag = std::get_if<bool CommandLine::*>(&given->effect)) {
            line.*(*flag) = true;
        } else if (const auto* text = std::get_if<std::string CommandLine::*>(&given->effect)) {
            if (value.empty())
                return mistake(help, "option '" + name + "' needs a file name");
            line.*(*text) = std::string(value);
        } else if (const auto* on_off = std::get_if<std::optional<bool> CommandLine::*>(&given->effect)) {
            if (value != "on" && value != "off")
                return mistake(help, "option '" + name + "' needs 'on' or 'off'");
            line.*(*on_off) = value == "on";
        }
    }
    if (line.reanchor && line.recommended)
        return mistake(help, "--reanchor keeps the file's settings: it does not go with --recommended");
    return line;
}
