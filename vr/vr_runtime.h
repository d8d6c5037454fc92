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

// Whether SteamVR may yet start as it is installed: it does not run (121), it is starting or restarting (its
// server refused or dropped the connection: 300 to 399; 115 asks to try again), it is quitting (119), or it
// has not found the headset yet (108, 126). The others say that the installation, the client library or
// the runtime's interfaces are wrong, or are errors this program does not know: waiting mends none of them.
bool transientInitError(vr::EVRInitError error);

// startVr, tried again every kRuntimeRetryMs for as long as the error is transient, after one line
// "Waiting for SteamVR...". A request to stop ends the waiting at once, with the last transient error.
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
