// wandpointer as a whole: the real program on a real X server (Xvfb with two RandR monitors) driven by the
// simulated VR runtime. What is checked is what the desktop sees: where the pointer lands and which
// button events the server produced, and what the program prints and how it ends.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/scenario_text.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace testsupport;

namespace testsupport {
// Button 1 pressed prints as "1+", released as "1-".
void PrintTo(const ButtonEvent& e, std::ostream* os) {
    *os << e.button << (e.press ? "+" : "-");
}
} // namespace testsupport

namespace {

using namespace std::chrono_literals;

// Monitor A 1280x1024 at +0+0, primary monitor B 1920x1080 at +1280+0.
const std::vector<TestMonitor> kLayout = {{0, 0, 1280, 1024, false}, {1280, 0, 1920, 1080, true}};

// Their calibration: both screens lie in the plane z = -2 m and face the user at z = 0, one pixel per
// 1/1024 m, the top row of both at y = 1 m; A spans x from 0 to 1.25 m, B from 1.25 to 3.125 m. So the
// point (x, y) of the plane is desktop pixel (1024 x, 1024 (1 - y)) on either monitor.
const char* const kMonitorA = R"({ "left" : 0, "top" : 0, "right" : 1280, "bottom" : 1024,
      "v0" : { "x" : 0, "y" : 1, "z" : -2 }, "v1" : { "x" : 0, "y" : 0, "z" : -2 },
      "v2" : { "x" : 1.25, "y" : 0, "z" : -2 }, "v3" : { "x" : 1.25, "y" : 1, "z" : -2 } })";
const char* const kMonitorB = R"({ "left" : 1280, "top" : 0, "right" : 3200, "bottom" : 1080,
      "v0" : { "x" : 1.25, "y" : 1, "z" : -2 }, "v1" : { "x" : 1.25, "y" : -0.0546875, "z" : -2 },
      "v2" : { "x" : 3.125, "y" : -0.0546875, "z" : -2 }, "v3" : { "x" : 3.125, "y" : 1, "z" : -2 } })";

struct Config {
    std::string displays = std::string("[") + kMonitorA + ", " + kMonitorB + "]";
    int handedness = 1;
    int dragging_threshold_ms = 200;
    int stabilization_enable = 0;
    int average_of_N = 5;
};

std::string text(const Config& c) {
    std::ostringstream out;
    out << "{\n  \"controller_angle_offset\" : { \"x\" : 0, \"y\" : 0 },\n  \"display\" : " << c.displays
        << ",\n  \"displayhash\" : \"3200108001280102401280320010800\",\n  \"handedness\" : " << c.handedness
        << ",\n  \"stabilization\" : { \"average_of_N_previous_positions\" : " << c.average_of_N
        << ", \"enable\" : " << c.stabilization_enable
        << " },\n  \"trigger\" : { \"click_detection_threshold\" : 10, \"dragging_threshold_ms\" : "
        << c.dragging_threshold_ms << " }\n}";
    return out.str();
}

