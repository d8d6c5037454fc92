// wandsetup's arithmetic and dialogue: the answers read at a prompt, the calibration's quality report,
// and re-anchoring by the rigid fit of three corners touched again.
#include "setup/calibration.h"
#include "setup/calibration_quality.h"
#include "setup/dialogue.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <sstream>

namespace {

TEST(Dialogue, AnswersAreTheIntegerAtEachTokensStartAndOrdinalsAreEnglish) {
    std::istringstream in("2x +2 2.7 -1 abc 99999999999 \n\n  1\t" + std::string(10000, '7') + " 3");
    std::vector<int> answers;
    while (const auto choice = readChoice(in))
        answers.push_back(*choice);
    EXPECT_EQ(answers, (std::vector<int>{2, 2, 2, -1, 0, 0, 1, 0, 3}));
    std::string ordinals;
    for (int i : {1, 2, 3, 4, 10, 11, 12, 13, 21, 22, 23, 101, 111, 112})
        ordinals += ordinalText(i) + " ";
    EXPECT_EQ(ordinals, "1st 2nd 3rd 4th 10th 11th 12th 13th 21st 22nd 23rd 101st 111th 112th ");
}

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
        {screen(0.6, 0.38), wide, "Warning: the measured aspect 1.58 is 11 % off the pixels' 1.78."},
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

// Turned by `degrees` about the unit `axis` (Rodrigues' formula), then shifted.
RigidMotion turning(double degrees, Vec3d k, Vec3d shift) {
    const double a = degrees * std::numbers::pi / 180, c = std::cos(a), s = std::sin(a);
    const double kv[3] = {k.x, k.y, k.z};
    const Matrix3 cross_k = {{{0, -k.z, k.y}, {k.z, 0, -k.x}, {-k.y, k.x, 0}}};
    RigidMotion m{{}, shift};
    for (int r = 0; r < 3; ++r)
        for (int j = 0; j < 3; ++j)
            m.rotation[r][j] = (r == j ? c : 0.0) + s * cross_k[r][j] + (1 - c) * kv[r] * kv[j];
    return m;
}

TEST(RigidFit, ExactMotionsComeBackAsRotationsAndPointsOnALineAreRefused) {
    const std::array<Vec3d, 3> triangles[] = {
        {{{-0.5, 1.25, -0.75}, {-0.5, 0.91, -0.75}, {0.1, 0.91, -0.75}}}, // a monitor's three corners
        {{{3, -2, 7}, {3.4, -2.2, 7.1}, {2.9, -1.5, 6.6}}},
        {{{0, 1, 0}, {1, 1, 0}, {2, 1.002, 0.001}}}, // 2 mm off a line of 2 m
    };
    const RigidMotion motions[] = {turning(30, {0, 1, 0}, {0.24, 0, -0.32}),
                                   turning(179, {0.6, 0, 0.8}, {1, 2, 3}), turning(90, {0, 0, -1}, {}),
                                   turning(0, {1, 0, 0}, {0, 0, 0})};
    for (const auto& from : triangles) {
        for (const RigidMotion& motion : motions) {
            const std::optional<RigidMotion> fit = fitRigidMotion(
                from, {apply(motion, from[0]), apply(motion, from[1]), apply(motion, from[2])});
            ASSERT_TRUE(fit);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(fit->rotation[r][c], motion.rotation[r][c], 1e-9) << r << c;
            EXPECT_NEAR(length(fit->translation - motion.translation), 0, 1e-9);
        }
    }
    const std::array<Vec3d, 3> line = {{{0, 1, 0}, {1, 1, 0}, {2, 1.0001, 0.0001}}}, good = triangles[0];
    EXPECT_FALSE(fitRigidMotion(line, good));
    EXPECT_FALSE(fitRigidMotion(good, line));
    EXPECT_FALSE(fitRigidMotion(good, {good[0], good[0], good[1]}));
}

TEST(Reanchoring, ThreeCornersTouchedAgainWarnByTheFiguresShown) {
    const std::array<Vec3, 4> stored = {Vec3{-0.3f, 1.3f, -0.7f}, Vec3{-0.3f, 0.96f, -0.7f},
                                        Vec3{0.3f, 0.96f, -0.7f}, Vec3{0.3f, 1.3f, -0.7f}};
    auto judged = [&](int corner, Vec3 off) {
        std::array<Vec3, 3> touched = {stored[0], stored[1], stored[2]};
        touched[corner] = touched[corner] + off;
        return warningLines(*measureReanchoring(stored, touched));
    };
    const std::string why = " (a corner missed, or the monitor moved).";
    using Lines = std::vector<std::string>;
    EXPECT_EQ(judged(1, {0.0194f, 0, 0}), Lines{});
    EXPECT_EQ(
        judged(1, {0.0196f, 0, 0}),
        Lines{"Warning: the LOWER LEFT and LOWER RIGHT corners lie 20 mm closer together than stored" + why});
    const std::string apart =
        "Warning: the UPPER LEFT and LOWER RIGHT corners lie 28 mm further apart than stored" + why;
    EXPECT_EQ(judged(0, {-0.0206f, 0.0206f, 0}), Lines{apart}); // the worst corner 19.4 mm off
    EXPECT_EQ(judged(0, {-0.0208f, 0.0208f, 0}),
              (Lines{"Warning: a touched corner lies 20 mm off the stored corners moved" + why, apart}));
}

} // namespace
