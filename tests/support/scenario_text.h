// Pieces of simulator scenarios that the runner's end-to-end tests share. Their screens are calibrated
// at 1024 pixels per metre in the plane z = 0, with desktop y growing downward from tracking y = 1.
#pragma once

#include "tests/support/xserver.h"

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

// A number as the scenario parser reads it back exactly.
inline std::string scenarioNumber(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// A step line: controller `device` held level, looking straight down -Z from (x, y, 0); its ray meets
// the screens' plane at (x, y).
inline std::string straightAt(double x, double y, int device = 1) {
    return "  " + std::to_string(device) + " pose matrix 1 0 0 " + scenarioNumber(x) + " 0 1 0 " +
           scenarioNumber(y) + " 0 0 1 0\n";
}

// Aims at the centre of a desktop pixel, so that the expected pixel does not hang on the last bit.
inline std::string atPixel(int px, int py, int device = 1) {
    return straightAt((px + 0.5) / 1024.0, 1.0 - (py + 0.5) / 1024.0, device);
}

inline const std::string kDevices = "device 0 hmd\ndevice 1 controller\n";

// Ends a scenario with a grip click: a middle click that tells the test every step before has run.
inline const std::string kMiddleClickMark =
    "step polls=3\n  1 buttons grip\nstep polls=3\n  1 buttons none\n";

using Events = std::vector<ButtonEvent>;
inline const ButtonEvent kLeftPress{1, true}, kLeftRelease{1, false}, kMiddlePress{2, true},
    kMiddleRelease{2, false}, kRightPress{3, true}, kRightRelease{3, false}, kWheelUpPress{4, true},
    kWheelUpRelease{4, false}, kWheelDownPress{5, true}, kWheelDownRelease{5, false};

} // namespace testsupport
