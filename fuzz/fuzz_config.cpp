// Fuzzes "default.config" as the runner takes it in: the whole file goes through the reader, then into the
// display planes and the settings, and one trigger pull is played through the frame loop against a simulated
// controller (released, pulled, held past any drag threshold, released). Whatever the file says (bindings
// included), no mouse button and no key may stay held afterwards.
#include "config/config_file.h"
#include "pointer/runner.h"
#include "sim/sim_core.h"
#include "vr/vr_runtime.h"

#include <cstdio>
#include <cstdlib>

namespace {

vr::IVRSystem* g_system = nullptr;
uint32_t g_tick = 0;
int g_held[3] = {0, 0, 0}; // left, right, middle: downs minus ups
int g_keys = 0;            // keys pressed minus keys released

void countButtons(platform::MouseButton button, platform::ButtonAction action) {
    const int change = action == platform::ButtonAction::down ? 1
                       : action == platform::ButtonAction::up ? -1
                                                              : 0;
    g_held[static_cast<int>(button)] += change;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The controller stands at (0, 1.2, 0.5) and points at the calibrated monitors of the seed files.
    useVrLibrary(simVrLibrary());
    simLoadScenarioText("device 0 hmd\ndevice 1 controller\nstep\n  1 pose aim 0 1.2 0.5 -0.2 1.05 -0.75\n",
                        "fuzz controller");
    g_system = startVr().system;
    // The cursor toggle prints; keep the fuzzer's own output readable.
    if (g_system == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ConfigRead read = parseConfigText(std::string(reinterpret_cast<const char*>(data), size));
    if (!read.contents)
        return 0; // not JSON, or a value of the wrong type: the runner prints the message and stops
    const ConfigContents& config = *read.contents;
    PointerIo io;
    io.set_cursor_pos = [](int32_t, int32_t) { return true; };
    io.mouse_button = countButtons;
    io.mouse_wheel = [](int32_t) {};
    io.key = [](platform::Key, bool press) { g_keys += press ? 1 : -1; };
    io.haptic_pulse = [](const TrackedController&, uint16_t) {};
    io.tick_count = [] { return g_tick++; };
    io.sleep_ms = [](uint32_t ms) { g_tick += ms; };
    io.ask_cursor_pos = [] {};
    io.cursor_pos = [] { return std::optional(platform::CursorPosition{7, 7}); }; // a mouse, with handover on
    io.sleep_until = [](uint32_t deadline) {
        if (static_cast<int32_t>(deadline - g_tick) > 0)
            g_tick = deadline;
    };
    g_held[0] = g_held[1] = g_held[2] = g_keys = 0;
    RunnerState runner;
    runner.displays = makeDisplayList(config.displays);
    runner.settings = config.settings;
    runner.controller = makeTrackedController(g_system, 1);
    prepareFromSettings(runner);
    readControllerFrame(runner.controller, runner.aim);
    runner.frame_start_tick = io.tick_count();
    SimDevice& controller = simProcessRuntime().devices[1];
    for (float value : {0.0f, 1.0f, 1.0f, 0.0f}) {
        controller.trigger = value;
        runFrame(runner, io);
        g_tick += 100000; // every hold is longer than any threshold below 100 s
    }
    if (runner.trigger.dragging || g_held[0] != 0 || g_held[1] != 0 || g_held[2] != 0 || g_keys != 0) {
        std::fprintf(stderr,
                     "a mouse button or key stays held: dragging %d, left %d, right %d, middle %d, keys %d\n",
                     int(runner.trigger.dragging), g_held[0], g_held[1], g_held[2], g_keys);
        std::abort();
    }
    return 0;
}
