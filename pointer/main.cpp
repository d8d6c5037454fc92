// wandpointer: turns the selected VR controller into the desktop's mouse, from the calibration in
// "default.config".
#include "config/config_file.h"
#include "platform/platform.h"
#include "pointer/runner.h"
#include "shared/controller_selection.h"
#include "shared/desktop_layout.h"
#include "shared/vr_runtime.h"

#include <json/json.h>

#include <cstdio>
#include <optional>

namespace {

// The config, or nothing after its failure has been reported.
std::optional<ConfigContents> loadConfig() {
    try {
        std::optional<ConfigContents> config = readConfigFile("default.config");
        if (!config) {
            std::printf("Could not open default.config, run config first!\n\n");
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

int main() {
    platform::prepareProcess();

    std::optional<ConfigContents> config = loadConfig();
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
    const PointerIo io;
    runner.buttons = ButtonState{};
    runner.frame_start_tick = io.tick_count();
    while (!platform::shutdownRequested())
        runFrame(runner, io);

    releaseHeldButton(runner.settings, runner.buttons, io);
    VR_ShutdownInternal();
    return 0;
}
