// The core's exact arithmetic and decisions, in-process: the controller's button tests and rays, the
// ray-to-pixel mapping, cursor stabilization, and the buttons and frame pacing on a synthetic clock.
#include "config/config_file.h"
#include "pointer/runner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <sstream>

namespace {

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// --- The controller record ------------------------------------------------------------------------------

// The controller's button bits as the runtime reports them.
enum : uint64_t { kMenu = 1ull << 1, kGrip = 1ull << 2, kPad = 1ull << 32 };

TEST(Controller, ButtonTestsFollowTheirThresholdsBitsAndRegions) {
    TrackedController c = makeTrackedController(nullptr, 1);
    auto trigger = [&](float before, float now) {
        c.previous_state.rAxis[1].x = before;
        c.state.rAxis[1].x = now;
        return std::tuple{isHeld(c, Control::trigger), pressEdge(c, Control::trigger), releaseEdge(c)};
    };
    EXPECT_EQ(trigger(0.0f, 0.1f), std::tuple(true, true, false));
    EXPECT_EQ(trigger(0.1f, 0.1f), std::tuple(true, false, false));
    EXPECT_EQ(trigger(0.1f, 0.09999f), std::tuple(false, false, true));
    EXPECT_EQ(trigger(0.0f, 0.09999f), std::tuple(false, false, false));
    // Bit 15 (the trigger's binding value) is never the trigger, bit 31 (the touchpad's) never the pad.
    c.state.ulButtonPressed = (1ull << 15) | (1ull << 31) | kMenu | kGrip;
    c.previous_state.ulButtonPressed = kMenu;
    c.state.rAxis[1].x = 0.0f;
    EXPECT_FALSE(isHeld(c, Control::trigger));
    EXPECT_FALSE(isHeld(c, Control::touchpad));
    EXPECT_TRUE(pressEdge(c, Control::grip) && isHeld(c, Control::menu) && !pressEdge(c, Control::menu));
    c.state.ulButtonPressed = kPad;
    EXPECT_TRUE(isHeld(c, Control::touchpad) && pressEdge(c, Control::touchpad));
    c.state.rAxis[0] = {0.0f, 0.0f};
    for (int r = 0; r < 9; ++r)
        EXPECT_FALSE(touchpadIn(c, r)) << "an untouched pad is in region " << r;
    c.state.rAxis[0] = {0.0f, 0.5f};
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(touchpadIn(c, r), r == 0 || r == 1 || r == 3 || r == 4 || r == 7 || r == 8) << r;
    c.state.rAxis[0] = {0.6f, 0.5f};
    EXPECT_FALSE(touchpadIn(c, kTouchpadCentreStrip));
}

TEST(Controller, RaysFollowTheGivenRoundingOrderToTheBit) {
    // Every product rounds, so another order of the additions, a fused multiply-add or a double constant
    // (0.077 for 0.077f changes the tip's y and z) shows in the last bits.
    const float m[3][4] = {{0.866025388f, -0.25f, 0.433012694f, 0.123456791f},
                           {0.0f, -0.527822018f, -0.815322816f, -0.413677096f},
                           {-0.5f, 0.658293843f, -0.82991159f, 1.3184135f}};
    TrackedController c = makeTrackedController(nullptr, 3);
    std::memcpy(c.poses[3].mDeviceToAbsoluteTracking.m, m, sizeof m);
    const PointingRay ray = pointingRay(c, 0.1f, -1.3f), tip = tipRay(c);
    const Vec3 got[3] = {ray.direction, {tip.origin.x, tip.origin.y, tip.origin.z}, tip.direction};
    const uint32_t want[3][3] = {{0xbcaf6460, 0x3fc030df, 0xbd9b61f0},
                                 {0x3e014849, 0xbeaf2182, 0x3fa64e34},
                                 {bits(-m[0][2]), bits(-m[1][2]), bits(-m[2][2])}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((std::array{bits(got[i].x), bits(got[i].y), bits(got[i].z)}),
                  (std::array{want[i][0], want[i][1], want[i][2]}))
            << i;
}

// --- Mapping, stabilization, buttons and pacing -----------------------------------------------------------

// What the frame sent to the desktop, in words: "left click", "right down", "wheel 15", "ctrl up".
std::string words(platform::MouseButton button, platform::ButtonAction action) {
    static const char* const kButtons[] = {"left", "right", "middle"};
    static const char* const kActions[] = {"click", "down", "up"};
    return std::string(kButtons[int(button)]) + " " + kActions[int(action)];
}

struct Recorder {
    std::vector<std::pair<int32_t, int32_t>> placed;
    std::vector<std::string> sent;
    std::vector<uint32_t> pulses; // the tick of each haptic pulse
    uint32_t now = 0;
    uint32_t wakes = 0;    // sleeps of either kind
    uint32_t early_ms = 0; // how long before its deadline sleep_until returns (a signal, no precise timer)
    PointerIo io() {
        PointerIo io;
        io.set_cursor_pos = [this](int32_t x, int32_t y) { return placed.emplace_back(x, y), true; };
        io.mouse_button = [this](auto button, auto action) { sent.push_back(words(button, action)); };
        io.mouse_wheel = [this](int32_t units) { sent.push_back("wheel " + std::to_string(units)); };
        io.key = [this](platform::Key key, bool press) {
            sent.push_back(std::string(platform::keyName(key)) + (press ? " down" : " up"));
        };
        io.haptic_pulse = [this](const TrackedController&, uint16_t us) {
            EXPECT_EQ(us, 1500);
            pulses.push_back(now);
        };
        io.tick_count = [this] { return now; };
        io.sleep_ms = [this](uint32_t ms) { now += ms, ++wakes; };
        io.sleep_until = [this](uint32_t due) {
            if (static_cast<int32_t>(due - now) > 0) // a deadline already due is no sleep
                now = due - early_ms, ++wakes;
        };
        return io;
    }
};

// A flat 1 m by 0.5 m screen facing the user, desktop pixels (left, 0) to (left + 1920, 1080).
DisplayPlane screen(float left) {
    return makeDisplayPlane({0, 1, -2}, {0, 0.5f, -2}, {1, 0.5f, -2}, {1, 1, -2}, left, 0, left + 1920, 1080);
}

TEST(Mapping, RaysMapToPixelsAndTheCurrentMonitorPinsThemToItsLastPixel) {
    DisplayPlane d = screen(-1920);
    auto map = [&](Vec3 origin, Vec3 direction) {
        const auto p = mapRayToDisplay(d, origin, direction);
        return p ? std::pair{p->x, p->y} : std::pair{NAN, NAN};
    };
    EXPECT_EQ(map({0.5f, 0.75f, 0}, {0, 0, -1}), std::pair(-960.0f, 540.0f));
    EXPECT_EQ(map({0, 1, 0}, {0, 0, -4}), std::pair(-1920.0f, 0.0f));
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(0.0f, 1080.0f))
        << "a new monitor's first hit is not clamped";
    EXPECT_TRUE(std::isnan(map({2, 0.75f, 0}, {0, 0, -1}).first)) << "outside, not current";
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, -3}, {0, 0, 1}).first)) << "from behind";
    EXPECT_EQ(map({0.5f, 0.75f, -3}, {0, 0, -1}), std::pair(-960.0f, 540.0f)) << "origin behind the screen";
    d.is_current = true;
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(-1.0f, 1079.0f));
    EXPECT_EQ(map({-5, 3, 0}, {0, 0, -1}), std::pair(-1920.0f, 0.0f));
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, 0}, {1, 0, 0}).first)) << "parallel, even when current";
    EXPECT_TRUE(std::isnan(map({NAN, 0.75f, 0}, {0, 0, -1}).first)) << "a NaN pose is not pinned";
    EXPECT_EQ(truncateToPixel(-0.5f), 0);
    EXPECT_EQ(truncateToPixel(-1.5f), -1);
    EXPECT_EQ(truncateToPixel(2147483648.0f), std::nullopt);
    // Two monitors in the frame loop: the one the ray enters becomes current; overlapping entries both place.
    Recorder rec;
    CursorStabilizer direct = makeCursorStabilizer(5, false);
    std::vector<DisplayPlane> list = {screen(0), screen(1920)};
    pointAtDisplays(list, {{0.5f, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    EXPECT_TRUE(!list[0].is_current && list[1].is_current);
    list[0].is_current = true, list[1].is_current = false;
    pointAtDisplays(list, {{0.5f, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    pointAtDisplays(list, {{3, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    EXPECT_EQ(rec.placed,
              (decltype(rec.placed){{960, 540}, {2880, 540}, {960, 540}, {2880, 540}, {3839, 540}}));
    EXPECT_TRUE(list[1].is_current && !list[0].is_current);
}

TEST(Stabilizer, PlacesTheMeanOfTheRawPositionsTruncatedTowardZero) {
    // N = 1: the previous raw position and the new one; negative sums truncate toward zero (-5 / 2 is -2).
    Recorder rec;
    CursorStabilizer s = makeCursorStabilizer(1, true);
    for (auto [x, y] : {std::pair{100, 100}, {101, 100}, {-3, -3}, {-2, -2}})
        placeCursor(s, x, y, rec.io());
    EXPECT_EQ(rec.placed, (decltype(rec.placed){{50, 50}, {100, 100}, {49, 48}, {-2, -2}}));
}

struct Frame {
    uint32_t tick;
    float trigger;
    uint64_t buttons = 0;
    float pad_x = 0, pad_y = 0;
    bool tracked = true;
};
struct Played {
    std::vector<std::string> sent;
    std::vector<uint32_t> pulses;
    bool cursor_enabled;
};

// The frames through handleButtons (an untracked one lets go of what bindings hold, as the runner does),
// then the runner's stop.
Played play(const RunnerSettings& settings, std::vector<Frame> frames, float start_trigger = 0) {
    TrackedController c = makeTrackedController(nullptr, 1);
    ButtonState state;
    Recorder rec;
    frames.insert(frames.begin(), Frame{0, start_trigger});
    for (const Frame& f : frames) {
        c.previous_state = c.state;
        c.state.rAxis[1].x = f.trigger;
        c.state.ulButtonPressed = f.buttons;
        c.state.rAxis[0] = {f.pad_x, f.pad_y};
        rec.now = f.tick;
        if (f.tracked)
            handleButtons(c, settings, state, rec.io());
        else
            releaseBindings(settings, state, rec.io());
    }
    releaseEverything(settings, state, rec.io());
    return {rec.sent, rec.pulses, state.cursor_enabled};
}

RunnerSettings handed(int32_t handedness, uint16_t haptic_click_us = 0) {
    RunnerSettings settings{200, handedness, false, 0, 0, 0};
    settings.haptic_click_us = haptic_click_us;
    return settings;
}

using Sent = std::vector<std::string>;

TEST(Buttons, TriggerClicksAndDragsOnTheTickAndEveryOtherButtonActsOnItsEdge) {
    // A release before any held frame began the drag clicks, however long after the threshold it is seen.
    EXPECT_EQ(play(handed(1), {{1000, 1}, {1199, 0}}).sent, Sent{"left click"});
    EXPECT_EQ(play(handed(1), {{1000, 1}, {1200, 1}, {1205, 0}}).sent, Sent{"left click"});
    EXPECT_EQ(play(handed(2), {{1000, 1}, {1201, 1}, {1202, 1}, {1300, 0}}).sent,
              (Sent{"right down", "right up"}));
    EXPECT_EQ(play(handed(3), {{1000, 1}, {1100, 0}, {1200, 1}, {1500, 1}, {1600, 0}}).sent, Sent{});
    // The tick wraps: the difference is unsigned.
    EXPECT_EQ(play(handed(1), {{0xFFFFFFF0u, 1}, {40, 0}}).sent, Sent{"left click"});
    // Held when the loop starts: neither clicks nor drags until it has been seen released.
    EXPECT_EQ(play(handed(1), {{500, 1}, {900, 0}, {950, 1}, {990, 0}}, 1).sent, Sent{"left click"});
    // Stopping ends a drag, also one whose release came while untracked (the runner's lost frames end
    // that one at once: the end-to-end tests). No haptics asked for, none sent.
    const Played untracked = play(handed(1), {{100, 1}, {400, 1}, {500, 0, 0, 0, 0, false}, {600, 0}});
    EXPECT_EQ(untracked.sent, (Sent{"left down", "left up"}));
    EXPECT_TRUE(untracked.pulses.empty());
    EXPECT_EQ(play(handed(1), {{100, 1}, {400, 1}}).sent, (Sent{"left down", "left up"}));
    // Grip, menu, wheel, touchpad halves (the primary half double-clicks; x = 0 is in both halves). A pulse
    // for each click, one for a double click, none for the wheel, none for a second click in 5 ms.
    const Played played = play(handed(1, 1500), {{10, 0, kGrip},
                                                 {20, 0, kGrip | kMenu},
                                                 {30, 0, 0, 0.0f, 0.5f},
                                                 {40, 0, 0, 0.4f, -1.0f},
                                                 {50, 0, 0, 0.6f, 0.5f},
                                                 {60, 0, kPad, 0.0f, 0.9f},
                                                 {70, 0, 0, 0.0f, 0.0f},
                                                 {80, 0, kPad, 0.7f, 0.2f},
                                                 {90, 0, kPad, 0, 0}});
    EXPECT_FALSE(played.cursor_enabled);
    EXPECT_EQ(played.sent, (Sent{"middle click", "wheel 15", "wheel -30", "left click", "left click",
                                 "right click", "right click"}));
    EXPECT_EQ(played.pulses, (std::vector<uint32_t>{10, 60, 80}));
    EXPECT_EQ(play(handed(2), {{10, 0, kPad, -0.2f, 0.1f}, {20, 0, 0, 0, 0}, {30, 0, kPad, 0.2f, 0.1f}}).sent,
              (Sent{"left click", "right click", "right click"}));
}

TEST(Bindings, ControlsHoldKeysAndButtonsWhileHeldAndLetGoWhenTheirReleaseCannotBeSeen) {
    const ConfigRead read = parseConfigText(R"({"handedness": 1, "haptics": {"click_us": 1500},
        "trigger": {"dragging_threshold_ms": 200}, "bindings": {"trigger": "left", "grip": "key:ctrl+alt+t",
        "menu": "double", "pad_left": "key:page_up", "pad_right": "toggle", "pad_centre": "key:shift"}})");
    ASSERT_TRUE(read.contents) << read.message;
    const Played played =
        play(read.contents->settings, {{10, 1, kGrip}, // the left button at once, no threshold
                                       {15, 1, 0},
                                       {20, 0, kMenu},
                                       {30, 0, kPad, -0.5f, 0.2f},
                                       {40, 0, kPad, -0.5f, 0.2f, false}, // untracked
                                       {50, 0, kPad, -0.5f, 0.2f},        // not seen released: nothing
                                       {60, 0, 0, 0.1f, 0.3f},            // resting on the strip
                                       {65, 1, 0, 0.1f, 0.3f},
                                       {70, 1, kPad, 0.5f, 0.2f}, // the cursor switched off
                                       {80, 1, kGrip, 0, 0},
                                       {90, 0, 0, 0, 0}});
    EXPECT_EQ(played.sent,
              (Sent{"ctrl down",  "alt down",   "t down",     "left down", "t up",         "alt up",
                    "ctrl up",    "left click", "left click", "left up",   "page_up down", "page_up up",
                    "shift down", "left down",  "shift up",   "left up",   "ctrl down",    "alt down",
                    "t down",     "t up",       "alt up",     "ctrl up"}));
    EXPECT_EQ(played.pulses, (std::vector<uint32_t>{10, 20, 30, 60, 65, 80})) << "one per press, one in 5 ms";
    EXPECT_FALSE(played.cursor_enabled);
}

TEST(FramePacing, FramesStartAtLeastFiveTicksApartAcrossTheWrapAfterOneSleepEach) {
    for (uint32_t start : {1000u, 0xFFFFFFFEu}) {
        Recorder rec;
        rec.now = start;
        uint32_t frame_start = start;
        for (int i = 0; i < 4; ++i) {
            rec.early_ms = i == 3 ? 2 : 0; // the last sleep cut short: the rest in 1 ms steps
            const uint32_t before = frame_start;
            paceFrame(frame_start, rec.io());
            EXPECT_EQ(frame_start - before, 5u);
        }
        EXPECT_EQ(rec.wakes, 3u + 3u);
        rec.now += 12; // a long frame: the next one starts at once
        paceFrame(frame_start, rec.io());
        EXPECT_EQ(frame_start, rec.now);
    }
}

} // namespace
