// wandsetup as a user runs it: a virtual X display with RandR monitors, the simulated VR runtime played by
// a scripted controller, answers on standard input; checked are the console transcript, the exit status
// and the bytes of "default.config".
#include "config/config_file.h"
#include "tests/setup/scripted_controller.h"
#include "tests/support/files.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace setuptest;
using namespace testsupport;

SetupRun runSetup(const XServer& x, const TempDir& dir, const ScriptedController& user,
                  const std::string& answers) {
    return runSetupOn(x.display(), dir, user, answers);
}

CalibratedMonitor calibrated(const MonitorInfo& rect, const std::array<Vec3, 4>& corners) {
    return CalibratedMonitor{rect, corners};
}

// One 1920x1080 monitor: its layout, hash, and the transcript of calibrating it by `method`.
const std::vector<TestMonitor> kOneMonitor = {{0, 0, 1920, 1080, true}};
const char* const kOneHash = "192010800192010800";
std::string oneMonitorTranscript(const std::string& method) {
    return startLines(1) + methodMenu(0, 1, "1st", 1920, 1080) + method + doneLine(0, 1) +
           handednessQuestion() + writtenLines();
}

// Two monitors: a 1280x1024 one at the left and a 1920x1080 one to its right, top-aligned.
const std::vector<TestMonitor> kTwoMonitors = {{0, 0, 1280, 1024, false}, {1280, 0, 1920, 1080, true}};
const std::array<Vec3, 4> kLeftScreen = screenCorners({-0.9f, 1.3f, -0.6f}, 0.34f, 0.27f);
const std::array<Vec3, 4> kRightScreen = screenCorners({-0.5f, 1.35f, -0.75f}, 0.51f, 0.29f);

