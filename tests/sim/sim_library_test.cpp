// The shared library as a program linked to it sees it: the sim_probe program makes the calls and the
// tests read its console, its exit status and the call log.
#include "tests/support/files.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

class SimLibrary : public ::testing::Test {
  protected:
    // Runs the probe with the calls in `args` (separated by spaces), the simulated runtime's variables
    // cleared, then set as given.
    RunResult probe(const std::vector<std::pair<std::string, std::string>>& env, const std::string& args) {
        std::vector<std::string> argv = {WAND_SIM_PROBE};
        std::istringstream words(args);
        for (std::string word; words >> word;)
            argv.push_back(word);
        return runProcess(
            argv, {.env = env, .unset_env = {"WAND_SIM_SCENARIO", "WAND_SIM_LOG", "WAND_SIM_CONTROL"}});
    }
    std::pair<std::string, std::string> scenario(const std::string& text) {
        writeFile(dir.file("s.txt"), text);
        return {"WAND_SIM_SCENARIO", dir.file("s.txt")};
    }

    TempDir dir;
};

TEST_F(SimLibrary, TokenInterfaceAndDefaultScenarioThroughTheExportedFunctions) {
    RunResult run =
        probe({}, "token valid IVRSystem_012 iface IVRSystem_012 "
                  "init token valid IVRSystem_012 valid IVRSystem_011 iface IVRSystem_011 "
                  "iface IVRSystem_012 class 0 class 1 class 2 class 16 connected 1 connected 2 "
                  "poll 1 poll 0 poll 1 pose 1 "
                  "shutdown token valid IVRSystem_012 iface IVRSystem_012 init token hmd installed");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "token 0\n"
                       "valid IVRSystem_012 0\n"
                       "iface IVRSystem_012 null 109\n"
                       "init 1 0\n"
                       "token 1\n"
                       "valid IVRSystem_012 1\n"
                       "valid IVRSystem_011 0\n"
                       "iface IVRSystem_011 null 105\n"
                       "iface IVRSystem_012 ptr 0\n"
                       "class 0 1\n"
                       "class 1 2\n"
                       "class 2 0\n"
                       "class 16 0\n"
                       "connected 1 1\n"
                       "connected 2 0\n"
                       "poll 1 1 packet=1 buttons=0x0 trigger=0 pad=0,0\n"
                       "poll 0 0 packet=0 buttons=0x0 trigger=0 pad=0,0\n"
                       "poll 1 1 packet=2 buttons=0x0 trigger=0 pad=0,0\n"
                       "pose 1 valid=1 connected=1 result=200 at=0,1.2,0.5 z=0,0,1\n"
                       "shutdown\n"
                       "token 2\n"
                       "valid IVRSystem_012 0\n"
                       "iface IVRSystem_012 null 109\n"
                       "init 3 0\n"
                       "token 3\n"
                       "hmd 1\n"
                       "installed 1\n");
}

TEST_F(SimLibrary, InitErrorDescriptionsAndSymbols) {
    RunResult run =
        probe({}, "desc 0 desc 100 desc 101 desc 102 desc 104 desc 105 desc 108 desc 109 desc 110 "
                  "desc 121 desc 301 desc 7 desc -1 desc 103 symbol 121 symbol 0 symbol 42");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "desc No Error (0)\n"
                       "desc Installation Not Found (100)\n"
                       "desc Installation Corrupt (101)\n"
                       "desc vrclient Shared Lib Not Found (102)\n"
                       "desc Factory Function Not Found (104)\n"
                       "desc Interface Not Found (105)\n"
                       "desc Hmd Not Found (108)\n"
                       "desc Not Initialized (109)\n"
                       "desc Installation path could not be located (110)\n"
                       "desc Not starting vrserver for background app (121)\n"
                       "desc Connect to VR Server Failed (301)\n"
                       "desc Unknown error (7)\n"
                       "desc Unknown error (-1)\n"
                       "desc Unknown error (103)\n"
                       "symbol VRInitError_Init_NoServerForBackgroundApp\n"
                       "symbol VRInitError_None\n"
                       "symbol Unknown error (42)\n");
}

TEST_F(SimLibrary, ScenarioInitErrorFailsEveryInitWithTokenZero) {
    RunResult run = probe({scenario("init-error 121\ndevice 0 hmd\ndevice 1 controller\n")},
                          "init token valid IVRSystem_012 iface IVRSystem_012 init");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "init 0 121\n"
                       "token 0\n"
                       "valid IVRSystem_012 0\n"
                       "iface IVRSystem_012 null 109\n"
                       "init 0 121\n");
}

