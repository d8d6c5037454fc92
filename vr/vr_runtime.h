// Start-up of the VR runtime as a background application, the process-wide access to its "IVRSystem_012"
// interface, its request to quit, and "IVRApplications_007".
#pragma once

#include "vr/openvr_abi.h"

#include <string>

struct VrStartup {
    vr::IVRSystem* system = nullptr;
    vr::EVRInitError error = vr::VRInitError_None;
    // Set when the client library itself could not be loaded (error is then 100): the message for the user.
    std::string library_failure;
};

// Loads the client library when needed, then VR_InitInternal as a background application, then the
// interface; error 105 when the runtime lacks it.
VrStartup startVr();

// How often startVrWhenRunning tries again.
inline constexpr uint32_t kRuntimeRetryMs = 2000;

// startVr, tried again every kRuntimeRetryMs for as long as the runtime is not running (error 121), after
// one line "Waiting for SteamVR...". A request to stop ends the waiting at once, with error 121.
VrStartup startVrWhenRunning();

// The interface, re-fetched whenever the runtime's init token has changed since it was cached.
vr::IVRSystem* vrSystem();

// Reads every event the runtime has queued on `system` (PollNextEvent) and returns runtimeQuitting().
bool readRuntimeEvents(vr::IVRSystem* system);
// Whether the runtime has asked applications to quit (VREvent_Quit) since the last start-up.
bool runtimeQuitting();

// Ends the program's side of the connection: when the runtime asked to quit, first acknowledges it
// (AcknowledgeQuit_Exiting) and prints "SteamVR is quitting"; then VR_ShutdownInternal.
void endVrSession();

// "IVRApplications_007" of the runtime started; null with the runtime's error when it has none.
vr::IVRApplications* vrApplications(vr::EVRInitError& error);

enum class Program { pointer, setup };

// Prints the start-up failure message, runs "pause" and shuts the runtime down (when the library was
// loaded). The caller then exits with status 1.
void reportVrStartupFailure(const VrStartup& startup, Program program);