class WandPointer : public testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new XServer(kLayout); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        const std::vector<TestMonitor> monitors = queryMonitors(server_->display());
        ASSERT_TRUE(std::is_permutation(monitors.begin(), monitors.end(), kLayout.begin(), kLayout.end()))
            << toString(monitors);
        observer_ = std::make_unique<XObserver>(server_->display());
        // A known place that no test aims at, and no leftovers from the test before.
        observer_->injectMotion(7, 7);
        drain();
    }

    void TearDown() override {
        if (runner_ && runner_->running()) {
            runner_->signal(SIGTERM);
            runner_->waitExit();
        }
    }

    // Reads everything the server has sent to the observer so far and forgets it.
    void drain() {
        XSync(observer_->display(), False);
        observer_->pump();
        observer_->buttonEvents();
        observer_->motionEvents();
    }

    Process& start(const Config& config, const std::string& scenario) {
        return startWithConfigText(text(config), scenario);
    }
    Process& startWithConfigText(const std::string& config, const std::string& scenario) {
        writeFile(dir_.path() / "default.config", config);
        return startInDir(scenario);
    }
    Process& startInDir(const std::string& scenario) {
        writeFile(dir_.path() / "scenario", scenario);
        ProcessOptions options;
        options.working_dir = dir_.path().string();
        options.env = {server_->displayEnv(),
                       {"WAND_SIM_SCENARIO", dir_.file("scenario")},
                       {"WAND_SIM_CONTROL", dir_.path().string()},
                       {"WAND_SIM_LOG", dir_.file("sim.log")}};
        runner_ = std::make_unique<Process>(std::vector<std::string>{binPath("wandpointer")}, options);
        return *runner_;
    }

    // Lets a step that waits for `name` end.
    void go(const std::string& name) { writeFile(dir_.path() / name, ""); }

    std::string simLog() const {
        std::error_code ec;
        if (!std::filesystem::exists(dir_.path() / "sim.log", ec))
            return {};
        return readFile(dir_.path() / "sim.log");
    }

    // Collects button events up to and including the middle release that ends every scenario.
    Events eventsUntilMiddleClick(Timeout timeout = 10s) {
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
        ADD_FAILURE() << "no middle click within the deadline; events so far: "
                      << testing::PrintToString(events)
                      << "\nrunner output: " << (runner_ ? runner_->out() + runner_->err() : "");
        return events;
    }

    bool pointerAt(int32_t x, int32_t y) {
        if (observer_->waitForPointer(x, y))
            return true;
        const PointerPosition p = observer_->pointer();
        ADD_FAILURE() << "pointer at " << p.x << "," << p.y << ", expected " << x << "," << y;
        return false;
    }

    static XServer* server_;
    TempDir dir_;
    std::unique_ptr<XObserver> observer_;
    std::unique_ptr<Process> runner_;
};

XServer* WandPointer::server_ = nullptr;

// --- Pointing ------------------------------------------------------------------------------------------

TEST_F(WandPointer, AimingAtKnownPointsPutsThePointerOnTheExpectedPixels) {
    struct Aim {
        std::string pose;
        int x, y;
    };
    std::vector<Aim> aims;
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{640, 512},
                                                               {0, 0},
                                                               {1279, 1023},
                                                               {1280, 0},
                                                               {3199, 1079},
                                                               {2240, 540},
                                                               {1281, 1079},
                                                               {17, 1000}})
        aims.push_back({atPixel(x, y), x, y});
    // From (0.3, 0.2, 0.4), to the left of and below B, aimed at the centre of pixel (2900, 300); the
    // runtime turns the aim into a rotation matrix.
    aims.push_back({"  1 pose aim 0.3 0.2 0.4 " + scenarioNumber(2900.5 / 1024.0) + " " +
                        scenarioNumber(1.0 - 300.5 / 1024.0) + " -2\n",
                    2900, 300});
    std::string scenario = kDevices;
    for (size_t i = 0; i < aims.size(); ++i)
        scenario += "step wait=g" + std::to_string(i) + "\n" + aims[i].pose;
    start({}, scenario);
    for (size_t i = 0; i < aims.size(); ++i) {
        EXPECT_TRUE(pointerAt(aims[i].x, aims[i].y)) << "point " << i;
        go("g" + std::to_string(i));
    }
    EXPECT_TRUE(runner_->out().find("SteamVR initialized!\n") != std::string::npos);
}