TEST_F(SimLibrary, MalformedScenarioStopsTheProgramAtInitWithFileLineAndProblem) {
    std::string text;
    for (int line = 1; line <= 8; ++line)
        text += "# comment " + std::to_string(line) + "\n";
    text += "device 0 hmd\ndevice 1 controller\nstep polls=2\n  1 buttons menu gripp\n  1 trigger 0.5\n";
    RunResult run = probe({scenario(text)}, "token init token");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "token 0\n");
    EXPECT_EQ(run.err, "simulated VR runtime: " + dir.file("s.txt") + ":12: unknown button \"gripp\"\n");

    RunResult missing = probe({{"WAND_SIM_SCENARIO", dir.file("nothing.txt")}}, "init");
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "simulated VR runtime: " + dir.file("nothing.txt") + ": cannot read the scenario file\n");
}

TEST_F(SimLibrary, WaitFilesInTheControlDirectoryOrBesideTheScenario) {
    const auto file = scenario("device 0 hmd\n"
                               "device 1 controller\n"
                               "step wait=go\n"
                               "  1 buttons menu\n"
                               "step\n"
                               "  1 buttons grip\n"
                               "  1 trigger 0.25\n");
    auto line = [](int packet, const char* buttons, const char* trigger) {
        return "poll 1 1 packet=" + std::to_string(packet) + " buttons=" + buttons + " trigger=" + trigger +
               " pad=0,0\n";
    };

    RunResult beside =
        probe({file}, "init iface IVRSystem_012 poll 1 poll 1 touch " + dir.file("go") + " poll 1 poll 1");
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_EQ(beside.out, "init 1 0\niface IVRSystem_012 ptr 0\n" + line(1, "0x2", "0") +
                              line(2, "0x2", "0") + "touch\n" + line(3, "0x4", "0.25") +
                              line(4, "0x4", "0.25"));

    std::filesystem::create_directories(dir.path() / "control");
    RunResult control =
        probe({file, {"WAND_SIM_CONTROL", dir.file("control")}},
              "init iface IVRSystem_012 poll 1 poll 1 poll 1 touch " + dir.file("control/go") + " poll 1");
    EXPECT_EQ(control.status, 0) << control.err;
    // The file beside the scenario from the first run does not count: the control directory is elsewhere.
    EXPECT_EQ(control.out, "init 1 0\niface IVRSystem_012 ptr 0\n" + line(1, "0x2", "0") +
                               line(2, "0x2", "0") + line(3, "0x2", "0") + "touch\n" +
                               line(4, "0x4", "0.25"));
}

TEST_F(SimLibrary, CallLogIsTimestampedOnTheMonotonicClock) {
    const auto file =
        scenario("device 0 hmd\ndevice 1 controller\nstep\n  1 trigger 1\nstep\n  1 trigger 0\n");
    const std::string log = dir.file("calls.log");
    int64_t before = monotonicUs();
    RunResult run = probe({file, {"WAND_SIM_LOG", log}}, "init iface IVRSystem_012 poll 1 pose 1 poll 1");
    int64_t after = monotonicUs();
    ASSERT_EQ(run.status, 0) << run.err;

    std::istringstream lines(readFile(log));
    std::string line;
    std::vector<std::string> calls;
    int64_t previous = before;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        int64_t us = 0;
        std::string call;
        ASSERT_TRUE(words >> us >> call) << line;
        EXPECT_GE(us, previous) << line;
        EXPECT_LE(us, after) << line;
        previous = us;
        std::string rest;
        std::getline(words, rest);
        calls.push_back(call + rest);
    }
    std::vector<std::string> expected = {
        "step 1",
        "VR_InitInternal 3 -> 1 0",
        "VR_GetGenericInterface IVRSystem_012 -> interface 0",
        "GetControllerState 1 -> 1 buttons=0x0 trigger=1 pad=0,0",
        "GetDeviceToAbsoluteTrackingPose 2 16",
        "step 2",
        "GetControllerState 1 -> 1 buttons=0x0 trigger=0 pad=0,0",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(SimLibrary, CallingAnUnusedSlotAbortsNamingIt) {
    RunResult run = probe({}, "init iface IVRSystem_012 unused");
    EXPECT_EQ(run.status, 128 + SIGABRT);
    EXPECT_EQ(run.err,
              "simulated VR runtime: IVRSystem_012 slot 31 (GetHiddenAreaMesh) is not implemented\n");
}

} // namespace
