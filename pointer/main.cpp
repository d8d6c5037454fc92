// wandpointer: turns the selected VR controller into the desktop's mouse, from the calibration in
// "default.config".
#include "cli/command_line.h"
#include "config/config_file.h"
#include "desktop/desktop_layout.h"
#include "platform/platform.h"
#include "pointer/runner.h"
#include "vr/controller_selection.h"
#include "vr/vr_runtime.h"

#include <json/json.h>

#include <cstdio>
#include <optional>

namespace {

const ProgramHelp kHelp = {
    "wandpointer",
    "Turns the VR controller you pick into the desktop's mouse, from the calibration that wandsetup\n"
    "wrote. Runs until Ctrl+C or until it is asked to end.\n",
    "  default.config in the working folder, or FILE: read once at start-up, never written.\n",
    "  0  ended on request (Ctrl+C, closing the console, a termination signal); held buttons let go\n"
    "  1  the configuration could not be opened or read, or the VR runtime did not start\n"
    "  2  a mistake on the command line\n",
};

// The config, or nothing after its failure has been reported.
std::optional<ConfigContents> loadConfig(const std::string& path) {
    try {
        std::optional<ConfigContents> config = readConfigFile(path);
        if (!config) {
            std::printf("Could not open %s, run config first!\n\n", path.c_str());
            platform::pauseConsole();
        }
        return config;
    } catch (const Json::RuntimeError&) {
        // The reader has already printed "Error from reader: " with the parse errors.
    } catch (const Json::LogicError& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    platform::pauseConsole();
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine command_line = readCommandLine(argc, argv, kHelp);
    if (command_line.exit_status)
        return *command_line.exit_status;
    platform::prepareProcess();

    std::optional<ConfigContents> config = loadConfig(command_line.config_path);
    if (!config)
        return 1;

    // The calibration fits only the monitors it was made for: say so when they have changed since.
    DesktopLayout layout;
    refresh(layout);
    if (const std::optional<std::string> warning =
            layoutChangeWarning(config->display_hash, config->has_display_hash, layout.display_hash))
        std::printf("%s", warning->c_str());

    RunnerState runner;
    runner.displays = makeDisplayList(config->displays);
    runner.settings = config->settings;
    const RunnerSettings& settings = runner.settings;
    const bool averaging = averagesPositions(settings);
    if (!stabilizerLengthUsable(settings.average_of_N_previous_positions, averaging))
        std::printf("\nWarning: stabilization needs average_of_N_previous_positions of 1 or more, found %d;"
                    " the cursor follows the pointer without averaging.\n",
                    static_cast<int>(settings.average_of_N_previous_positions));
    if (stabilizerLengthTooLong(settings.average_of_N_previous_positions, averaging))
        std::printf("\nWarning: stabilization averages at most %d previous positions, found "
                    "average_of_N_previous_positions %d; the last %d are averaged.\n",
                    static_cast<int>(kMaxStabilizerLength),
                    static_cast<int>(settings.average_of_N_previous_positions),
                    static_cast<int>(kMaxStabilizerLength));

    const VrStartup vr = startVr();
    if (vr.error != vr::VRInitError_None) {
        reportVrStartupFailure(vr.error, Program::pointer);
        return 1;
    }
    std::printf("SteamVR initialized!\n");

    runner.controller = selectControllers(vr.system, 1, {"primary"}).front();
    update(runner.controller);
    prepareStabilization(runner);

    // From here on a request to stop is honoured between frames, so that no button stays held down.
    platform::installShutdownHandler();
    PointerIo io;
#ifdef WAND_PACING_1MS_SLEEPS
    // The pacing of earlier versions, for the live benchmark's comparison: 1 ms sleeps only.
    io.sleep_until = [](uint32_t) {};
#endif
    runner.buttons = ButtonState{};
    runner.frame_start_tick = io.tick_count();
    while (!platform::shutdownRequested())
        runFrame(runner, io);

    releaseHeldButton(runner.settings, runner.buttons, io);
    VR_ShutdownInternal();
    return 0;
}
