#include "vr/vr_runtime.h"

#include "platform/platform.h"

#include <cstdio>

namespace {

// The cache of interface pointers, valid for the init token it was filled under.
uint32_t cached_token = 0;
vr::IVRSystem* cached_system = nullptr;

} // namespace

vr::IVRSystem* vrSystem() {
    const uint32_t token = VR_GetInitToken();
    if (token != cached_token) {
        cached_system = nullptr;
        cached_token = token;
    }
    if (!cached_system) {
        vr::EVRInitError ignored = vr::VRInitError_None;
        cached_system = static_cast<vr::IVRSystem*>(VR_GetGenericInterface(vr::IVRSystem_Version, &ignored));
    }
    return cached_system;
}

VrStartup startVr() {
    VrStartup result;
    cached_token = VR_InitInternal(&result.error, vr::VRApplication_Background);
    cached_system = nullptr;
    if (result.error != vr::VRInitError_None)
        return result;
    if (!VR_IsInterfaceVersionValid(vr::IVRSystem_Version)) {
        VR_ShutdownInternal();
        result.error = vr::VRInitError_Init_InterfaceNotFound;
        return result;
    }
    result.system = vrSystem();
    if (!result.system) {
        // A runtime that accepts the version but serves no interface cannot be used at all.
        VR_ShutdownInternal();
        result.error = vr::VRInitError_Init_InterfaceNotFound;
    }
    return result;
}

void reportVrStartupFailure(vr::EVRInitError error, Program program) {
    if (error == vr::VRInitError_Init_NoServerForBackgroundApp) {
        std::printf(program == Program::pointer
                        ? "HMD not found! Please start SteamVR before running program.\n\n"
                        : "HMD not found! Please start SteamVR before running config.\n\n");
    } else {
        std::printf("SteamVR init error: %s \n\n", VR_GetVRInitErrorAsEnglishDescription(error));
    }
    std::fflush(stdout);
    platform::pauseConsole();
    VR_ShutdownInternal();
}
