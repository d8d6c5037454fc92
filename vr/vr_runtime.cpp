#include "vr/vr_runtime.h"

#include "os/os.h"
#include "vr/vr_library.h"

namespace {

// The cache of interface pointers, valid for the init token it was filled under.
uint32_t cached_token = 0;
vr::IVRSystem* cached_system = nullptr;
bool quit_requested = false;

} // namespace

vr::IVRSystem* vrSystem() {
    const uint32_t token = vrLibrary().get_init_token();
    if (token != cached_token) {
        cached_system = nullptr;
        cached_token = token;
    }
    if (!cached_system) {
        vr::EVRInitError ignored = vr::VRInitError_None;
        cached_system =
            static_cast<vr::IVRSystem*>(vrLibrary().get_generic_interface(vr::IVRSystem_Version, &ignored));
    }
    return cached_system;
}

VrStartup startVr() {
    VrStartup result;
    result.library_failure = loadVrLibrary();
    if (!result.library_failure.empty()) {
        result.error = vr::VRInitError_Init_InstallationNotFound;
        return result;
    }
    const VrLibrary& library = vrLibrary();
    quit_requested = false;
    cached_token = library.init_internal(&result.error, vr::VRApplication_Background);
    cached_system = nullptr;
    if (result.error != vr::VRInitError_None)
        return result;
    if (!library.is_interface_version_valid(vr::IVRSystem_Version)) {
        library.shutdown_internal();
        result.error = vr::VRInitError_Init_InterfaceNotFound;
        return result;
    }
    result.system = vrSystem();
    if (!result.system) {
        // A runtime that accepts the version but serves no interface cannot be used at all.
        library.shutdown_internal();
        result.error = vr::VRInitError_Init_InterfaceNotFound;
    }
    return result;
}

bool transientInitError(vr::EVRInitError error) {
    switch (error) {
    case vr::VRInitError_Init_HmdNotFound:
    case vr::VRInitError_Init_Retry:
    case vr::VRInitError_Init_ShuttingDown:
    case vr::VRInitError_Init_NoServerForBackgroundApp:
    case vr::VRInitError_Init_HmdNotFoundPresenceFailed:
        return true;
    default:
        return error >= vr::VRInitError_IPC_ServerInitFailed && error < 400;
    }
}

VrStartup startVrWhenRunning() {
    bool said = false;
    for (;;) {
        VrStartup startup = startVr();
        if (!transientInitError(startup.error))
            return startup;
        vrLibrary().shutdown_internal();
        if (!said) {
            platform::print("Waiting for SteamVR...\n");
            said = true;
        }
        if (platform::shutdownRequested())
            return startup;
        platform::sleepMs(kRuntimeRetryMs);
        if (platform::shutdownRequested())
            return startup;
    }
}

bool readRuntimeEvents(vr::IVRSystem* system) {
    vr::VREvent_t event{};
    while (system && system->PollNextEvent(&event, sizeof event)) {
        if (event.eventType == vr::VREvent_Quit)
            quit_requested = true;
    }
    return quit_requested;
}

bool runtimeQuitting() {
    return quit_requested;
}

void endVrSession() {
    if (quit_requested) {
        if (vr::IVRSystem* system = vrSystem())
            system->AcknowledgeQuit_Exiting();
        platform::print("\nSteamVR is quitting\n");
    }
    vrLibrary().shutdown_internal();
}

vr::IVRApplications* vrApplications(vr::EVRInitError& error) {
    error = vr::VRInitError_None;
    return static_cast<vr::IVRApplications*>(
        vrLibrary().get_generic_interface(vr::IVRApplications_Version, &error));
}

void reportVrStartupFailure(const VrStartup& startup, Program program) {
    if (!startup.library_failure.empty()) {
        platform::printError("%s", startup.library_failure.c_str());
        platform::pauseConsole();
        return;
    }
    if (startup.error == vr::VRInitError_Init_NoServerForBackgroundApp) {
        platform::print("%s", program == Program::pointer
                                  ? "HMD not found! Please start SteamVR before running program.\n\n"
                                  : "HMD not found! Please start SteamVR before running config.\n\n");
    } else {
        platform::print("SteamVR init error: %s \n\n",
                        vrLibrary().get_init_error_as_english_description(startup.error));
    }
    platform::pauseConsole();
    vrLibrary().shutdown_internal();
}
