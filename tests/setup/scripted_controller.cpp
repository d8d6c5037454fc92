#include "tests/setup/scripted_controller.h"
#include "tests/support/process.h"

#include <cmath>
#include <cstdio>

namespace setuptest {

Pose translated(float x, float y, float z) {
    Pose pose;
    pose.m[0][3] = x;
    pose.m[1][3] = y;
    pose.m[2][3] = z;
    return pose;
}

Pose aimedFromTip(const Vec3& tip, const Vec3& target) {
    double f[3] = {double(target.x) - tip.x, double(target.y) - tip.y, double(target.z) - tip.z};
    const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    const double z[3] = {-f[0] / fl, -f[1] / fl, -f[2] / fl};
    // x = up × z with up = (0, 1, 0); the targets are never straight above or below.
    double x[3] = {z[2], 0.0, -z[0]};
    const double xl = std::sqrt(x[0] * x[0] + x[2] * x[2]);
    x[0] /= xl;
    x[2] /= xl;
    const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    const double t[3] = {tip.x + 0.077 * y[0] + 0.038 * z[0], tip.y + 0.077 * y[1] + 0.038 * z[1],
                         tip.z + 0.077 * y[2] + 0.038 * z[2]};
    Pose pose;
    for (int i = 0; i < 3; ++i) {
        pose.m[i][0] = float(x[i]);
        pose.m[i][1] = float(y[i]);
        pose.m[i][2] = float(z[i]);
        pose.m[i][3] = float(t[i]);
    }
    return pose;
}

Vec3 tipOf(const Pose& pose) {
    float tip[3];
    for (int i = 0; i < 3; ++i) {
        const float* r = pose.m[i];
        tip[i] = ((r[0] * 0.0f - r[1] * 0.077f) - r[2] * 0.038f) + r[3];
    }
    return Vec3{tip[0], tip[1], tip[2]};
}

Vec3 forwardOf(const Pose& pose) {
    return Vec3{-pose.m[0][2], -pose.m[1][2], -pose.m[2][2]};
}

Vec3 pointedCorner(const Pose& first, const Pose& second) {
    const Ray a{tipOf(first), normalizedDirection(forwardOf(first))};
    const Ray b{tipOf(second), normalizedDirection(forwardOf(second))};
    return closestApproachMidpoint(a, b);
}

std::string poseLine(const Pose& pose) {
    std::string line = "  1 pose matrix";
    char number[32];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            std::snprintf(number, sizeof number, " %.9g", double(pose.m[i][j]));
            line += number;
        }
    return line + "\n";
}

std::string withoutSummaries(std::string out) {
    for (size_t at; (at = out.find("\nMeasured ")) != std::string::npos;)
        out.erase(at + 1, out.find('\n', at + 1) - at);
    return out;
}

SetupRun runSetupOn(const std::string& display, const testsupport::TempDir& dir,
                    const ScriptedController& user, const std::string& answers) {
    using namespace testsupport;
    writeFile(dir.file("user.scenario"), user.text);
    ProcessOptions options;
    options.working_dir = dir.path().string();
    options.env = {{"WAND_SIM_SCENARIO", dir.file("user.scenario")}};
    if (display.empty())
        options.unset_env = {"DISPLAY"};
    else
        options.env.push_back({"DISPLAY", display});
    options.stdin_text = answers;
    RunResult result = runProcess({binPath("wandsetup")}, options, Timeout(60000));
    SetupRun run{result.status, withoutSummaries(result.out), result.err, ""};
    if (std::filesystem::is_regular_file(dir.path() / "default.config"))
        run.file = readFile(dir.path() / "default.config");
    return run;
}

void ScriptedController::step(int polls, const std::string& changes) {
    text += "step polls=" + std::to_string(polls) + "\n" + changes;
}

void ScriptedController::press(const Pose& pose) {
    step(1, poseLine(pose) + "  1 buttons none\n");
    step(1, "  1 buttons menu\n");
}

void ScriptedController::pressAll(const std::vector<Pose>& poses) {
    for (const Pose& pose : poses)
        press(pose);
}

void ScriptedController::finish() {
    step(1, "  1 buttons none\n");
}

std::string methodMenu(int index, int count, const std::string& ordinal, int width, int height) {
    return "\n\nCalibrating monitor " + std::to_string(index + 1) + "/" + std::to_string(count) + " (" +
           ordinal + " from left)\nMonitor resolution: " + std::to_string(width) + "x" +
           std::to_string(height) +
           "\n\nSelect a calibration method:\n1: Calibrate by touch\n2: Calibrate by pointing\n";
}

namespace {

const char* const kCorners[4] = {"UPPER LEFT", "LOWER LEFT", "LOWER RIGHT", "UPPER RIGHT"};

std::string cornerPrompt(int corner) {
    return std::string("the ") + kCorners[corner] + " corner of the screen and press the application button";
}

} // namespace

std::string touchTranscript() {
    std::string text = "\n\nCALIBRATION BY TOUCH\n\nWith the tip of the controller touch:\n";
    for (int corner = 0; corner < 4; ++corner)
        text += cornerPrompt(corner) + " - OK\n";
    return text;
}

std::string pointingTranscript() {
    const std::string instruction =
        "By aligning the application and system buttons, point the controller to:\n";
    std::string text = "\n\nCALIBRATION BY POINTING\nUses two sets of intersecting lines to estimate display "
                       "corners\n\n" +
                       instruction;
    for (int k = 0; k < 8; ++k) {
        if (k == 4)
            text += "\nNow move to a new position and repeat!\n" + instruction;
        text += cornerPrompt(k % 4) + " - OK\n";
    }
    return text;
}

std::string doneLine(int index, int count) {
    return "\nCalibration for monitor " + std::to_string(index + 1) + "/" + std::to_string(count) +
           " done!\n";
}

std::string handednessQuestion() {
    return "\nAre you:\n1: Right-handed\n2: Left-handed\n";
}

std::string writtenLines() {
    return "\nConfiguration file 'default.config' written\nYou can start the main program now\n\n";
}

std::string startLines(int monitors) {
    return "SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that.\n" +
           std::to_string(monitors) + " monitors found.";
}

std::vector<Pose> touchPoses(const std::array<Vec3, 4>& corners) {
    std::vector<Pose> poses;
    for (const Vec3& corner : corners)
        poses.push_back(translated(corner.x, corner.y + 0.077f, corner.z + 0.038f));
    return poses;
}

std::array<Vec3, 4> touchedCorners(const std::vector<Pose>& poses) {
    return {tipOf(poses[0]), tipOf(poses[1]), tipOf(poses[2]), tipOf(poses[3])};
}

std::vector<Pose> pointingPoses(const std::array<Vec3, 4>& corners, const Vec3& first, const Vec3& second) {
    std::vector<Pose> poses;
    for (const Vec3& corner : corners)
        poses.push_back(aimedFromTip(first, corner));
    for (const Vec3& corner : corners)
        poses.push_back(aimedFromTip(second, corner));
    return poses;
}

std::array<Vec3, 4> pointedCorners(const std::vector<Pose>& poses) {
    std::array<Vec3, 4> corners;
    for (int c = 0; c < 4; ++c)
        corners[c] = pointedCorner(poses[c], poses[c + 4]);
    return corners;
}

std::array<Vec3, 4> screenCorners(const Vec3& upper_left, float width, float height) {
    const Vec3& ul = upper_left;
    return {ul, Vec3{ul.x, ul.y - height, ul.z}, Vec3{ul.x + width, ul.y - height, ul.z},
            Vec3{ul.x + width, ul.y, ul.z}};
}

} // namespace setuptest
