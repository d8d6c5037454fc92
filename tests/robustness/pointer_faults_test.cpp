// wandpointer against bad config files and runtime faults: the real program on Xvfb, driven by the
// simulated runtime. Every case checks the same rules from outside: the program does not crash, it
// reports a failure (never as success), it leaves "default.config" as it was, and no mouse button stays
// held on the X server.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/scenario_text.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

// One 1920x1080 monitor in the plane z = -2 m facing the user at z = 0, 1024 pixels per metre, its top
// row at y = 1 m: the point (x, y) of the plane is pixel (1024 x, 1024 (1 - y)).
const std::vector<TestMonitor> kLayout = {{0, 0, 1920, 1080, true}};

const char* const kMonitor = R"({ "left" : 0, "top" : 0, "right" : 1920, "bottom" : 1080,
      "v0" : { "x" : 0, "y" : 1, "z" : -2 }, "v1" : { "x" : 0, "y" : -0.0546875, "z" : -2 },
      "v2" : { "x" : 1.875, "y" : -0.0546875, "z" : -2 }, "v3" : { "x" : 1.875, "y" : 1, "z" : -2 } })";

std::string
configWith(const std::string& displays, int dragging_threshold_ms = 200,
           const std::string& stabilization = "\"average_of_N_previous_positions\" : 5, \"enable\" : 0") {
    return "{\n  \"controller_angle_offset\" : { \"x\" : 0, \"y\" : 0 },\n  \"display\" : " + displays +
           ",\n  \"displayhash\" : \"192010800192010800\",\n  \"handedness\" : 1,\n  \"stabilization\" : { " +
           stabilization +
           " },\n  \"trigger\" : { "
           "\"click_detection_threshold\" : 10, \"dragging_threshold_ms\" : " +
           std::to_string(dragging_threshold_ms) + " }\n}";
}

const std::string kGoodConfig = configWith(std::string("[") + kMonitor + "]");

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

std::string describe(const Events& events) {
    std::string s;
    for (const ButtonEvent& e : events)
        s += std::to_string(e.button) + (e.press ? "+ " : "- ");
    return s;
}

// Presses minus releases per button: what the X server would still hold down.
bool anyButtonHeld(const Events& events) {
    int held[8] = {};
    for (const ButtonEvent& e : events)
        if (e.button >= 1 && e.button <= 7)
            held[e.button] += e.press ? 1 : -1;
    for (int h : held)
        if (h != 0)
            return true;
    return false;
}

