#include "vr/controller_selection.h"

#include "os/os.h"

#include <algorithm>
#include <optional>

namespace {

constexpr uint32_t kFirstIndex = 1; // index 0 is the headset's
constexpr uint32_t kLastIndex = 15;
constexpr uint32_t kPollMs = 100;
constexpr float kSelectionTrigger = 0.3f;

// The wait for controllers ends early on a request to stop and when the runtime asks to quit.
bool interrupted(vr::IVRSystem* system) {
    return platform::shutdownRequested() || readRuntimeEvents(system);
}

std::optional<std::vector<uint32_t>> discover(vr::IVRSystem* system, int needed) {
    std::vector<uint32_t> found;
    for (;;) {
        for (uint32_t i = kFirstIndex; i <= kLastIndex; ++i) {
            if (system->IsTrackedDeviceConnected(i) &&
                system->GetTrackedDeviceClass(i) == vr::TrackedDeviceClass_Controller &&
                std::find(found.begin(), found.end(), i) == found.end()) {
                found.push_back(i);
            }
        }
        if (static_cast<int>(found.size()) >= needed)
            return found;
        if (interrupted(system))
            return std::nullopt;
        platform::sleepMs(kPollMs);
    }
}

// Walks the candidates in order until one reports its trigger pulled beyond the selection threshold.
std::optional<size_t> waitForTrigger(vr::IVRSystem* system, const std::vector<uint32_t>& candidates) {
    for (;;) {
        for (size_t k = 0; k < candidates.size(); ++k) {
            vr::VRControllerState_t scratch{};
            if (system->GetControllerState(candidates[k], &scratch) && scratch.rAxis[1].x > kSelectionTrigger)
                return k;
        }
        if (interrupted(system))
            return std::nullopt;
        platform::sleepMs(kPollMs);
    }
}

} // namespace

std::vector<TrackedController> selectControllers(vr::IVRSystem* system, int needed,
                                                 const std::vector<std::string>& labels) {
    platform::print("\n%d controller(s) needed..", needed);
    std::optional<std::vector<uint32_t>> discovered = discover(system, needed);
    std::vector<TrackedController> result;
    if (!discovered)
        return result;
    std::vector<uint32_t>& found = *discovered;
    if (found.size() == 1) {
        platform::print("\n\nOne controller found, using that.");
        result.push_back(makeTrackedController(system, found.front()));
        return result;
    }
    platform::print("\n\nMultiple controllers found.");
    for (int k = 0; k < needed && !found.empty(); ++k) {
        size_t chosen = 0;
        if (found.size() > 1) {
            platform::print("\nPress trigger to select %s controller", labels.at(k).c_str());
            const std::optional<size_t> pulled = waitForTrigger(system, found);
            if (!pulled)
                return {};
            chosen = *pulled;
        }
        result.push_back(makeTrackedController(system, found[chosen]));
        found.erase(found.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    for (uint32_t index : found)
        result.push_back(makeTrackedController(system, index));
    return result;
}

std::optional<TrackedController> startRuntimeAndSelectController(Program program, bool wait) {
    const VrStartup vr = wait ? startVrWhenRunning() : startVr();
    if (vr.error != vr::VRInitError_None) {
        // A request to stop that ended the waiting is no failure to report.
        const bool stopped_waiting = wait && transientInitError(vr.error);
        if (!stopped_waiting)
            reportVrStartupFailure(vr, program);
        return std::nullopt;
    }
    platform::print("SteamVR initialized!\n");
    std::vector<TrackedController> selected = selectControllers(vr.system, 1, {"primary"});
    if (selected.empty()) {
        endVrSession();
        return std::nullopt;
    }
    TrackedController& chosen = selected.front();
    chosen.model = readControllerModel(vr.system, chosen.device_index);
    if (const std::string line = describeController(chosen.model); !line.empty())
        platform::print("\n%s", line.c_str());
    return chosen;
}
