// A scripted user for wandsetup under the simulated VR runtime: poses given as exact single-precision
// matrices, application-button presses and the other things a user does with the controller, written as
// a scenario. Also what the configurator is expected to measure from those poses.
#pragma once

#include "setup/calibration.h"
#include "shared/geometry.h"
#include "tests/support/files.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace setuptest {

// A controller pose as the runtime serves it: 3 rows of rotation and translation, single precision.
struct Pose {
    float m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

// No rotation; the controller's origin at (x, y, z).
Pose translated(float x, float y, float z);
// Rotated so that the controller's forward axis (-Z) points from `tip` towards `target`, and placed so
// that its tip lies at `tip` (up to rounding).
Pose aimedFromTip(const Vec3& tip, const Vec3& target);

// What the configurator derives from a pose: the tip point (0, -0.077, -0.038) of the controller's frame
// and the forward axis, in single precision.
Vec3 tipOf(const Pose& pose);
Vec3 forwardOf(const Pose& pose);
// The corner the pointing calibration gives for the two poses of one corner.
Vec3 pointedCorner(const Pose& first, const Pose& second);

struct ScriptedController {
    // An HMD at index 0 and one connected controller at index 1.
    std::string text = "device 0 hmd\ndevice 1 controller\n";

    // A step seen by `polls` polls, with its device lines (each "  1 ...\n").
    void step(int polls, const std::string& changes);
    // Moves to the pose with no button down (one poll), then presses the application button (one poll).
    void press(const Pose& pose);
    void pressAll(const std::vector<Pose>& poses);
    // Releases everything; the last step holds for ever.
    void finish();
};

std::string poseLine(const Pose& pose);

// A run of wandsetup: what it printed and how it ended.
struct SetupRun {
    std::optional<int> status;
    std::string out;
    std::string err;
    std::string file; // "default.config" after the run, "" when there is none
};

// The transcript without the summary line after each calibration (the calibration quality tests' business).
std::string withoutSummaries(std::string out);

// Runs wandsetup in `dir` on the X display `display` ("" for none at all), played by `user`, with
// `answers` on standard input.
SetupRun runSetupOn(const std::string& display, const testsupport::TempDir& dir,
                    const ScriptedController& user, const std::string& answers);

// The texts of the dialogue.
std::string methodMenu(int index, int count, const std::string& ordinal, int width, int height);
std::string touchTranscript();
std::string pointingTranscript();
std::string doneLine(int index, int count);
std::string handednessQuestion();
std::string writtenLines();
std::string startLines(int monitors);

// Four touch poses: the tips at the given corners.
std::vector<Pose> touchPoses(const std::array<Vec3, 4>& corners);
std::array<Vec3, 4> touchedCorners(const std::vector<Pose>& poses);

// Eight pointing poses at the given corners: the first four from `first`, the others from `second`.
std::vector<Pose> pointingPoses(const std::array<Vec3, 4>& corners, const Vec3& first, const Vec3& second);
std::array<Vec3, 4> pointedCorners(const std::vector<Pose>& poses);

// The corners of a flat screen w by h metres, upper left at `upper_left`, facing +Z.
std::array<Vec3, 4> screenCorners(const Vec3& upper_left, float width, float height);

} // namespace setuptest