TEST(SetupTranscript, TouchOnOneMonitorAndPointingOnTheOther) {
    XServer x(kTwoMonitors);
    TempDir dir;
    ScriptedController user;
    const std::vector<Pose> touched = touchPoses(kLeftScreen);
    const std::vector<Pose> pointed = pointingPoses(kRightScreen, {-0.3f, 1.2f, 0.2f}, {0.25f, 1.1f, 0.1f});
    user.pressAll(touched);
    user.pressAll(pointed);
    user.finish();

    // Invalid answers repeat the first menu; "1 2x" answers both menus; the blank line is skipped.
    const SetupRun run = runSetup(x, dir, user, "abc\n0\n3\nx1\n-1\n1 2x\n\n2\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    std::string expected = startLines(2);
    for (int i = 0; i < 6; ++i)
        expected += methodMenu(0, 2, "1st", 1280, 1024);
    expected += touchTranscript() + doneLine(0, 2);
    expected += methodMenu(1, 2, "2nd", 1920, 1080) + pointingTranscript() + doneLine(1, 2);
    expected += handednessQuestion() + writtenLines();
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");

    const std::string hash = "32001080"
                             "0128010240"
                             "1280320010800";
    EXPECT_EQ(run.file, configText({calibrated({0, 0, 1280, 1024}, touchedCorners(touched)),
                                    calibrated({1280, 0, 3200, 1080}, pointedCorners(pointed))},
                                   hash, 2));
}

TEST(SetupTranscript, OneMonitorTouchedWritesTheWholeFile) {
    XServer x(kOneMonitor);
    TempDir dir;
    writeFile(dir.file("default.config"), "an older calibration");
    ScriptedController user;
    // The tips land on (0.5, 1, -1) and so on; the pose holds the controller's origin.
    user.pressAll({translated(0.5f, 1.077f, -0.962f), translated(0.5f, 0.577f, -0.962f),
                   translated(1.375f, 0.577f, -0.962f), translated(1.375f, 1.077f, -0.962f)});
    user.finish();

    const SetupRun run = runSetup(x, dir, user, "1\n1\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, oneMonitorTranscript(touchTranscript()));

    // The tips as single-precision sums: 1.077f - 0.077f is 1, 0.577f - 0.077f is 0.5, -0.962f - 0.038f is
    // -1. The file's text itself is checked byte for byte with the configuration file's tests.
    EXPECT_EQ(run.file, configText({calibrated({0, 0, 1920, 1080}, {Vec3{0.5f, 1.0f, -1.0f},
                                                                    {0.5f, 0.5f, -1.0f},
                                                                    {1.375f, 0.5f, -1.0f},
                                                                    {1.375f, 1.0f, -1.0f}})},
                                   kOneHash, 1));
}

TEST(SetupLayouts, ThreeMonitorsFromLeftToRight) {
    // Reported in the order middle, right, left; the leftmost is not at the root's origin row.
    XServer x({{1280, 0, 1920, 1080, true}, {3200, 60, 1024, 768, false}, {0, 100, 1280, 800, false}});
    TempDir dir;
    const std::array<Vec3, 4> left = screenCorners({-1.0f, 1.2f, -0.5f}, 0.3f, 0.19f);
    const std::array<Vec3, 4> middle = screenCorners({-0.6f, 1.35f, -0.7f}, 0.5f, 0.28f);
    const std::array<Vec3, 4> right = screenCorners({0.0f, 1.3f, -0.6f}, 0.3f, 0.22f);
    ScriptedController user;
    const std::vector<Pose> first = pointingPoses(left, {-0.5f, 1.2f, 0.3f}, {0.1f, 1.25f, 0.2f});
    const std::vector<Pose> second = touchPoses(middle);
    const std::vector<Pose> third = pointingPoses(right, {0.0f, 1.1f, 0.3f}, {-0.4f, 1.3f, 0.25f});
    user.pressAll(first);
    user.pressAll(second);
    user.pressAll(third);
    user.finish();

    const SetupRun run = runSetup(x, dir, user, "+2 1\n2.7\n1\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, startLines(3) + methodMenu(0, 3, "1st", 1280, 800) + pointingTranscript() +
                           doneLine(0, 3) + methodMenu(1, 3, "2nd", 1920, 1080) + touchTranscript() +
                           doneLine(1, 3) + methodMenu(2, 3, "3rd", 1024, 768) + pointingTranscript() +
                           doneLine(2, 3) + handednessQuestion() + writtenLines());
    EXPECT_EQ(run.file, configText({calibrated({0, 100, 1280, 900}, pointedCorners(first)),
                                    calibrated({1280, 0, 3200, 1080}, touchedCorners(second)),
                                    calibrated({3200, 60, 4224, 828}, pointedCorners(third))},
                                   "42241080"
                                   "012809001001280320010800"
                                   "3200422482860",
                                   1));
}

TEST(SetupLayouts, NoMonitorsAsksOnlyForTheHandedness) {
    // Without a desktop to ask, there are no monitors: nothing to calibrate and no "display" member.
    TempDir dir;
    ScriptedController user;
    user.finish();
    const SetupRun run = runSetupOn("", dir, user, "0\n1\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, startLines(0) + handednessQuestion() + handednessQuestion() + writtenLines());
    EXPECT_EQ(run.file, configText({}, "00", 1));
    EXPECT_EQ(run.file.find("\"display\""), std::string::npos);
}

TEST(SetupStartup, NoRuntimeEndsWithStatusOneAndLeavesTheFile) {
    XServer x(kOneMonitor);
    const std::vector<std::pair<int, std::string>> cases = {
        {121, "HMD not found! Please start SteamVR before running config.\n\n"},
        {108, "SteamVR init error: Hmd Not Found (108) \n\n"}};
    for (const auto& [error, message] : cases) {
        SCOPED_TRACE(error);
        TempDir dir;
        writeFile(dir.file("default.config"), "an older calibration");
        ScriptedController user;
        user.text = "init-error " + std::to_string(error) + "\n" + user.text;
        const SetupRun run = runSetup(x, dir, user, "1 1\n");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, message);
        EXPECT_EQ(run.file, "an older calibration");
    }
}

// What the user does between the presses that count, at the corners after the first.
struct SamplingCase {
    const char* name;
    std::string between[3]; // scenario steps
};

TEST(SetupSampling, OnlyAFreshApplicationButtonPressWhileTrackedTakesASample) {
    const std::string decoy = poseLine(translated(3.0f, 3.0f, 3.0f));
    const std::string held = "step polls=3\n  1 buttons menu\n";
    const std::vector<SamplingCase> cases = {
        {"pose invalid while pressed",
         {"step polls=1\n  1 buttons none\nstep polls=2\n" + decoy +
          "  1 valid no\n  1 buttons menu\n"
          // Tracking returns while the button is still held: no new edge, no sample.
          "step polls=2\n  1 valid yes\n"}},
        // A disconnected controller reports no state at all, so the press is gone by the time it returns.
        {"controller reported disconnected while pressed",
         {"step polls=1\n  1 buttons none\nstep polls=2\n" + decoy +
          "  1 connected no\n  1 buttons menu\n"
          "step polls=2\n  1 buttons none\nstep polls=2\n  1 connected yes\n"}},
        {"other buttons and the trigger",
         {"step polls=1\n  1 buttons none\nstep polls=2\n" + decoy +
          "  1 buttons grip\nstep polls=2\n  1 buttons none\n"
          "step polls=2\n  1 buttons system\nstep polls=2\n  1 buttons none\n"
          "step polls=2\n  1 buttons pad\nstep polls=2\n  1 buttons none\n"
          "step polls=2\n  1 trigger 1\n  1 buttons trigger-bit\nstep polls=2\n  1 trigger 0\n  1 buttons "
          "none\n"
          "step polls=2\n  1 pad 0.5 0.5\nstep polls=2\n  1 pad 0 0\n"}},
        // Held while the controller moves on to the next corner, and across the next prompts: each corner
        // needs its own press.
        {"button held into the next corner",
         {held + "step polls=3\n" + decoy + "  1 buttons menu\n", held, held}},
    };
    XServer x(kOneMonitor);
    for (const SamplingCase& sampling : cases) {
        SCOPED_TRACE(sampling.name);
        TempDir dir;
        const std::vector<Pose> poses = touchPoses(screenCorners({-0.4f, 1.3f, -0.7f}, 0.5f, 0.3f));
        ScriptedController user;
        user.press(poses[0]);
        for (int corner = 1; corner < 4; ++corner) {
            user.text += sampling.between[corner - 1];
            user.press(poses[corner]);
        }
        user.finish();
        const SetupRun run = runSetup(x, dir, user, "1 1");
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.out, oneMonitorTranscript(touchTranscript()));
        EXPECT_EQ(run.file, configText({calibrated({0, 0, 1920, 1080}, touchedCorners(poses))}, kOneHash, 1));
    }
}

TEST(SetupPointing, NearlyParallelRaysAskForThatCornerAgain) {
    XServer x(kOneMonitor);
    TempDir dir;
    const std::array<Vec3, 4> screen = screenCorners({-0.4f, 1.3f, -0.7f}, 0.5f, 0.3f);
    std::vector<Pose> poses = pointingPoses(screen, {-0.3f, 1.2f, 0.2f}, {0.25f, 1.1f, 0.1f});
    // At the lower left corner the user did not move between the two sets...
    poses[5] = poses[1];
    // ...and at the lower right moved straight towards the corner.
    const Vec3 from = tipOf(poses[2]);
    const Vec3 towards{from.x + (screen[2].x - from.x) * 0.3f, from.y + (screen[2].y - from.y) * 0.3f,
                       from.z + (screen[2].z - from.z) * 0.3f};
    poses[6] = aimedFromTip(towards, screen[2]);
    const Pose lower_left_again[2] = {aimedFromTip({-0.2f, 1.0f, 0.1f}, screen[1]),
                                      aimedFromTip({0.4f, 1.3f, 0.2f}, screen[1])};
    const Pose lower_right_again[2] = {aimedFromTip({-0.1f, 1.2f, 0.3f}, screen[2]),
                                       aimedFromTip({0.5f, 1.15f, 0.0f}, screen[2])};
    ScriptedController user;
    user.pressAll(poses);
    // The first retry of the lower left corner is parallel again; the second is good.
    user.press(lower_left_again[0]);
    user.press(lower_left_again[0]);
    user.pressAll({lower_left_again[0], lower_left_again[1]});
    user.pressAll({lower_right_again[0], lower_right_again[1]});
    user.finish();

    const SetupRun run = runSetup(x, dir, user, "2\n1\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    const std::string instruction =
        "By aligning the application and system buttons, point the controller to:\n";
    const auto again = [&](const std::string& corner) {
        return "\nThe two lines to the " + corner +
               " corner are too close to parallel to give a corner.\nPoint at it again, from two positions "
               "further apart.\n" +
               instruction + "the " + corner +
               " corner of the screen and press the application button - OK\n" +
               "\nNow move to a new position and repeat!\n" + instruction + "the " + corner +
               " corner of the screen and press the application button - OK\n";
    };
    EXPECT_EQ(run.out, oneMonitorTranscript(pointingTranscript() + again("LOWER LEFT") + again("LOWER LEFT") +
                                            again("LOWER RIGHT")));
    const std::array<Vec3, 4> corners = {
        pointedCorner(poses[0], poses[4]), pointedCorner(lower_left_again[0], lower_left_again[1]),
        pointedCorner(lower_right_again[0], lower_right_again[1]), pointedCorner(poses[3], poses[7])};
    EXPECT_EQ(run.file, configText({calibrated({0, 0, 1920, 1080}, corners)}, kOneHash, 1));
    // Well measured, the corners lie within a millimetre of the screen's.
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(corners[c].x, screen[c].x, 1e-3);
        EXPECT_NEAR(corners[c].y, screen[c].y, 1e-3);
        EXPECT_NEAR(corners[c].z, screen[c].z, 1e-3);
    }
}

struct EndOfInputCase {
    const char* name;
    std::string answers;
    std::string transcript;
};

TEST(SetupEndOfInput, EveryPromptStopsWithoutTouchingTheFile) {
    XServer x(kTwoMonitors);
    const std::string first_menu = methodMenu(0, 2, "1st", 1280, 1024);
    const std::string second_menu = methodMenu(1, 2, "2nd", 1920, 1080);
    const std::vector<EndOfInputCase> cases = {
        {"nothing at all", "", startLines(2) + first_menu},
        {"only invalid answers", "abc 7\n\n", startLines(2) + first_menu + first_menu + first_menu},
        {"after the first monitor", "1\n",
         startLines(2) + first_menu + touchTranscript() + doneLine(0, 2) + second_menu},
        {"at the handedness question", "1 1\n3\n",
         startLines(2) + first_menu + touchTranscript() + doneLine(0, 2) + second_menu + touchTranscript() +
             doneLine(1, 2) + handednessQuestion() + handednessQuestion()},
    };
    for (const EndOfInputCase& ending : cases) {
        SCOPED_TRACE(ending.name);
        TempDir dir;
        writeFile(dir.file("default.config"), "an older calibration");
        ScriptedController user;
        user.pressAll(touchPoses(kLeftScreen));
        user.pressAll(touchPoses(kRightScreen));
        user.finish();
        const SetupRun run = runSetup(x, dir, user, ending.answers);
        ASSERT_EQ(run.status, 2) << run.out << run.err;
        EXPECT_EQ(run.out, ending.transcript);
        EXPECT_EQ(run.err, "\nwandsetup: standard input ended before the answer; nothing was written\n");
        EXPECT_EQ(run.file, "an older calibration");
    }
}

TEST(SetupWriteFailure, ReportsTheErrorAndKeepsWhatWasThere) {
    XServer x(kOneMonitor);
    TempDir dir;
    // A folder where the file should go: it cannot be replaced.
    std::filesystem::create_directory(dir.path() / "default.config");
    writeFile(dir.path() / "default.config" / "kept", "kept");
    ScriptedController user;
    user.pressAll(touchPoses(kRightScreen));
    user.finish();
    const SetupRun run = runSetup(x, dir, user, "1 1\n");
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_EQ(run.out, startLines(1) + methodMenu(0, 1, "1st", 1920, 1080) + touchTranscript() +
                           doneLine(0, 1) + handednessQuestion());
    EXPECT_NE(run.err.find("wandsetup: could not write 'default.config'"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(dir.path() / "default.config" / "kept"), "kept");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_TRUE(entry.path().filename() == "default.config" || entry.path().filename() == "user.scenario")
            << "left behind: " << entry.path();
}

} // namespace
