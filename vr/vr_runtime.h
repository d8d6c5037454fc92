// Start-up of the VR runtime as a background application and the process-wide access to its
// "IVRSystem_012" interface.
#pragma once

#include "vr/openvr_abi.h"

struct VrStartup {
    vr::IVRSystem* system = nullptr;
    vr::EVRInitError error = vr::VRInitError_None;
};

// VR_InitInternal as a background application, then the interface; error 105 when the runtime lacks it.
VrStartup startVr();

// The interface, re-fetched whenever the runtime's init token has changed since it was cached.
vr::IVRSystem* vrSystem();

enum class Program { pointer, setup };

// Prints the start-up failure message for `error`, runs "pause" and shuts the runtime down. The caller
// then exits with status 1.
void reportVrStartupFailure(vr::EVRInitError error, Program program);
