// wandsetup: calibrates the desktop's monitors in VR tracking space and writes "default.config".
#include "cli/command_line.h"
#include "config/config_file.h"
#include "desktop/desktop.h"
#include "os/os.h"
#include "setup/configurator.h"

#include <cstdio>
#include <iostream>

namespace {

const ProgramHelp kHelp = {
    Tool::wandsetup,
    "wandsetup",
    "Calibrates the desktop's monitors in VR tracking space: for each monitor, from left to right, the\n"
    "controller touches or points at its four corners; then it asks for your handedness and writes the\n"
    "calibration that wandpointer reads. Answers are read from standard input.\n",
    "  default.config in the working folder, or FILE: written at the end of a completed run, replacing\n"
    "  the old file in one step; nothing is read (--reanchor reads it first, then replaces it likewise).\n",
    {{ExitStatus::success, "the file has been written\n"},
     {ExitStatus::failure,
      "no desktop could be reached, or the VR runtime did not start; with --reanchor also: the file\n"
      "is missing, unreadable, could not be written back as it is, or holds no monitor whose corners\n"
      "can be touched again\n"},
     {ExitStatus::unfinished,
      "a mistake on the command line, standard input ended before an answer, or SteamVR quit\n"
      "(nothing written)\n"},
     {ExitStatus::not_written,
      "the file could not be written, found out before the first question where it can be (an old\n"
      "one is kept as it was)\n"}},
};

ExitStatus runSetup(const CommandLine& command_line) {
    if (command_line.exit_status)
        return *command_line.exit_status;
    if (const std::string failure = platform::openDesktop(); !failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        platform::pauseConsole();
        return ExitStatus::failure;
    }
    // A file that cannot be written is found out before the user calibrates anything.
    if (const std::string failure = platform::checkFileWritable(command_line.config_path); !failure.empty())
        return reportWriteFailure(command_line.config_path, failure);
    if (command_line.reanchor)
        return runReanchor(std::cin, command_line.config_path);
    return runConfigurator(std::cin, command_line.config_path, command_line.recommended);
}

} // namespace

int main(int argc, char** argv) {
    platform::prepareProcess();
    return static_cast<int>(runSetup(readCommandLine(argc, argv, kHelp)));
}
