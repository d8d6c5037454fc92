// The runner's frame on a synthetic clock: the ray's pixel among the monitors, cursor stabilization, the
// buttons as bound (the controller played by the simulated runtime in-process), and frame pacing.
#include "pointer/runner.h"
#include "sim/sim_core.h"
#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

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
        io.print = [this](const char* text) { sent.push_back(text); };
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
    const DisplayPlane d = screen(-1920);
    bool current = false;
    auto map = [&](Vec3 origin, Vec3 direction) {
        const auto p = mapRayToDisplay(d, {origin, direction}, current);
        return p ? std::pair{p->x, p->y} : std::pair{NAN, NAN};
    };
    EXPECT_EQ(map({0.5f, 0.75f, 0}, {0, 0, -1}), std::pair(-960.0f, 540.0f));
    EXPECT_EQ(map({0, 1, 0}, {0, 0, -4}), std::pair(-1920.0f, 0.0f));
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(0.0f, 1080.0f))
        << "a new monitor's first hit is not clamped";
    EXPECT_TRUE(std::isnan(map({2, 0.75f, 0}, {0, 0, -1}).first)) << "outside, not current";
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, -3}, {0, 0, 1}).first)) << "from behind";
    EXPECT_EQ(map({0.5f, 0.75f, -3}, {0, 0, -1}), std::pair(-960.0f, 540.0f)) << "origin behind the screen";
    current = true;
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(-1.0f, 1079.0f));
    EXPECT_EQ(map({-5, 3, 0}, {0, 0, -1}), std::pair(-1920.0f, 0.0f));
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, 0}, {1, 0, 0}).first)) << "parallel, even when current";
    EXPECT_TRUE(std::isnan(map({NAN, 0.75f, 0}, {0, 0, -1}).first)) << "a NaN pose is not pinned";
    EXPECT_EQ(truncateToPixel(-0.5f), 0);
    EXPECT_EQ(truncateToPixel(-1.5f), -1);
    EXPECT_EQ(truncateToPixel(2147483648.0f), std::nullopt);
    // Among monitors the one the ray enters becomes current, and of overlapping ones the last in the list
    // gives the pixel; a ray that misses them all is pinned to the current one, which it entered last.
    const std::vector<DisplayPlane> list = {screen(0), screen(1920), screen(-1920)};
    std::optional<size_t> on;
    auto pixel = [&](float x, float y) {
        const auto p = pixelOnMonitors(list, on, {{x, y, 0}, {0, 0, -1}});
        return p ? std::pair{p->x, p->y} : std::pair{-1, -1};
    };
    EXPECT_EQ(pixel(3, 0.75f), std::pair(-1, -1));
    EXPECT_EQ(on, std::nullopt);
    EXPECT_EQ(pixel(0.5f, 0.75f), std::pair(-960, 540));
    EXPECT_EQ(on, 2u);
    on = 0;
    EXPECT_EQ(pixel(1, 0.5f), std::pair(0, 1080)) << "entered anew, unclamped, though the first was current";
    EXPECT_EQ(pixel(3, 0.75f), std::pair(-1, 540));
    EXPECT_EQ(on, 2u);
}

TEST(Stabilizer, PlacesTheMeanOfTheRawPositionsTruncatedTowardZero) {
    // N = 1: the previous raw position and the new one; negative sums truncate toward zero (-5 / 2 is -2).
    CursorStabilizer s = makeCursorStabilizer(1, true);
    std::vector<std::pair<int32_t, int32_t>> placed;
    for (auto [x, y] : {std::pair{100, 100}, {101, 100}, {-3, -3}, {-2, -2}}) {
        const platform::CursorPosition at = stabilizedPosition(s, x, y);
        placed.emplace_back(at.x, at.y);
    }
    EXPECT_EQ(placed, (decltype(placed){{50, 50}, {100, 100}, {49, 48}, {-2, -2}}));
}

// The controller's button bits as the runtime reports them.
enum : uint64_t { kMenu = 1ull << 1, kGrip = 1ull << 2, kPad = 1ull << 32 };

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

