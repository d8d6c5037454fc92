// The command line both programs understand: --help, --version, --config FILE and --recommended,
// wandsetup's --reanchor, and wandpointer's --wait, --log FILE and --autostart on|off. Without arguments a
// program runs exactly as it always has, on "default.config" in the working folder.
#pragma once

#include <optional>
#include <string>

// What --help says about one program, beside the parts both share (usage, options, the VR library).
struct ProgramHelp {
    const char* name;               // "wandpointer"
    const char* summary;            // what the program does, one paragraph
    const char* files;              // the files it reads and writes
    const char* statuses;           // its exit statuses
    const char* reanchor = nullptr; // what --reanchor does; null for a program without that option
    // The help lines of --wait, --log and --autostart; null for a program without those options.
    const char* runner_options = nullptr;
    const char* recommended = nullptr; // what --recommended does for it
};

struct CommandLine {
    std::string config_path = "default.config";
    bool reanchor = false;
    bool wait = false;             // --wait: wait for the runtime, and again whenever it quits
    std::string log_path;          // --log FILE: every message also goes to FILE ("": none)
    std::optional<bool> autostart; // --autostart on|off: only register or unregister with the runtime
    bool recommended = false;      // --recommended: the recommended settings (README, "Settings")
    // Set when the program must end at once with this status: after --help or --version (0), or after a
    // mistake on the command line (2), which has been reported on standard error with the usage.
    std::optional<int> exit_status;
};

inline constexpr int kExitBadCommandLine = 2;

// Reads the arguments and answers --help, --version and mistakes on the spot.
CommandLine readCommandLine(int argc, const char* const argv[], const ProgramHelp& help);