class PointerFaults : public testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new XServer(kLayout); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        observer_ = std::make_unique<XObserver>(server_->display());
        parkPointer();
    }

    // Puts the pointer where no test aims and forgets earlier events, before each run of the program.
    void parkPointer() {
        observer_->injectMotion(7, 7);
        drain();
    }

    void TearDown() override {
        if (runner_ && runner_->running()) {
            runner_->signal(SIGTERM);
            runner_->waitExit();
        }
    }

    void drain() {
        XSync(observer_->display(), False);
        observer_->pump();
        observer_->buttonEvents();
    }

    // Starts wandpointer in a fresh folder holding `config` (none when `config` is null).
    Process& start(const std::string* config, const std::string& scenario) {
        if (runner_ && runner_->running()) {
            runner_->signal(SIGTERM);
            runner_->waitExit();
        }
        parkPointer();
        dir_ = std::make_unique<TempDir>();
        if (config != nullptr)
            writeFile(dir_->path() / "default.config", *config);
        writeFile(dir_->path() / "scenario", scenario);
        ProcessOptions options;
        options.working_dir = dir_->path().string();
        options.env = {server_->displayEnv(),
                       {"WAND_SIM_SCENARIO", dir_->file("scenario")},
                       {"WAND_SIM_CONTROL", dir_->path().string()},
                       {"WAND_SIM_LOG", dir_->file("sim.log")}};
        runner_ = std::make_unique<Process>(std::vector<std::string>{binPath("wandpointer")}, options);
        return *runner_;
    }
    Process& start(const std::string& config, const std::string& scenario) {
        return start(&config, scenario);
    }

    void go(const std::string& name) { writeFile(dir_->path() / name, ""); }

    std::string simLog() const {
        std::error_code ec;
        if (!std::filesystem::exists(dir_->path() / "sim.log", ec))
            return {};
        return readFile(dir_->path() / "sim.log");
    }
    std::string configNow() const { return readFile(dir_->path() / "default.config"); }

    bool pointerAt(int32_t x, int32_t y) {
        if (observer_->waitForPointer(x, y))
            return true;
        const PointerPosition p = observer_->pointer();
        ADD_FAILURE() << "pointer at " << p.x << "," << p.y << ", expected " << x << "," << y
                      << "\nrunner output: " << runner_->out() << runner_->err();
        return false;
    }

    // Button events up to and including the middle release that ends the scenario.
    Events eventsUntilMiddleClick(Timeout timeout = 20s) {
        Events events;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            observer_->waitForButtonEvents(1, 50ms);
            for (const ButtonEvent& e : observer_->buttonEvents()) {
                events.push_back(e);
                if (e == kMiddleRelease)
                    return events;
            }
        }
        ADD_FAILURE() << "no middle click within the deadline; events so far: " << describe(events)
                      << "\nrunner output: " << runner_->out() << runner_->err();
        return events;
    }

    // Ends a runner that reached its loop the orderly way and checks that it says so.
    void stopRunner() {
        runner_->signal(SIGTERM);
        EXPECT_EQ(runner_->waitExit(), 0) << runner_->out() << runner_->err();
        drain();
    }

    static XServer* server_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<XObserver> observer_;
    std::unique_ptr<Process> runner_;
};

XServer* PointerFaults::server_ = nullptr;

// --- Config files that must be refused ------------------------------------------------------------------

struct RefusedConfig {
    const char* name;
    std::string text;
    const char* message; // on standard error
};

TEST_F(PointerFaults, UnusableConfigFilesAreRefusedBeforeTheRuntimeAndLeftAsTheyWere) {
    std::string deep = "{ \"display\" : " + std::string(5000, '[') + std::string(5000, ']') + " }";
    const std::vector<RefusedConfig> cases = {
        {"empty", "", "Error from reader: "},
        {"not JSON", "calibration: left monitor 1920x1080\n", "Error from reader: "},
        {"truncated", kGoodConfig.substr(0, kGoodConfig.size() / 2), "Error from reader: "},
        {"binary", std::string("\x00\xff\xfe{\x01\x80", 6), "Error from reader: "},
        {"wrong type", replaced(kGoodConfig, "\"handedness\" : 1", "\"handedness\" : \"left\""),
         "Value is not convertible to Int."},
        {"corner as a string", replaced(kGoodConfig, "\"x\" : 1.875", "\"x\" : \"1.875\""),
         "Value is not convertible to float."},
        {"integer beyond 32 bits", replaced(kGoodConfig, "\"right\" : 1920", "\"right\" : 4294969216"),
         "out of Int range"},
        {"1e400 as an integer", replaced(kGoodConfig, "\"handedness\" : 1", "\"handedness\" : 1e400"),
         "out of Int range"},
        {"display as an object", replaced(kGoodConfig, std::string("[") + kMonitor + "]", kMonitor),
         "requires arrayValue"},
        {"nesting past the stack limit", deep, "Exceeded stackLimit"},
    };
    for (const RefusedConfig& c : cases) {
        SCOPED_TRACE(c.name);
        Process& p = start(c.text, std::string(kDevices) + "step\n" + atPixel(300, 300));
        ASSERT_EQ(p.waitExit(), 1) << p.out() << p.err();
        EXPECT_NE(p.err().find(c.message), std::string::npos) << p.err();
        EXPECT_EQ(p.out().find("SteamVR initialized!"), std::string::npos) << p.out();
        EXPECT_EQ(simLog().find("VR_InitInternal"), std::string::npos);
        EXPECT_EQ(configNow(), c.text);
        drain();
        EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
    }
}