TEST_F(WandPointer, AfterEnteringAMonitorRaysPastItsEdgesArePinnedToIt) {
    start({}, kDevices +                                                    //
                  "step wait=a\n" + atPixel(600, 500) +                     // enter A
                  "step wait=b\n" + straightAt(-0.5, 0.5) +                 // left of A
                  "step wait=c\n" + straightAt(0.6, 1.7) +                  // above A
                  "step wait=d\n" + straightAt(0.6, -0.03) +                // below A, in B's height only
                  "step wait=e\n" + straightAt(-4.0, -4.0) +                // below left
                  "step wait=f\n" + atPixel(2000, 100) +                    // enter B
                  "step wait=g\n" + straightAt(5.0, 1.0 - 512.5 / 1024) +   // right of B
                  "step wait=h\n" + straightAt(2048.5 / 1024, -1.0) +       // below B
                  "step wait=i\n" + atPixel(1024, 512) + kMiddleClickMark); // into A again
    const std::vector<std::tuple<std::string, int, int>> expected = {
        {"a", 600, 500},  {"b", 0, 512},    {"c", 614, 0},     {"d", 614, 1023}, {"e", 0, 1023},
        {"f", 2000, 100}, {"g", 3199, 512}, {"h", 2048, 1079}, {"i", 1024, 512}};
    for (const auto& [name, x, y] : expected) {
        EXPECT_TRUE(pointerAt(x, y)) << "before " << name;
        go(name);
    }
}

TEST_F(WandPointer, BeforeAnyMonitorHasBeenEnteredPointingBesideThemMovesNothing) {
    start({}, kDevices + "step polls=20\n" + straightAt(-0.5, 0.5) + "step polls=20\n" +
                  straightAt(4.0, 0.5) + "step polls=20\n" + straightAt(1.0, 3.0) + kMiddleClickMark);
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    XSync(observer_->display(), False);
    observer_->pump();
    EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
    EXPECT_TRUE(observer_->motionEvents().empty());
}

TEST_F(WandPointer, WhereCalibrationsOverlapTheLaterMonitorInTheListWins) {
    // A second calibration of B's left part (x 1.25 to 2.5 m) stretched over all of A's pixels.
    const std::string overlapping = R"({ "left" : 0, "top" : 0, "right" : 1280, "bottom" : 1024,
      "v0" : { "x" : 1.25, "y" : 1, "z" : -2 }, "v1" : { "x" : 1.25, "y" : 0, "z" : -2 },
      "v2" : { "x" : 2.5, "y" : 0, "z" : -2 }, "v3" : { "x" : 2.5, "y" : 1, "z" : -2 } })";
    // Every frame places twice; the menu button then stops the placing after a full frame, so that the
    // pointer stays where the frame's last placement put it.
    const std::string scenario = kDevices + "step polls=10\n" + atPixel(1500, 300) +
                                 "step polls=3\n  1 buttons menu\n" + "step polls=3\n  1 buttons none\n" +
                                 kMiddleClickMark;
    Config later;
    later.displays = std::string("[") + kMonitorB + ", " + overlapping + "]";
    start(later, scenario);
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    // B maps the ray to 1500,300, then the overlapping entry to 220,300, which is where the pointer stays.
    EXPECT_EQ(observer_->pointer(), (PointerPosition{220, 300}));
    runner_->signal(SIGTERM);
    ASSERT_EQ(runner_->waitExit(), 0);

    Config earlier;
    earlier.displays = std::string("[") + overlapping + ", " + kMonitorB + "]";
    start(earlier, scenario);
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    EXPECT_EQ(observer_->pointer(), (PointerPosition{1500, 300}));
}

// --- Buttons -------------------------------------------------------------------------------------------

TEST_F(WandPointer, ShortTriggerPullClicksTheLeftButtonAtTheRelease) {
    Config config;
    config.dragging_threshold_ms = 2000; // far longer than the pull, however busy the machine
    start(config, kDevices + "step wait=ready\n" + atPixel(2100, 600) +
                      "step polls=4 ms=60\n  1 trigger 0.5\n" + "step polls=2\n  1 trigger 0\n" +
                      kMiddleClickMark);
    ASSERT_TRUE(pointerAt(2100, 600));
    go("ready");
    const Events events = eventsUntilMiddleClick();
    ASSERT_EQ(events, (Events{kLeftPress, kLeftRelease, kMiddlePress, kMiddleRelease}));
    // Down and up both come with the release, not with the pull.
    const int64_t release_step_ms = stepStartUs(simLog(), 3) / 1000;
    ASSERT_GT(release_step_ms, 0);
    EXPECT_GE(int64_t(events[0].server_ms), release_step_ms - 1);
    EXPECT_TRUE(pointerAt(2100, 600));
}

