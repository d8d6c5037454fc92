// The shared library as a program linked to it sees it: the sim_probe program makes the calls and the
// tests read its console, its exit status and the call log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct ProbeRun {
    int status = -1; // exit status, or -signal
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string shellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class SimLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("wand_sim_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
               "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the probe with the simulated runtime's variables cleared, then set as given.
    ProbeRun probe(const std::vector<std::string>& env, const std::string& args) {
        std::string command = "exec env -u WAND_SIM_SCENARIO -u WAND_SIM_LOG -u WAND_SIM_CONTROL";
        for (const std::string& e : env)
            command += " " + shellQuote(e);
        command += " " + shellQuote(WAND_SIM_PROBE) + " " + args + " >" + shellQuote((dir / "out").string()) +
                   " 2>" + shellQuote((dir / "err").string());
        int raw = std::system(command.c_str());
        ProbeRun run;
        if (WIFEXITED(raw))
            run.status = WEXITSTATUS(raw);
        else if (WIFSIGNALED(raw))
            run.status = -WTERMSIG(raw);
        run.out = readFile(dir / "out");
        run.err = readFile(dir / "err");
        return run;
    }

    fs::path dir;
};

int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

TEST_F(SimLibrary, TokenInterfaceAndDefaultScenarioThroughTheExportedFunctions) {
    ProbeRun run =
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
    ProbeRun run = probe({}, "desc 0 desc 100 desc 101 desc 102 desc 104 desc 105 desc 108 desc 109 desc 110 "
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
    writeFile(dir / "s.txt", "init-error 121\ndevice 0 hmd\ndevice 1 controller\n");
    ProbeRun run = probe({"WAND_SIM_SCENARIO=" + (dir / "s.txt").string()},
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
    writeFile(dir / "scenario.txt", text);
    std::string path = (dir / "scenario.txt").string();
    ProbeRun run = probe({"WAND_SIM_SCENARIO=" + path}, "token init token");
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "token 0\n");
    EXPECT_EQ(run.err, "simulated VR runtime: " + path + ":12: unknown button \"gripp\"\n");

    ProbeRun missing = probe({"WAND_SIM_SCENARIO=" + (dir / "nothing.txt").string()}, "init");
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "simulated VR runtime: " + (dir / "nothing.txt").string() +
                               ": cannot read the scenario file\n");
}

TEST_F(SimLibrary, WaitFilesInTheControlDirectoryOrBesideTheScenario) {
    writeFile(dir / "s.txt", "device 0 hmd\n"
                             "device 1 controller\n"
                             "step wait=go\n"
                             "  1 buttons menu\n"
                             "step\n"
                             "  1 buttons grip\n"
                             "  1 trigger 0.25\n");
    std::string scenario = "WAND_SIM_SCENARIO=" + (dir / "s.txt").string();
    auto line = [](int packet, const char* buttons, const char* trigger) {
        return "poll 1 1 packet=" + std::to_string(packet) + " buttons=" + buttons + " trigger=" + trigger +
               " pad=0,0\n";
    };

    ProbeRun beside = probe({scenario}, "init iface IVRSystem_012 poll 1 poll 1 touch " +
                                            shellQuote((dir / "go").string()) + " poll 1 poll 1");
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_EQ(beside.out, "init 1 0\niface IVRSystem_012 ptr 0\n" + line(1, "0x2", "0") +
                              line(2, "0x2", "0") + "touch\n" + line(3, "0x4", "0.25") +
                              line(4, "0x4", "0.25"));

    fs::create_directories(dir / "control");
    ProbeRun control = probe({scenario, "WAND_SIM_CONTROL=" + (dir / "control").string()},
                             "init iface IVRSystem_012 poll 1 poll 1 poll 1 touch " +
                                 shellQuote((dir / "control" / "go").string()) + " poll 1");
    EXPECT_EQ(control.status, 0) << control.err;
    // The file beside the scenario from the first run does not count: the control directory is elsewhere.
    EXPECT_EQ(control.out, "init 1 0\niface IVRSystem_012 ptr 0\n" + line(1, "0x2", "0") +
                               line(2, "0x2", "0") + line(3, "0x2", "0") + "touch\n" +
                               line(4, "0x4", "0.25"));
}

TEST_F(SimLibrary, CallLogIsTimestampedOnTheMonotonicClock) {
    writeFile(dir / "s.txt", "device 0 hmd\ndevice 1 controller\nstep\n  1 trigger 1\nstep\n  1 trigger 0\n");
    fs::path log = dir / "calls.log";
    int64_t before = monotonicMicroseconds();
    ProbeRun run = probe({"WAND_SIM_SCENARIO=" + (dir / "s.txt").string(), "WAND_SIM_LOG=" + log.string()},
                         "init iface IVRSystem_012 poll 1 pose 1 poll 1");
    int64_t after = monotonicMicroseconds();
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
    ProbeRun run = probe({}, "init iface IVRSystem_012 unused");
    EXPECT_EQ(run.status, -SIGABRT);
    EXPECT_EQ(run.err,
              "simulated VR runtime: IVRSystem_012 slot 31 (GetHiddenAreaMesh) is not implemented\n");
}

} // namespace
