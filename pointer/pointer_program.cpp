#include "pointer/pointer_program.h"

#include "config/config_file.h"
#include "desktop/desktop_layout.h"
#include "platform/platform.h"
#include "pointer/runner.h"
#include "vr/controller_selection.h"
#include "vr/vr_runtime.h"

#include <cstdio>
#include <optional>

const ProgramHelp kPointerHelp = {
    "wandpointer",
    "Turns the VR controller you pick into the desktop's mouse, from the calibration that wandsetup\n"
    "wrote. Runs until Ctrl+C or until it is asked to end.\n",
    "  default.config in the working folder, or FILE: read once at start-up, never written.\n",
    "  0  ended on request (Ctrl+C, closing the console, a termination signal); held buttons let go\n"
    "  1  the configuration could not be opened or read, the VR runtime did not start, or the desktop\n"
    "     stopped taking input (GNOME's remote desktop session was ended)\n"
    "  2  a mistake on the command line\n",
};

int runPointer(const CommandLine& command_line, const PointerIo& io) {
    if (command_line.exit_status)
        return *command_line.exit_status;
    platform::prepareProcess();

    const ConfigRead read = readConfigFile(command_line.config_path);
    if (!read.contents) {
        std::fputs(read.message.c_str(), read.failure == ConfigFailure::cannot_open ? stdout : stderr);
        platform::pauseConsole();
        return 1;
    }
    const ConfigContents& config = *read.contents;

    // The calibration fits only the monitors it was made for: say so when they have changed since.
    DesktopLayout layout;
    refresh(layout);
    if (const std::optional<std::string> warning =
            layoutChangeWarning(config.display_hash, config.has_display_hash, layout.display_hash))
        std::printf("%s", warning->c_str());

    RunnerState runner;
    runner.displays = makeDisplayList(config.displays);
    runner.settings = config.settings;
    for (const std::string& warning : config.warnings)
        std::printf("%s", warning.c_str());

    std::optional<TrackedController> controller = startRuntimeAndSelectController(Program::pointer);
    if (!controller)
        return 1;
    runner.controller = *controller;
    update(runner.controller);
    prepareStabilization(runner);

    // From here on a request to stop is honoured between frames, so that no button stays held down.
    platform::installShutdownHandler();
    runner.buttons = ButtonState{};
    runner.frame_start_tick = io.tick_count();
    while (!platform::shutdownRequested() && !platform::desktopLost())
        runFrame(runner, io);

    releaseHeldButton(runner.settings, runner.buttons, io);
    VR_ShutdownInternal();
    return platform::desktopLost() ? 1 : 0;
}