TEST_F(WandPointer, LongTriggerPullPressesAfterTheThresholdAndReleasesWithTheTrigger) {
    Config config;
    config.dragging_threshold_ms = 150;
    start(config, kDevices + "step wait=ready\n" + atPixel(300, 300) + "step ms=400\n  1 trigger 0.8\n" +
                      atPixel(400, 350) + "step polls=2\n  1 trigger 0.05\n" + kMiddleClickMark);
    ASSERT_TRUE(pointerAt(300, 300));
    go("ready");
    const Events events = eventsUntilMiddleClick();
    ASSERT_EQ(events, (Events{kLeftPress, kLeftRelease, kMiddlePress, kMiddleRelease}));
    const std::string log = simLog();
    const int64_t pull_ms = stepStartUs(log, 2) / 1000;
    const int64_t release_ms = stepStartUs(log, 3) / 1000;
    // Pressed once more than the threshold has passed since the pull, released once the trigger drops.
    EXPECT_GE(int64_t(events[0].server_ms) - pull_ms, 150 - 1);
    EXPECT_LT(int64_t(events[0].server_ms), release_ms);
    EXPECT_GE(int64_t(events[1].server_ms), release_ms - 1);
}

TEST_F(WandPointer, HandednessChoosesTheTriggersButton) {
    // A short pull, a long one, and a press on the touchpad's left half. Left-handed users click and drag
    // with the right button; with handedness 0 the trigger sends nothing. The left half is the secondary
    // half for both: one left click.
    const std::vector<std::pair<int, Events>> cases = {
        {2, {kRightPress, kRightRelease, kRightPress, kRightRelease, kLeftPress, kLeftRelease}},
        {0, {kLeftPress, kLeftRelease}}};
    for (const auto& [handedness, expected] : cases) {
        Config config;
        config.handedness = handedness;
        config.dragging_threshold_ms = 150;
        start(config, kDevices + "step polls=3\n" + atPixel(300, 300) +
                          "step polls=2\n  1 trigger 1\nstep polls=2\n  1 trigger 0\n" +
                          "step ms=400\n  1 trigger 1\nstep polls=2\n  1 trigger 0\n" +
                          "step polls=2\n  1 pad -0.7 0.2\n  1 buttons pad\n" +
                          "step polls=2\n  1 buttons none\n  1 pad 0 0\n" + kMiddleClickMark);
        Events all = expected;
        all.insert(all.end(), {kMiddlePress, kMiddleRelease});
        EXPECT_EQ(eventsUntilMiddleClick(), all) << "handedness " << handedness;
        runner_->signal(SIGTERM);
        EXPECT_EQ(runner_->waitExit(), 0);
    }
}

TEST_F(WandPointer, TouchpadHalvesWheelAndGrip) {
    // The primary (left) half double-clicks, the other half clicks once. Then the thumb on the centre
    // strip: 30 wheel units per frame at the top edge, 120 per notch, so 20 frames give exactly 5 notches.
    // Then the grip held for ten frames: one middle click.
    start({}, kDevices + "step polls=3\n" + atPixel(300, 300) +
                  "step polls=3\n  1 pad -0.7 0.2\n  1 buttons pad\n" +
                  "step polls=3\n  1 buttons none\n  1 pad 0 0\n" +
                  "step polls=3\n  1 pad 0.8 -0.4\n  1 buttons pad\n" +
                  "step polls=3\n  1 buttons none\n  1 pad 0 0\n" + "step polls=20\n  1 pad 0 1\n" +
                  "step polls=20\n  1 pad 0.2 -1\n" + "step polls=2\n  1 pad 0 0\n" +
                  "step polls=10\n  1 buttons grip\n" + "step polls=3\n  1 buttons none\n" +
                  kMiddleClickMark);
    Events expected = {kLeftPress, kLeftRelease, kLeftPress, kLeftRelease, kRightPress, kRightRelease};
    for (int i = 0; i < 5; ++i)
        expected.insert(expected.end(), {kWheelUpPress, kWheelUpRelease});
    for (int i = 0; i < 5; ++i)
        expected.insert(expected.end(), {kWheelDownPress, kWheelDownRelease});
    expected.insert(expected.end(), {kMiddlePress, kMiddleRelease});
    EXPECT_EQ(eventsUntilMiddleClick(), expected);
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
}

