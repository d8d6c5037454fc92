// Pieces of simulator scenarios, and readers of its call log, that the runner's end-to-end tests and
// benchmarks share. Their screens are calibrated at 1024 pixels per metre in the plane z = 0, with desktop
// y growing downward from tracking y = 1.
#pragma once

#include "tests/support/xserver.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
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

// In the simulated runtime's call log (WAND_SIM_LOG): the microsecond time stamp of the "step N" line,
// or -1.
inline int64_t stepStartUs(const std::string& log, int step) {
    std::istringstream in(log);
    std::string line;
    const std::string tail = " step " + std::to_string(step);
    while (std::getline(in, line))
        if (line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
            return std::stoll(line);
    return -1;
}

// The microsecond time stamps of the log's GetControllerState calls: one per frame of the runner.
inline std::vector<int64_t> pollTimesUs(const std::string& log) {
    std::vector<int64_t> times;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line))
        if (line.find(" GetControllerState ") != std::string::npos)
            times.push_back(std::stoll(line));
    return times;
}

} // namespace testsupport
