// Fuzzes the simulator's scenario parser. A scenario that parses is then played for a few polls, as a
// program would query it, so that every accepted line also takes effect once.
#include "sim/sim_core.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Scenario scenario;
    try {
        scenario = parseScenario(text, "fuzz");
    } catch (const std::runtime_error&) {
        return 0; // reported as "fuzz:<line>: <problem>"
    }
    // Waits on files are never met here; steps with them hold, like steps with a long ms=.
    scenario.control_dir = "/nonexistent-wand-fuzz";
    SimRuntime runtime(std::move(scenario));
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    for (int poll = 0; poll < 4; ++poll) {
        for (uint32_t index = 0; index <= vr::k_unMaxTrackedDeviceCount; ++index) {
            vr::VRControllerState_t state;
            simGetControllerState(runtime, index, &state);
            simDeviceClass(runtime, index);
            simIsConnected(runtime, index);
        }
        simGetPoses(runtime, poses, vr::k_unMaxTrackedDeviceCount);
    }
    return 0;
}