TEST_F(WandPointer, MenuButtonStopsThePointerWhileClicksGoOn) {
    Config config;
    config.dragging_threshold_ms = 2000;
    Process& p =
        start(config, kDevices + "step wait=on\n" + atPixel(2500, 200) + "step polls=3\n  1 buttons menu\n" +
                          "step polls=20\n  1 buttons none\n" + atPixel(500, 700) +
                          "step polls=2\n  1 trigger 0.6\nstep polls=2\n  1 trigger 0\n" + kMiddleClickMark +
                          "step wait=again\n  1 buttons menu\n");
    ASSERT_TRUE(pointerAt(2500, 200));
    go("on");
    EXPECT_TRUE(p.waitForOutput("\nCursor disabled"));
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kLeftPress, kLeftRelease, kMiddlePress, kMiddleRelease}));
    EXPECT_EQ(observer_->pointer(), (PointerPosition{2500, 200}));
    go("again");
    EXPECT_TRUE(p.waitForOutput("\nCursor enabled"));
    EXPECT_TRUE(pointerAt(500, 700));
    EXPECT_NE(
        p.out().find("SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that."
                     "\nCursor disabled\nCursor enabled"),
        std::string::npos)
        << p.out();
}

TEST_F(WandPointer, LostTrackingProducesNothing) {
    start({}, kDevices + "step wait=ready\n" + atPixel(2500, 200) +
                  // Pose invalid: moves, clicks and scrolling are all ignored.
                  "step polls=5\n  1 valid no\n" + atPixel(500, 700) +
                  "  1 buttons grip menu\n  1 pad 0 1\n" +
                  "step polls=5\n  1 trigger 0.9\n  1 buttons pad\n  1 pad -0.7 0\n" +
                  "step polls=5\n  1 trigger 0\n" +
                  // Disconnected with a valid pose: the same.
                  "step polls=5\n  1 valid yes\n  1 connected no\n  1 buttons none\n  1 pad 0 0\n" +
                  "step polls=5\n  1 buttons grip menu\n  1 trigger 1\n" +
                  "step polls=5\n  1 buttons none\n  1 trigger 0\n" +
                  // Back, still aiming at the second point, but only the end mark acts.
                  "step polls=3\n  1 connected yes\n  1 pose matrix 1 0 0 5 0 1 0 5 0 0 1 0\n" +
                  kMiddleClickMark);
    ASSERT_TRUE(pointerAt(2500, 200));
    go("ready");
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    // B is current, so the final ray beside everything is pinned to its corner; the lost 500,700 never shows.
    EXPECT_TRUE(pointerAt(3199, 0));
    EXPECT_EQ(runner_->out().find("Cursor"), std::string::npos);
}

