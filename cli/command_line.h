// The command line both programs understand: --help, --version, --config FILE and --recommended,
// wandsetup's --reanchor, and wandpointer's --wait, --log FILE and --autostart on|off. Without arguments a
// program runs exactly as it always has, on "default.config" in the working folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The exit statuses of both programs, each number once; what each means for a program is in its
// ProgramHelp, and --help prints it.
enum class ExitStatus : int {
    success = 0,     // done, or ended on request
    failure = 1,     // what the program needs could not be had: a desktop, the runtime, a usable file...
    unfinished = 2,  // a mistake on the command line; wandsetup: stopped before the end, nothing written
    not_written = 3, // wandsetup: the file could not be written, an old one is kept
};

// The programs that the options table serves.
enum class Tool { wandsetup, wandpointer };

// One exit status as --help explains it for a program: the status, then its lines (without indentation).
struct StatusHelp {
    ExitStatus status;
    const char* meaning;
};

// What --help says about one program, beside what the options table says.
struct ProgramHelp {
    Tool tool;
    const char* name;    // "wandpointer"
    const char* summary; // what the program does, one paragraph
    const char* files;   // the files it reads and writes
    std::vector<StatusHelp> statuses;
};

struct CommandLine {
    std::string config_path = "default.config";
    bool reanchor = false;
    bool wait = false;             // --wait: wait for the runtime, and again whenever it quits
    std::string log_path;          // --log FILE: every message also goes to FILE ("": none)
    std::optional<bool> autostart; // --autostart on|off: only register or unregister with the runtime
    bool recommended = false;      // --recommended: the recommended settings (README, "Settings")
    // Set when the program must end at once with this status: after --help or --version (success), or
    // after a mistake on the command line (unfinished), which has been reported on standard error with the
    // usage.
    std::optional<ExitStatus> exit_status;
};

// Reads the arguments and answers --help, --version and mistakes on the spot.
CommandLine readCommandLine(int argc, const char* const argv[], const ProgramHelp& help);
