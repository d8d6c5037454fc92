// Discovery of the connected controllers and selection of the needed ones by a trigger pull.
#pragma once

#include "vr/tracked_controller.h"

#include <string>
#include <vector>

// Blocks until enough controllers are connected and the user has picked one per label (when there is a
// choice). Returns the picked controllers in label order, then the others in discovery order.
std::vector<TrackedController> selectControllers(vr::IVRSystem* system, int needed,
                                                 const std::vector<std::string>& labels);