// --- Odd config files that are read with a definite meaning --------------------------------------------

struct ReadConfig {
    const char* name;
    std::string text;
};

TEST_F(PointerFaults, OddButValidConfigFilesPointAtTheCalibratedMonitor) {
    std::string crlf;
    for (char c : kGoodConfig)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    // A monitor calibrated somewhere else entirely (behind the user), repeated.
    const std::string elsewhere = R"({ "left" : 0, "top" : 0, "right" : 1920, "bottom" : 1080,
      "v0" : { "x" : 0, "y" : 1, "z" : 40 }, "v1" : { "x" : 0, "y" : 0, "z" : 40 },
      "v2" : { "x" : 1, "y" : 0, "z" : 40 }, "v3" : { "x" : 1, "y" : 1, "z" : 40 } })";
    std::string many = "[";
    for (int i = 0; i < 9999; ++i)
        many += elsewhere + ",\n";
    many += std::string(kMonitor) + "]";
    const std::string null_corners = R"({ "left" : 0, "top" : 0, "right" : 1920, "bottom" : 1080,
      "v0" : null, "v1" : { "x" : null, "y" : null, "z" : null }, "v2" : null, "v3" : null })";
    const std::string infinite_corner = R"({ "left" : 0, "top" : 0, "right" : 1920, "bottom" : 1080,
      "v0" : { "x" : 1e400, "y" : 1, "z" : -2 }, "v1" : { "x" : 0, "y" : -1e400, "z" : -2 },
      "v2" : { "x" : 1.875, "y" : 0, "z" : -2 }, "v3" : { "x" : 1.875, "y" : 1, "z" : -2 } })";

    const std::vector<ReadConfig> cases = {
        {"byte-order mark", "\xEF\xBB\xBF" + kGoodConfig},
        {"CR LF line ends", crlf},
        {"byte-order mark and CR LF", "\xEF\xBB\xBF" + crlf},
        {"10,000 displays", configWith(many)},
        {"null corners before the monitor", configWith("[" + null_corners + ", " + kMonitor + "]")},
        {"1e400 corners before the monitor", configWith("[" + infinite_corner + ", " + kMonitor + "]")},
    };
    for (const ReadConfig& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.text, std::string(kDevices) + "step\n" + atPixel(1500, 900));
        EXPECT_TRUE(pointerAt(1500, 900));
        stopRunner();
        EXPECT_EQ(configNow(), c.text);
    }
}

TEST_F(PointerFaults, ConfigWithoutUsableDisplaysRunsButNeverMovesThePointer) {
    for (const std::string& displays : {std::string("{}"), std::string("[]"), std::string("null")}) {
        SCOPED_TRACE(displays);
        const std::string config = configWith(displays);
        start(config, std::string(kDevices) + "step polls=5\n" + atPixel(300, 300) + kMiddleClickMark);
        EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
        EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
        stopRunner();
        EXPECT_EQ(configNow(), config);
    }
}

TEST_F(PointerFaults, OversizedStabilizationHistoryNeitherExhaustsMemoryNorStallsThePointer) {
    // A hand-edited history length far beyond any use (at 200 frames a second, 100,000,000 positions
    // are almost six days). Found by fuzz_config with 2,000,000,000, where the history alone wants 16 GB
    // and the program died of std::bad_alloc; this smaller length keeps the test's memory modest. The
    // program may refuse the file or warn and go on; it must not crash, and if it runs, the pointer must
    // reach where the controller points.
    for (const char* enable : {"0", "1"}) {
        SCOPED_TRACE(std::string("enable ") + enable);
        const std::string config = configWith(
            std::string("[") + kMonitor + "]", 200,
            std::string("\"average_of_N_previous_positions\" : 100000000, \"enable\" : ") + enable);
        Process& p = start(config, std::string(kDevices) + "step\n" + atPixel(1500, 900));
        if (p.waitForOutput("SteamVR initialized!", 20s)) {
            EXPECT_TRUE(observer_->waitForPointer(1500, 900, 20s))
                << "pointer at " << observer_->pointer().x << "," << observer_->pointer().y;
            if (std::string(enable) == "1") {
                EXPECT_NE(p.out().find("average_of_N_previous_positions"), std::string::npos) << p.out();
            }
            stopRunner();
        } else {
            ASSERT_EQ(p.waitExit(20s), 1) << p.out() << p.err();
            EXPECT_NE((p.out() + p.err()).find("average_of_N_previous_positions"), std::string::npos)
                << p.out() << p.err();
        }
        EXPECT_EQ(configNow(), config);
    }
}

