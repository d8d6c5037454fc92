// The 1€ filter on the pointing direction, the click freeze and the handover, on a synthetic clock.
#include "pointer/runner.h"
#include "sim/sim_core.h"
#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using platform::ButtonAction;
using platform::MouseButton;

Vec3 aim(double yaw_deg, double pitch_deg) {
    const double y = yaw_deg * std::numbers::pi / 180, p = pitch_deg * std::numbers::pi / 180;
    return {float(std::sin(y) * std::cos(p)), float(std::sin(p)), float(-std::cos(y) * std::cos(p))};
}

// The runner with the 1€ filter and a click freeze of 0.6°, the simulated controller at the origin, and
// two 1 m screens of 1000 px side by side in the plane z = -2: the left one is the right one on the desktop.
const char* const kSteady = R"({"handedness": 1, "stabilization": {"enable": 1, "filter": "one_euro"},
                               "trigger": {"dragging_threshold_ms": 200, "click_freeze_degrees": 0.6}})";
struct Rig {
    RunnerState runner;
    std::vector<std::pair<int32_t, int32_t>> placed;
    std::vector<std::pair<ButtonAction, std::pair<int32_t, int32_t>>> inputs; // the left button's, and where
    std::pair<int32_t, int32_t> cursor;                                       // placed, or moved by the mouse
    uint32_t now = 0;
    PointerIo io;
    explicit Rig(const char* config = kSteady) {
        useVrLibrary(simVrLibrary());
        io.set_cursor_pos = [this](int32_t x, int32_t y) { return cursor = placed.emplace_back(x, y), true; };
        io.mouse_button = [this](MouseButton b, ButtonAction a) {
            EXPECT_EQ(b, MouseButton::left);
            inputs.emplace_back(a, cursor);
        };
        io.tick_count = [this] { return now; };
        io.sleep_ms = [this](uint32_t ms) { now += ms; };
        io.sleep_until = [](uint32_t) {};
        io.ask_cursor_pos = [] {};
        io.cursor_pos = [this] {
            return std::optional(platform::CursorPosition{cursor.first, cursor.second});
        };
        simLoadScenarioText("device 0 hmd\ndevice 1 controller\n");
        EXPECT_EQ(startVr().error, vr::VRInitError_None);
        for (float x : {-1.0f, 0.0f})
            runner.displays.push_back(makeDisplayPlane({x, 0.5f, -2}, {x, -0.5f, -2}, {x + 1, -0.5f, -2},
                                                       {x + 1, 0.5f, -2}, -1000 * x, 0, 1000 - 1000 * x,
                                                       1000));
        runner.settings = parseConfigText(config).contents.value().settings;
        runner.controller = makeTrackedController(vrSystem(), 1);
        prepareFromSettings(runner);
    }
    void frame(double yaw, double pitch, bool trigger) {
        const Vec3 d = aim(yaw, pitch);
        const double origin[3] = {0, 0, 0}, target[3] = {d.x, d.y, d.z};
        simProcessRuntime().devices[1].pose = aimPose(origin, target);
        simProcessRuntime().devices[1].trigger = trigger ? 1.0f : 0.0f;
        runFrame(runner, io);
    }
    // Frames for `ms` at yaw (or yaw ± tremor, alternately), the trigger pulled for the first `pull_ms`;
    // returns how many.
    int hold(int ms, double yaw, double tremor = 0, int pull_ms = 0) {
        int frames = 0;
        for (const uint32_t start = now; static_cast<int32_t>(start + ms - now) > 0; ++frames)
            frame(yaw + (frames % 2 ? tremor : -tremor), 0, now - start < uint32_t(pull_ms));
        return frames;
    }
};

TEST(PointerFilter, StepsArriveStillnessStaysAndMonitorsJoinWithoutAJump) {
    Rig rig;
    DirectionFilter f = makeDirectionFilter(rig.runner.settings);
    uint32_t t = 0;
    for (; t < 2000; t += 5) { // held still it stays exactly there; of a 0.05° tremor at 10 Hz, under a third
        const double tremor = t < 1000 ? 0 : 0.05 * std::sin(t * std::numbers::pi / 50);
        const double bound = t < 1000 ? 1e-4 : t < 1500 ? 0.05 : 0.015; // stays after half a second
        EXPECT_LT(angleDegrees(filterDirection(f, aim(3, -2 + tremor), t), aim(3, -2)), bound);
    }
    for (; t < 3000; t += 5) // a 5° step, never overshot
        EXPECT_LT(angleDegrees(filterDirection(f, aim(3, 3), t), aim(3, -2)), 5.0001);
    EXPECT_LT(angleDegrees(filterDirection(f, aim(3, 3), t), aim(3, 3)), 0.01); // arrives within a second
    for (; t < 7000; t += 5) { // a 3 s sweep at 20°/s, never overshot; then the tremor is smoothed as before
        const double tremor = t < 6000 ? 0 : 0.05 * std::sin(t * std::numbers::pi / 50);
        const Vec3 out = filterDirection(f, aim(3 + 0.02 * std::min(t - 3000u, 3000u), 3 + tremor), t);
        EXPECT_LT(std::atan2(out.x, -out.z) * 180 / std::numbers::pi, 63.0001);
        if (t >= 6500) {
            EXPECT_LT(angleDegrees(out, aim(63, 3)), 0.015);
        }
    }

    // Averaged pixels would cross the desktop between the screens; the direction goes from edge to edge.
    for (int i = 0; i < 120; ++i)
        rig.frame(i < 60 ? -0.3 : 0.3, 0, false);
    for (const auto& [x, y] : rig.placed)
        EXPECT_TRUE(x >= 1985 || x < 15) << x;
    EXPECT_LT(rig.placed.back().first, 15);
}