// The frames through the buttons as the runner takes them (an untracked one lets go of what the bindings
// hold, and of a drag whose trigger is let go), then the runner's stop.
Played play(const RunnerSettings& settings, std::vector<Frame> frames, float start_trigger = 0,
            ThumbControl thumb = {}) {
    useVrLibrary(simVrLibrary());
    simLoadScenarioText("device 0 hmd\ndevice 1 controller\n");
    EXPECT_EQ(startVr().error, vr::VRInitError_None);
    SimDevice& device = simProcessRuntime().devices[1];
    TrackedController c = makeTrackedController(vrSystem(), 1);
    c.model.thumb = thumb;
    ButtonState state;
    TriggerMachine trigger;
    Recorder rec;
    frames.insert(frames.begin(), Frame{0, start_trigger});
    for (const Frame& f : frames) {
        device.trigger = f.trigger;
        device.buttons = f.buttons;
        device.pad_x = f.pad_x;
        device.pad_y = f.pad_y;
        device.pose_valid = f.tracked;
        const ControllerFrame frame = readControllerFrame(c);
        rec.now = f.tick;
        if (frame.tracked)
            handleButtons({c, frame, settings}, state, trigger, rec.io());
        else
            loseButtons(frame, settings, state, trigger, rec.io());
    }
    releaseEverything(settings, state, trigger, rec.io());
    return {rec.sent, rec.pulses, state.cursor_enabled};
}

RunnerSettings handed(int32_t handedness, uint16_t haptic_click_us = 0) {
    RunnerSettings settings{200, handedness, false, 0, 0, 0};
    settings.haptic_click_us = haptic_click_us;
    return settings;
}

using Sent = std::vector<std::string>;

TEST(Buttons, TheTriggerDrivesTheHandednessButtonAndEveryOtherButtonActsOnItsEdge) {
    EXPECT_EQ(play(handed(2), {{1000, 1}, {1201, 1}, {1202, 1}, {1300, 0}}).sent,
              (Sent{"right down", "right up"}));
    EXPECT_EQ(play(handed(3), {{1000, 1}, {1100, 0}, {1200, 1}, {1500, 1}, {1600, 0}}).sent, Sent{});
    // Stopping ends a drag; a release while untracked ends it at once. No haptics asked for, none sent.
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
    EXPECT_EQ(played.sent, (Sent{"middle click", "\nCursor disabled", "wheel 15", "wheel -30", "left click",
                                 "left click", "right click", "right click"}));
    EXPECT_EQ(played.pulses, (std::vector<uint32_t>{10, 60, 80}));
    EXPECT_EQ(play(handed(2), {{10, 0, kPad, -0.2f, 0.1f}, {20, 0, 0, 0, 0}, {30, 0, kPad, 0.2f, 0.1f}}).sent,
              (Sent{"left click", "right click", "right click"}));
}

TEST(Buttons, AJoystickScrollsAsTheStripBeyondItsDeadZoneOnlyAndItsHalvesClickWhenPressedDown) {
    // A stick at rest, drifting or pushed up to the dead zone scrolls nothing however long; beyond it the
    // strip's rate by its height, pushed up scrolling up; pressed down, its halves click as the pad's.
    const ThumbControl stick = {0, AxisKind::joystick};
    EXPECT_EQ(play(handed(1),
                   {{10, 0, 0, 0.04f, 0.05f},
                    {20, 0, 0, -0.1f, -0.15f},
                    {30, 0, 0, 0.0f, 0.2f},
                    {40, 0, 0, 0.0f, -0.2f},
                    {50, 0, 0, 0.1f, 0.25f},
                    {60, 0, 0, -0.3f, -1.0f},
                    {70, 0, 0, 0.6f, 0.9f},
                    {80, 0, kPad, -0.8f, 0.1f},
                    {90, 0, 0, 0, 0},
                    {100, 0, kPad, 0.8f, -0.1f}},
                   0, stick)
                  .sent,
              (Sent{"wheel 7", "wheel -30", "left click", "left click", "right click"}));
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
    EXPECT_EQ(played.sent, (Sent{"ctrl down",  "alt down",  "t down",       "left down",
                                 "t up",       "alt up",    "ctrl up",      "left click",
                                 "left click", "left up",   "page_up down", "page_up up",
                                 "shift down", "left down", "shift up",     "\nCursor disabled",
                                 "left up",    "ctrl down", "alt down",     "t down",
                                 "t up",       "alt up",    "ctrl up"}));
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