TEST_F(WandPointer, FramesStartAtLeastFiveMillisecondsApart) {
    start({}, kDevices + "step polls=60\n" + atPixel(300, 300) + kMiddleClickMark);
    eventsUntilMiddleClick();
    const std::vector<int64_t> polls = pollTimesUs(simLog());
    ASSERT_GE(polls.size(), 60u);
    // Frame starts follow a millisecond tick, so a single gap can be a little over 4 ms; the poll comes
    // a moment after the frame's start, which on a busy machine may stretch one gap and shorten the next.
    // Over ten frames the clock has advanced by at least 50 ticks.
    int64_t shortest = polls[1] - polls[0];
    for (size_t i = 1; i < polls.size(); ++i)
        shortest = std::min(shortest, polls[i] - polls[i - 1]);
    for (size_t i = 10; i < polls.size(); ++i)
        EXPECT_GT(polls[i] - polls[i - 10], 45000)
            << "ten frames from poll " << i - 10 << "; shortest gap " << shortest << " us";
}

// --- Robustness ---------------------------------------------------------------------------------------

TEST_F(WandPointer, TriggerThatSelectedTheControllerNeitherDragsNorClicks) {
    // Two controllers: the trigger of the second selects it and is held well past the drag threshold.
    Config config;
    config.dragging_threshold_ms = 100;
    start(config, std::string("device 0 hmd\ndevice 1 controller\ndevice 2 controller\n") +
                      "step ms=500\n  2 trigger 0.9\n" + atPixel(512, 512).replace(2, 1, "2") +
                      "step polls=3\n  2 trigger 0\n" +
                      "step polls=2\n  2 trigger 0.5\nstep polls=2\n  2 trigger 0\n" +
                      "step polls=3\n  2 buttons grip\nstep polls=3\n  2 buttons none\n");
    // Only the later short pull clicks.
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kLeftPress, kLeftRelease, kMiddlePress, kMiddleRelease}));
    EXPECT_NE(runner_->out().find("Press trigger to select primary controller"), std::string::npos);
    EXPECT_TRUE(pointerAt(512, 512));
}

TEST_F(WandPointer, DragWhoseReleaseWasMissedWhileUntrackedEndsWhenTrackingReturns) {
    Config config;
    config.dragging_threshold_ms = 100;
    start(config, kDevices + "step polls=3\n" + atPixel(300, 300) + "step ms=300\n  1 trigger 1\n" +
                      "step polls=5\n  1 valid no\nstep polls=5\n  1 trigger 0\n" +
                      "step polls=3\n  1 valid yes\n" + kMiddleClickMark);
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kLeftPress, kLeftRelease, kMiddlePress, kMiddleRelease}));
}

TEST_F(WandPointer, TerminationReleasesAHeldButtonAndShutsTheRuntimeDown) {
    for (int sig : {SIGTERM, SIGINT}) {
        std::filesystem::remove(dir_.path() / "sim.log");
        Config config;
        config.dragging_threshold_ms = 50;
        Process& p = start(config, kDevices + "step polls=3\n" + atPixel(300, 300) + "step\n  1 trigger 1\n");
        ASSERT_TRUE(observer_->waitForButtonEvents(1));
        EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftPress}));
        p.signal(sig);
        EXPECT_EQ(p.waitExit(), 0) << "signal " << sig;
        ASSERT_TRUE(observer_->waitForButtonEvents(1));
        EXPECT_EQ(observer_->buttonEvents(), (Events{kLeftRelease}));
        EXPECT_NE(simLog().find("VR_ShutdownInternal"), std::string::npos);
    }
}

TEST_F(WandPointer, TerminationWithoutADragSendsNothing) {
    Process& p = start({}, kDevices + "step\n" + atPixel(300, 300));
    ASSERT_TRUE(pointerAt(300, 300));
    p.signal(SIGTERM);
    EXPECT_EQ(p.waitExit(), 0);
    drain();
    XSync(observer_->display(), False);
    observer_->pump();
    EXPECT_TRUE(observer_->buttonEvents().empty());
}

