// The two ways of measuring a monitor's four screen corners in tracking space: touching each corner with
// the controller's tip, or pointing at each corner from two positions.
#pragma once

#include "geometry/closest_approach.h"
#include "geometry/geometry.h"
#include "setup/corner_order.h"
#include "vr/controller_frame.h"

#include <array>
#include <optional>
#include <vector>

// Polls the controller every 100 ms until the application button's press edge arrives while the
// controller is tracked; returns the tip and the pointing direction of that poll. Nothing when the
// runtime asks to quit first (runtimeQuitting); so for the operations below.
std::optional<Ray> waitForApplicationButton(TrackedController& controller);

// Asks for the first `count` corners in corner order, one touch with the tip and press of the application
// button each, and returns the tip positions.
std::optional<std::vector<Vec3>> touchCorners(TrackedController& controller, int count);

// Replaces `corners` by the four tip positions the user touched, in corner order. Both methods return
// false, with `corners` unchanged, when the runtime asks to quit before the last sample.
bool calibrateByTouch(TrackedController& controller, std::vector<Vec3>& corners);

// Replaces `corners` by the four corners estimated from two pointing rays each, in corner order, and
// `aim_gaps` by how far apart each corner's two lines pass (metres). A corner whose two lines are too close
// to parallel is asked for again, both rays.
bool calibrateByPointing(TrackedController& controller, std::vector<Vec3>& corners,
                         std::array<float, 4>& aim_gaps);