TEST(PointerFilter, TheFreezeHoldsAPullsClickAndEndsOutsideItsConeOrInADrag) {
    struct Case {
        const char* what;
        double rotation_deg;
        int held_ms;
        std::vector<std::pair<ButtonAction, bool>> inputs; // at the press position, or 8 px below it
    } const cases[] = {
        {"a small rotation clicks where the pull began", 0.4, 100, {{ButtonAction::click, true}}},
        {"a large rotation ends the freeze", 1.5, 100, {{ButtonAction::click, false}}},
        {"a drag goes down there, then follows",
         0.4,
         400,
         {{ButtonAction::down, true}, {ButtonAction::up, false}}}};
    for (const Case& c : cases) {
        Rig rig;
        for (int ms = -300; ms < c.held_ms + 25;
             ms += 5) // still, then pulled and turned over 50 ms, released
            rig.frame(15, -c.rotation_deg * std::clamp(ms / 50.0, 0.0, 1.0), ms >= 0 && ms < c.held_ms);
        const auto press = rig.placed[60]; // placed in the frame that saw the press
        ASSERT_EQ(rig.inputs.size(), c.inputs.size()) << c.what;
        for (size_t i = 0; i < c.inputs.size(); ++i) {
            const auto& [action, at] = rig.inputs[i];
            EXPECT_EQ(action, c.inputs[i].first) << c.what;
            EXPECT_TRUE(c.inputs[i].second ? at == press : at.second >= press.second + 8) << c.what << i;
        }
    }
}

TEST(Handover, TheMouseAndRestPauseTheCursorATurnOrAPressTakesItBackAndADragKeepsIt) {
    Rig rig(R"({"handedness": 1, "stabilization": {"enable": 1, "filter": "one_euro"}, "handover": {
               "rest_seconds": 1}, "trigger": {"dragging_threshold_ms": 200, "click_freeze_degrees": 0.6},
               "bindings": {"grip": "left"}})");
    const Pause& pause = rig.runner.handover.pause;
    EXPECT_EQ(rig.hold(300, 15), 60);
    EXPECT_EQ(rig.placed.size(), 1u) << "a still aim: only changes go out";
    rig.cursor.first = 9; // the mouse moves it sideways while the aim is still: noticed within 50 ms
    rig.hold(50, 15);
    EXPECT_TRUE(pause == Pause::mouse && rig.cursor.first == 9);
    rig.hold(120, 15, 0, 60); // a pull takes it back, unturned, and clicks where the controller points
    rig.hold(1500, 15, 0.12); // a hand's tremor, wider than rest_degrees, never rests
    EXPECT_EQ(pause, Pause::none);
    const auto moved = rig.cursor = {rig.cursor.first, 456}; // up only: noticed within 50 ms, and it stays
    rig.hold(50, 15, 0.12);
    EXPECT_TRUE(pause == Pause::mouse && rig.cursor == moved);
    const size_t placed = rig.placed.size();
    EXPECT_EQ(rig.hold(500, 15.7), 100) << "paused by the mouse, at full rate";
    EXPECT_EQ(rig.placed.size(), placed) << "a turn of less than resume_degrees moves nothing";
    rig.hold(5, 16.5); // more than resume_degrees: the cursor goes where the controller points
    EXPECT_TRUE(pause == Pause::none && rig.placed.size() == placed + 1 && rig.cursor.first > 560);
    rig.hold(990, 16.5); // the rest timer starts at the resume
    EXPECT_EQ(pause, Pause::none);
    rig.hold(10, 16.5);
    EXPECT_EQ(pause, Pause::rest);
    const size_t at_rest = rig.placed.size();
    EXPECT_EQ(rig.hold(1500, 17), 30) << "at rest, 20 frames a second";
    EXPECT_EQ(rig.placed.size(), at_rest);
    rig.hold(120, 17, 0, 60); // a pull at rest clicks at the pixel aimed at: 2 m * tan(17°) to the right
    EXPECT_EQ(rig.inputs, (decltype(rig.inputs){{ButtonAction::click, rig.placed[0]},
                                                {ButtonAction::click, {611, 500}}}));
    // A drag keeps the cursor placed whatever the mouse does, and lets go where the controller points.
    rig.hold(300, 17, 0, 300);
    rig.cursor = {5, 5};
    rig.hold(305, 17.5, 0, 300);
    EXPECT_EQ(pause, Pause::none);
    ASSERT_EQ(rig.inputs.size(), 4u);
    EXPECT_TRUE(rig.inputs[2].first == ButtonAction::down && rig.inputs[3].first == ButtonAction::up &&
                rig.inputs[3].second.first > 620);
    simProcessRuntime().devices[1].buttons = 4; // so does the grip, bound to hold the left button
    rig.hold(50, 18);
    rig.cursor = {5, 5};
    rig.hold(50, 18.5);
    simProcessRuntime().devices[1].buttons = 0;
    rig.hold(5, 18.5);
    EXPECT_TRUE(pause == Pause::none && rig.inputs.size() == 6u && rig.inputs[5].second.first > 660);
}

} // namespace
