#include "vr/controller_selection.h"

#include "platform/platform.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t kFirstIndex = 1; // index 0 is the headset's
constexpr uint32_t kLastIndex = 15;
constexpr uint32_t kPollMs = 100;
constexpr float kSelectionTrigger = 0.3f;

std::vector<uint32_t> discover(vr::IVRSystem* system, int needed) {
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
        platform::sleepMs(kPollMs);
    }
}

// Walks the candidates in order until one reports its trigger pulled beyond the selection threshold.
size_t waitForTrigger(vr::IVRSystem* system, const std::vector<uint32_t>& candidates) {
    for (;;) {
        for (size_t k = 0; k < candidates.size(); ++k) {
            vr::VRControllerState_t scratch{};
            if (system->GetControllerState(candidates[k], &scratch) && scratch.rAxis[1].x > kSelectionTrigger)
                return k;
        }
        platform::sleepMs(kPollMs);
    }
}

} // namespace

std::vector<TrackedController> selectControllers(vr::IVRSystem* system, int needed,
                                                 const std::vector<std::string>& labels) {
    std::printf("\n%d controller(s) needed..", needed);
    std::vector<uint32_t> found = discover(system, needed);
    std::vector<TrackedController> result;
    if (found.size() == 1) {
        std::printf("\n\nOne controller found, using that.");
        result.push_back(makeTrackedController(system, found.front()));
        return result;
    }
    std::printf("\n\nMultiple controllers found.");
    for (int k = 0; k < needed && !found.empty(); ++k) {
        size_t chosen = 0;
        if (found.size() > 1) {
            std::printf("\nPress trigger to select %s controller", labels.at(k).c_str());
            chosen = waitForTrigger(system, found);
        }
        result.push_back(makeTrackedController(system, found[chosen]));
        found.erase(found.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    for (uint32_t index : found)
        result.push_back(makeTrackedController(system, index));
    return result;
}

std::optional<TrackedController> startRuntimeAndSelectController(Program program) {
    const VrStartup vr = startVr();
    if (vr.error != vr::VRInitError_None) {
        reportVrStartupFailure(vr.error, program);
        return std::nullopt;
    }
    std::printf("SteamVR initialized!\n");
    return selectControllers(vr.system, 1, {"primary"}).front();
}