// --- Runtime faults ------------------------------------------------------------------------------------

TEST_F(PointerFaults, EveryInitErrorIsReportedAndEndsWithStatusOne) {
    for (int error : {100, 101, 105, 108, 109, 110, 121, 126, 301, 9999}) {
        SCOPED_TRACE(error);
        Process& p = start(kGoodConfig, "init-error " + std::to_string(error) + "\n" + kDevices);
        ASSERT_EQ(p.waitExit(), 1) << p.out() << p.err();
        if (error == 121) {
            EXPECT_EQ(p.out(), "HMD not found! Please start SteamVR before running program.\n\n");
        } else {
            EXPECT_EQ(p.out().rfind("SteamVR init error: ", 0), 0u) << p.out();
            const std::string tail = "(" + std::to_string(error) + ") \n\n";
            EXPECT_EQ(p.out().substr(p.out().size() - std::min(p.out().size(), tail.size())), tail)
                << p.out();
        }
        EXPECT_EQ(p.out().find("SteamVR initialized!"), std::string::npos);
        EXPECT_NE(simLog().find("VR_ShutdownInternal"), std::string::npos);
        EXPECT_EQ(configNow(), kGoodConfig);
        EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
    }
}

TEST_F(PointerFaults, ControllerDisconnectedDuringSelectionIsNotChosen) {
    // Two controllers; the second drops out while the user is asked to choose, and its trigger, pulled
    // while it is gone, chooses nothing. The first one's pull chooses it, and it then points.
    start(kGoodConfig, std::string("device 0 hmd\ndevice 1 controller\ndevice 2 controller\n") +
                           "step polls=0 wait=asked\n" + atPixel(400, 400) + atPixel(1200, 200, 2) +
                           "step polls=6\n  2 connected no\n  2 trigger 0.9\n" +
                           "step polls=3\n  1 trigger 0.9\n" +
                           "step polls=3\n  1 trigger 0\n  2 connected yes\n" + "step\n");
    ASSERT_TRUE(runner_->waitForOutput("Press trigger to select primary controller"));
    go("asked");
    EXPECT_TRUE(pointerAt(400, 400));
    stopRunner();
}

TEST_F(PointerFaults, ControllerThatIsNotThereAtStartIsWaitedFor) {
    start(kGoodConfig, "device 0 hmd\ndevice 1 controller disconnected\nstep polls=0 wait=plug\n"
                       "step polls=0\n  1 connected yes\n" +
                           atPixel(800, 600));
    ASSERT_TRUE(runner_->waitForOutput("1 controller(s) needed.."));
    EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
    go("plug");
    EXPECT_TRUE(pointerAt(800, 600));
    EXPECT_NE(runner_->out().find("One controller found, using that."), std::string::npos);
    stopRunner();
}

TEST_F(PointerFaults, ControllerDisconnectedDuringADragLetsTheButtonGo) {
    start(configWith(std::string("[") + kMonitor + "]", 50),
          std::string(kDevices) + "step polls=3\n" + atPixel(300, 300) + "step wait=gone\n  1 trigger 1\n" +
              "step polls=0\n  1 connected no\n");
    ASSERT_TRUE(observer_->waitForButtonEvents(1));
    EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftPress}));
    go("gone");
    // The controller never comes back: the held button must not stay down.
    ASSERT_TRUE(observer_->waitForButtonEvents(1)) << "the left button stays held";
    EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftRelease}));
    stopRunner();
}

