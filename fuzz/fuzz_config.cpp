// Fuzzes "default.config" as the runner takes it in: the whole file goes through the reader; with the
// runner's core built in, it goes on into the display planes and the settings, and one trigger press is
// played through the frame loop against a simulated controller (released, pulled, held past any drag
// threshold, released). Whatever the file says, no mouse button may stay held afterwards.
#include "config/config_file.h"

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>

#if WAND_FUZZ_FRAME
#include "platform/platform.h"
#include "pointer/runner.h"
#include "shared/vr_runtime.h"
#include "sim/sim_core.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The controller stands at (0, 1.2, 0.5) and points straight ahead, at the calibrated monitors of the
// seed files.
const char* const kControllerScenario = "device 0 hmd\n"
                                        "device 1 controller\n"
                                        "step\n"
                                        "  0 pose at 0 1.2 0.6\n"
                                        "  1 pose aim 0 1.2 0.5 -0.2 1.05 -0.75\n";

vr::IVRSystem* g_system = nullptr;
uint32_t g_tick = 0;
int g_held[3] = {0, 0, 0}; // left, right, middle: downs minus ups

void countButtons(const platform::MouseInput& input) {
    const uint32_t f = input.flags;
    g_held[0] += ((f & platform::kMouseLeftDown) != 0) - ((f & platform::kMouseLeftUp) != 0);
    g_held[1] += ((f & platform::kMouseRightDown) != 0) - ((f & platform::kMouseRightUp) != 0);
    g_held[2] += ((f & platform::kMouseMiddleDown) != 0) - ((f & platform::kMouseMiddleUp) != 0);
}

void playFrames(const ConfigContents& config) {
    PointerIo io;
    io.set_cursor_pos = [](int32_t, int32_t) { return true; };
    io.send_mouse_input = countButtons;
    io.tick_count = [] { return g_tick++; };
    io.sleep_ms = [](uint32_t ms) { g_tick += ms; };
    g_held[0] = g_held[1] = g_held[2] = 0;

    RunnerState runner;
    runner.displays = makeDisplayList(config.displays);
    runner.settings = config.settings;
    runner.controller = makeTrackedController(g_system, 1);
    update(runner.controller);
    prepareStabilization(runner);
    runner.frame_start_tick = io.tick_count();

    SimDevice& controller = simProcessRuntime().devices[1];
    const float trigger[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    for (float value : trigger) {
        controller.trigger = value;
        runFrame(runner, io);
        g_tick += 100000; // every hold is longer than any threshold below 100 s
    }
    controller.trigger = 0.0f;
    if (runner.buttons.dragging || g_held[0] != 0 || g_held[1] != 0 || g_held[2] != 0) {
        std::fprintf(stderr, "a mouse button stays held: dragging %d, left %d, right %d, middle %d\n",
                     int(runner.buttons.dragging), g_held[0], g_held[1], g_held[2]);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    simLoadScenarioText(kControllerScenario, "fuzz controller");
    const VrStartup vr = startVr();
    if (vr.error != vr::VRInitError_None || vr.system == nullptr) {
        std::fprintf(stderr, "the simulated runtime did not start (%d)\n", int(vr.error));
        std::abort();
    }
    g_system = vr.system;
    // The cursor toggle prints; keep the fuzzer's own output readable.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ConfigContents config;
    try {
        config = parseConfigText(text);
    } catch (const Json::RuntimeError&) {
        return 0; // not JSON: the runner prints the reader's errors and stops
    } catch (const Json::LogicError&) {
        return 0; // a value of the wrong type: the runner prints the conversion error and stops
    }
#if WAND_FUZZ_FRAME
    playFrames(config);
#endif
    return 0;
}