TEST_F(WandPointer, StabilizationEndsOnTheAimedPixelAndUnusableLengthsWarn) {
    // With 3 the first placements are pulled toward 0,0 by the empty history, then they are exact; 0 and
    // -4 cannot be used: a warning, and the pointer is placed directly.
    for (int n : {3, 0, -4}) {
        Config config;
        config.stabilization_enable = 1;
        config.average_of_N = n;
        Process& p =
            start(config, kDevices + "step wait=next\n" + atPixel(2000, 800) + "step\n" + atPixel(2001, 801));
        EXPECT_TRUE(pointerAt(2000, 800));
        go("next");
        EXPECT_TRUE(pointerAt(2001, 801));
        EXPECT_EQ(p.out().find("Warning: stabilization needs average_of_N_previous_positions of 1 or more") !=
                      std::string::npos,
                  n < 1)
            << p.out();
        EXPECT_EQ(p.out().find("Warning") != std::string::npos, n < 1) << p.out();
        p.signal(SIGTERM);
        EXPECT_EQ(p.waitExit(), 0);
        std::filesystem::remove(dir_.path() / "next");
    }
}

TEST_F(WandPointer, NonFinitePosesPlaceNothing) {
    start({}, kDevices + "step wait=ready\n" + atPixel(2500, 200) +
                  "step polls=5\n  1 pose matrix 1 0 0 nan 0 1 0 0.5 0 0 1 0\n" +
                  "step polls=5\n  1 pose matrix 1 0 0 inf 0 1 0 -inf 0 0 1 0\n" +
                  "step polls=5\n  1 pose matrix nan 0 0 2 0 1 0 0.5 0 0 1 0\n" + kMiddleClickMark);
    ASSERT_TRUE(pointerAt(2500, 200));
    go("ready");
    EXPECT_EQ(eventsUntilMiddleClick(), (Events{kMiddlePress, kMiddleRelease}));
    EXPECT_EQ(observer_->pointer(), (PointerPosition{2500, 200}));
}

// --- Start-up failures ---------------------------------------------------------------------------------

TEST_F(WandPointer, MissingConfigFileStopsBeforeTheRuntime) {
    Process& p = startInDir(kDevices + "step\n" + atPixel(300, 300));
    EXPECT_EQ(p.waitExit(), 1);
    EXPECT_EQ(p.out(), "Could not open default.config, run config first!\n\n");
    EXPECT_EQ(simLog().find("VR_InitInternal"), std::string::npos);
}

TEST_F(WandPointer, RuntimeInitErrorsAreReported) {
    const std::pair<int, std::string> cases[] = {
        {121, "HMD not found! Please start SteamVR before running program.\n\n"},
        {108, "SteamVR init error: Hmd Not Found (108) \n\n"}};
    for (const auto& [error, message] : cases) {
        std::filesystem::remove(dir_.path() / "sim.log");
        Process& p = start({}, "init-error " + std::to_string(error) + "\n");
        EXPECT_EQ(p.waitExit(), 1);
        EXPECT_EQ(p.out(), message);
        EXPECT_NE(simLog().find("VR_ShutdownInternal"), std::string::npos);
    }
}

TEST_F(WandPointer, UnreadableConfigGivesTheReadersMessage) {
    std::string wrong_type = text({});
    wrong_type.replace(wrong_type.find("\"handedness\" : 1"), 16, "\"handedness\" : \"left\"");
    const std::pair<std::string, std::string> cases[] = {{"{ \"display\" : [ ", "Error from reader: "},
                                                         {wrong_type, "Value is not convertible to Int."}};
    for (const auto& [config, message] : cases) {
        Process& p = startWithConfigText(config, kDevices + "step\n" + atPixel(300, 300));
        EXPECT_EQ(p.waitExit(), 1);
        // The reader's message comes once, at the start, and nothing goes to standard output.
        EXPECT_EQ(p.err().rfind(message, 0), 0u) << p.err();
        EXPECT_EQ(p.err().find(message, 1), std::string::npos) << p.err();
        EXPECT_EQ(p.out(), "");
        EXPECT_EQ(simLog().find("VR_InitInternal"), std::string::npos);
        EXPECT_EQ(observer_->pointer(), (PointerPosition{7, 7}));
    }
}

} // namespace