TEST_F(PointerFaults, TriggerPulledWhileThePoseIsInvalidDoesNotActWhenTrackingReturns) {
    // The pull happens while the pose is invalid; tracking returns with the trigger still held (longer than
    // the drag threshold), then it is let go. The press was never seen, so nothing may happen; the grip
    // click at the end shows that the controller works again.
    start(configWith(std::string("[") + kMonitor + "]", 50),
          std::string(kDevices) + "step polls=3\n" + atPixel(300, 300) + "step polls=3\n  1 valid no\n" +
              "step polls=3\n  1 trigger 1\n" + "step polls=5 ms=200\n  1 valid yes\n" +
              "step polls=3\n  1 trigger 0\n" + kMiddleClickMark);
    const Events events = eventsUntilMiddleClick();
    EXPECT_EQ(events, (Events{kMiddlePress, kMiddleRelease})) << describe(events);
    EXPECT_FALSE(anyButtonHeld(events));
    stopRunner();
}

TEST_F(PointerFaults, NonFiniteMatricesMoveNothingAndHoldNothing) {
    start(kGoodConfig, std::string(kDevices) + "step wait=ready\n" + atPixel(1000, 500) +
                           "step polls=5\n  1 pose matrix nan nan nan nan nan nan nan nan nan nan nan nan\n" +
                           "  1 trigger 1\n" +
                           "step polls=5\n  1 pose matrix inf 0 0 inf 0 -inf 0 0 0 0 inf nan\n" +
                           "step polls=5\n  1 trigger 0\n" + kMiddleClickMark);
    ASSERT_TRUE(pointerAt(1000, 500));
    go("ready");
    const Events events = eventsUntilMiddleClick();
    EXPECT_FALSE(anyButtonHeld(events)) << describe(events);
    EXPECT_EQ(observer_->pointer(), (PointerPosition{1000, 500}));
    stopRunner();
}

TEST_F(PointerFaults, OnlyDeviceIndicesUpToFifteenAreEverAskedFor) {
    // The controller at the last index works; nothing beyond it is ever queried.
    start(kGoodConfig, "device 0 hmd\ndevice 15 controller\nstep polls=3\n" + atPixel(640, 360, 15) +
                           "step polls=3\n  15 buttons grip\nstep polls=3\n  15 buttons none\n");
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    EXPECT_TRUE(pointerAt(640, 360));
    stopRunner();
    std::istringstream log(simLog());
    std::string line;
    size_t queries = 0;
    while (std::getline(log, line)) {
        std::istringstream words(line);
        std::string time, call;
        long index = -1;
        words >> time >> call;
        if (call == "GetControllerState" || call == "IsTrackedDeviceConnected" ||
            call == "GetTrackedDeviceClass") {
            ++queries;
            ASSERT_TRUE(words >> index) << line;
            EXPECT_LE(index, 15) << line;
            EXPECT_GE(index, 0) << line;
        }
    }
    EXPECT_GT(queries, 3u);
}

// --- Signals -------------------------------------------------------------------------------------------

TEST_F(PointerFaults, SignalsInTheMiddleOfADragReleaseTheButton) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        start(configWith(std::string("[") + kMonitor + "]", 50),
              std::string(kDevices) + "step polls=3\n" + atPixel(300, 300) + "step\n  1 trigger 1\n");
        ASSERT_TRUE(observer_->waitForButtonEvents(1));
        EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftPress}));
        runner_->signal(sig);
        const std::optional<int> status = runner_->waitExit();
        ASSERT_TRUE(status.has_value());
        EXPECT_LT(*status, 128) << "ended by the signal itself, without letting go";
        ASSERT_TRUE(observer_->waitForButtonEvents(1)) << "the left button stays held";
        EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftRelease}));
        EXPECT_EQ(configNow(), configWith(std::string("[") + kMonitor + "]", 50));
    }
}

} // namespace
