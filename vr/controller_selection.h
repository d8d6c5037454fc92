// Discovery of the connected controllers and selection of the needed ones by a trigger pull.
#pragma once

#include "vr/controller_frame.h"
#include "vr/vr_runtime.h"

#include <optional>
#include <string>
#include <vector>

// Blocks until enough controllers are connected and the user has picked one per label (when there is a
// choice). Returns the picked controllers in label order, then the others in discovery order; nothing when
// a request to stop came first or the runtime asked to quit (runtimeQuitting).
std::vector<TrackedController> selectControllers(vr::IVRSystem* system, int needed,
                                                 const std::vector<std::string>& labels);

// Both programs' start-up: the runtime as a background application ("SteamVR initialized!"), then the
// one controller the user picks, labelled "primary", with its model read (and named on a line of its own
// when it is not the reference controller). With `wait`, a runtime that is not running is waited
// for (startVrWhenRunning). Without a controller: after a failed start the failure has been reported
// (message, "pause", shutdown) and the program ends with status 1; otherwise a request to stop came
// (platform::shutdownRequested) or the runtime asked to quit (runtimeQuitting), and the session has been
// ended (endVrSession).
std::optional<TrackedController> startRuntimeAndSelectController(Program program, bool wait = false);
