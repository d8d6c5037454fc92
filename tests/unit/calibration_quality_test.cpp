#include "setup/calibration_quality.h"

#include <gtest/gtest.h>

namespace {

// A screen w x h metres in a tilted plane, corners in stored order, each moved by (right, up, out) metres.
std::array<Vec3, 4> screen(double w, double h, std::array<Vec3, 4> moved = {}) {
    const double right[3] = {0.8, 0, -0.6}, up[3] = {0.36, 0.8, 0.48}, out[3] = {0.48, -0.6, 0.64};
    std::array<Vec3, 4> corners;
    for (int c = 0; c < 4; ++c) {
        const double x = (c < 2 ? -w : w) / 2 + moved[c].x, y = (c % 3 ? -h : h) / 2 + moved[c].y;
        const auto at = [&](int k) { return float(x * right[k] + y * up[k] + moved[c].z * out[k]); };
        corners[c] = Vec3{at(0) - 0.2f, at(1) + 1.3f, at(2) - 0.7f};
    }
    return corners;
}

std::string report(const std::array<Vec3, 4>& corners, const MonitorInfo& monitor,
                   std::optional<std::array<float, 4>> aim_gaps = {}) {
    const CalibrationQuality quality = measureCalibration(corners, monitor, aim_gaps);
    std::string text = summaryLine(quality) + "\n";
    for (const std::string& warning : warningLines(quality))
        text += warning + "\n";
    return text;
}

TEST(CalibrationQuality, SummaryAndWarningsGoByTheFiguresShown) {
    const MonitorInfo wide{0, 0, 1920, 1080}, square{0, 0, 1000, 1000};
    // Each corner 3 mm off, the worst way for the rectangle of the other three (12 mm): still no warning.
    const Vec3 careful{0.0017f, -0.0017f, 0.0017f}, back{-careful.x, -careful.y, -careful.z};
    EXPECT_EQ(
        report(screen(0.597, 0.336, {careful, back, careful, back}), wide, {{0.002f, 0.01949f, 0, 0.01f}}),
        "Measured 597 x 336 mm (27.0 in), aspect 1.78 (pixels 1.78), corners within 3 mm of a rectangle, "
        "the two aims at each corner within 19 mm\n");
    // A figure shown as 20 mm warns, one shown as 19 mm does not; the same for the aspect's 10 % and 50 mm
    // sides.
    EXPECT_EQ(
        report(screen(0.48, 0.27, {{{}, {}, {0.0196f, 0, 0}}}), wide, {{0, 0.065f, 0, 0.01951f}}),
        "Measured 490 x 270 mm (22.0 in), aspect 1.81 (pixels 1.78), corners within 9 mm of a rectangle, "
        "the two aims at each corner within 65 mm\n"
        "Warning: the LOWER RIGHT corner lies 20 mm off the rectangle of the other three.\n"
        "Warning: the two aims at the LOWER LEFT corner pass 65 mm apart.\n"
        "Warning: the two aims at the UPPER RIGHT corner pass 20 mm apart.\n");
    const std::tuple<std::array<Vec3, 4>, MonitorInfo, const char*> quiet_or_warned[] = {
        {screen(0.48, 0.27, {{{}, {}, {0.0194f, 0, 0}}}), wide, ""},
        {screen(0.6, 0.3067), wide, ""},
        {screen(0.6, 0.3047), wide, "Warning: the measured aspect 1.97 is 11 % off the pixels' 1.78."},
        {screen(0.0496, 0.0496), square, ""},
        {screen(0.0494, 0.0496), square,
         "Warning: the corners lie only 49 x 50 mm apart, too close for a monitor."}};
    for (const auto& [corners, monitor, warning] : quiet_or_warned) {
        const std::vector<std::string> warnings = warningLines(measureCalibration(corners, monitor, {}));
        EXPECT_EQ(warnings, *warning ? std::vector<std::string>{warning} : std::vector<std::string>{});
    }
}

TEST(CalibrationQuality, NamesWhicheverCornerIsOffTheOtherThree) {
    // Out along an edge, across it, and along the diagonal onto the bezel, a little in front of the screen.
    for (const Vec3 offset : {Vec3{0.03f, 0, 0}, Vec3{0, 0.03f, 0}, Vec3{0.021f, 0.0205f, 0.004f}}) {
        for (int c = 0; c < 4; ++c) {
            std::array<Vec3, 4> moved{};
            moved[c] = Vec3{c < 2 ? -offset.x : offset.x, c % 3 ? -offset.y : offset.y, offset.z};
            EXPECT_EQ(warningLines(measureCalibration(screen(0.5, 0.3, moved), {0, 0, 1600, 960}, {})).at(0),
                      "Warning: the " + std::string(kCornerNames[c]) +
                          " corner lies 30 mm off the rectangle of the other three.");
        }
    }
}

} // namespace
