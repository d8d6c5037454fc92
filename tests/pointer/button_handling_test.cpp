#include "pointer/button_handling.h"
#include "recording_io.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
bool operator==(const MouseInput& a, const MouseInput& b) {
    return a.flags == b.flags && a.mouse_data == b.mouse_data;
}
void PrintTo(const MouseInput& m, std::ostream* os) {
    *os << "{0x" << std::hex << m.flags << ", " << std::dec << m.mouse_data << "}";
}
} // namespace platform

namespace {

using platform::MouseInput;

constexpr uint64_t kGrip = 1ull << 2;
constexpr uint64_t kMenu = 1ull << 1;
constexpr uint64_t kPadPress = 1ull << 32;

struct Input {
    float trigger = 0.0f;
    uint64_t buttons = 0;
    float pad_x = 0.0f;
    float pad_y = 0.0f;
};

// Drives handleButtons frame by frame the way the loop does: each frame's state becomes the next
// frame's previous state.
struct Buttons {
    TrackedController controller = makeTrackedController(nullptr, 1);
    RunnerSettings settings{};
    ButtonState state{};
    RecordingIo rec;

    explicit Buttons(int32_t handedness, int32_t threshold_ms = 200) {
        settings.handedness = handedness;
        settings.dragging_threshold_ms = threshold_ms;
        // The loop has already seen the trigger released, unless a test says otherwise.
        frame(0, {});
    }

    // A frame the loop skipped (controller not tracked): the state is still read, nothing is handled.
    void untracked(Input in) {
        controller.previous_state = controller.state;
        controller.state = {};
        controller.state.ulButtonPressed = in.buttons;
        controller.state.rAxis[0] = {in.pad_x, in.pad_y};
        controller.state.rAxis[1] = {in.trigger, 0.0f};
    }
    // One tracked frame at tick `now`; returns the records it sent.
    std::vector<MouseInput> frame(uint32_t now, Input in) {
        untracked(in);
        rec.now = now;
        rec.inputs.clear();
        handleButtons(controller, settings, state, rec.io());
        return rec.inputs;
    }
};

using Records = std::vector<MouseInput>;

const MouseInput kLeftClick{0x0006, 0};
const MouseInput kRightClick{0x0018, 0};
const MouseInput kMiddleClick{0x0060, 0};
const MouseInput kLeftDown{0x0002, 0};
const MouseInput kLeftUp{0x0004, 0};
const MouseInput kRightDown{0x0008, 0};
const MouseInput kRightUp{0x0010, 0};

TEST(TriggerButton, ShortPullClicksThePrimaryButtonAtTheRelease) {
    Buttons right(1);
    EXPECT_EQ(right.frame(1000, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(right.frame(1100, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(right.frame(1199, {.trigger = 0.0f}), (Records{kLeftClick}));
    EXPECT_FALSE(right.state.dragging);
}

TEST(TriggerButton, LongPullHoldsThePrimaryButtonUntilTheRelease) {
    Buttons b(1);
    EXPECT_EQ(b.frame(1000, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(b.frame(1200, {.trigger = 0.5f}), Records{}); // exactly the threshold: not yet
    EXPECT_EQ(b.frame(1201, {.trigger = 0.5f}), (Records{kLeftDown}));
    EXPECT_TRUE(b.state.dragging);
    EXPECT_EQ(b.frame(1500, {.trigger = 0.9f}), Records{});
    EXPECT_EQ(b.frame(1505, {.trigger = 0.05f}), (Records{kLeftUp}));
    EXPECT_FALSE(b.state.dragging);
}

TEST(TriggerButton, ReleaseAtExactlyTheThresholdWithoutADragFrameLetsGo) {
    Buttons b(1);
    b.frame(1000, {.trigger = 0.5f});
    EXPECT_EQ(b.frame(1200, {.trigger = 0.0f}), (Records{kLeftUp}));
}

TEST(TriggerButton, ThresholdIsInclusiveAtPointOne) {
    Buttons b(1);
    EXPECT_EQ(b.frame(1000, {.trigger = 0.1f}), Records{});
    EXPECT_EQ(b.frame(1010, {.trigger = 0.0f}), (Records{kLeftClick}));
    EXPECT_EQ(b.frame(1020, {.trigger = 0.0999f}), Records{});
    EXPECT_EQ(b.frame(2000, {.trigger = 0.0999f}), Records{});
    EXPECT_EQ(b.frame(2010, {.trigger = 0.0f}), Records{});
}

TEST(TriggerButton, ElapsedTimeIsAnUnsignedDifferenceAcrossTheTickWrap) {
    Buttons b(1);
    b.frame(0xFFFFFF00u, {.trigger = 0.5f});
    EXPECT_EQ(b.frame(0xFFFFFF80u, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(b.frame(50, {.trigger = 0.5f}), (Records{kLeftDown}));

    Buttons c(1);
    c.frame(0xFFFFFFF0u, {.trigger = 0.5f});
    EXPECT_EQ(c.frame(20, {.trigger = 0.0f}), (Records{kLeftClick}));
}

TEST(TriggerButton, OtherHandednessSendsNothingFromTheTrigger) {
    for (int32_t handedness : {0, 3}) {
        Buttons b(handedness);
        EXPECT_EQ(b.frame(1000, {.trigger = 0.5f}), Records{});
        EXPECT_EQ(b.frame(1001, {.trigger = 0.0f}), Records{});
        EXPECT_EQ(b.frame(2000, {.trigger = 0.5f}), Records{});
        EXPECT_EQ(b.frame(3000, {.trigger = 0.5f}), Records{});
        EXPECT_TRUE(b.state.dragging);
        EXPECT_EQ(b.frame(3005, {.trigger = 0.0f}), Records{});
        EXPECT_FALSE(b.state.dragging);
        // The touchpad halves still click, once each.
        EXPECT_EQ(b.frame(4000, {.buttons = kPadPress, .pad_x = -0.7f, .pad_y = 0.2f}),
                  (Records{kLeftClick}));
        b.frame(4010, {});
        EXPECT_EQ(b.frame(4020, {.buttons = kPadPress, .pad_x = 0.7f, .pad_y = 0.2f}),
                  (Records{kRightClick}));
    }
}

TEST(TriggerButton, TriggerAlreadyHeldWhenTheLoopStartsNeitherDragsNorClicks) {
    Buttons b(1);
    b.state = ButtonState{};
    b.controller.state = {};
    b.controller.state.rAxis[1].x = 0.8f; // the pull that selected the controller
    EXPECT_EQ(b.frame(100000, {.trigger = 0.8f}), Records{});
    EXPECT_EQ(b.frame(100300, {.trigger = 0.8f}), Records{});
    EXPECT_FALSE(b.state.dragging);
    EXPECT_EQ(b.frame(100305, {.trigger = 0.0f}), Records{});
    // From now on the trigger works.
    EXPECT_EQ(b.frame(100400, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(b.frame(100450, {.trigger = 0.0f}), (Records{kLeftClick}));
}

TEST(TriggerButton, TriggerBelowThresholdAtTheStartCountsFromTheFirstFrame) {
    Buttons b(1);
    b.state = ButtonState{};
    b.controller.state = {};
    EXPECT_EQ(b.frame(1000, {.trigger = 0.0f}), Records{});
    EXPECT_EQ(b.frame(1005, {.trigger = 0.5f}), Records{});
    EXPECT_EQ(b.frame(1010, {.trigger = 0.0f}), (Records{kLeftClick}));
}

TEST(TriggerButton, ReleaseLostWhileUntrackedStillEndsTheDrag) {
    Buttons b(1);
    b.frame(1000, {.trigger = 0.5f});
    ASSERT_EQ(b.frame(1300, {.trigger = 0.5f}), (Records{kLeftDown}));
    b.untracked({.trigger = 0.0f});
    b.untracked({.trigger = 0.0f});
    EXPECT_EQ(b.frame(1400, {.trigger = 0.0f}), (Records{kLeftUp}));
    EXPECT_FALSE(b.state.dragging);
    EXPECT_EQ(b.frame(1405, {.trigger = 0.0f}), Records{});
}

TEST(TriggerButton, StoppingReleasesTheButtonADragHolds) {
    for (auto [handedness, up] : {std::pair{1, kLeftUp}, std::pair{2, kRightUp}}) {
        Buttons b(handedness);
        b.frame(1000, {.trigger = 0.5f});
        b.frame(1300, {.trigger = 0.5f});
        b.rec.inputs.clear();
        releaseHeldButton(b.settings, b.state, b.rec.io());
        EXPECT_EQ(b.rec.inputs, (Records{up}));
        EXPECT_FALSE(b.state.dragging);
        b.rec.inputs.clear();
        releaseHeldButton(b.settings, b.state, b.rec.io());
        EXPECT_EQ(b.rec.inputs, Records{});
    }
}

TEST(Touchpad, PrimaryHalfDoubleClicksTheOtherHalfClicksOnce) {
    Buttons right(1);
    EXPECT_EQ(right.frame(1000, {.buttons = kPadPress, .pad_x = -0.7f, .pad_y = 0.3f}),
              (Records{kLeftClick, kLeftClick}));
    EXPECT_EQ(right.frame(1005, {.buttons = kPadPress, .pad_x = -0.7f, .pad_y = 0.3f}), Records{});
    right.frame(1010, {});
    EXPECT_EQ(right.frame(1015, {.buttons = kPadPress, .pad_x = 0.7f, .pad_y = -0.3f}),
              (Records{kRightClick}));

    Buttons left(2);
    EXPECT_EQ(left.frame(1000, {.buttons = kPadPress, .pad_x = -0.7f, .pad_y = 0.3f}), (Records{kLeftClick}));
    left.frame(1010, {});
    EXPECT_EQ(left.frame(1015, {.buttons = kPadPress, .pad_x = 0.7f}), (Records{kRightClick, kRightClick}));
}

TEST(Touchpad, PressOnTheMiddleLineIsInBothHalves) {
    Buttons b(1);
    EXPECT_EQ(b.frame(1000, {.buttons = kPadPress, .pad_x = 0.0f, .pad_y = 0.5f}),
              (Records{kLeftClick, kLeftClick, kRightClick}));
}

TEST(Touchpad, PressBitThirtyOneAloneIsNotAPress) {
    Buttons b(1);
    EXPECT_EQ(b.frame(1000, {.buttons = 1ull << 31, .pad_x = -0.7f, .pad_y = 0.0f}), Records{});
}

TEST(Touchpad, ThumbOnTheCentreStripScrolls) {
    Buttons b(1);
    EXPECT_EQ(b.frame(1000, {.pad_x = 0.0f, .pad_y = 0.5f}), (Records{{0x0800, 15}}));
    EXPECT_EQ(b.frame(1005, {.pad_x = 0.0f, .pad_y = 0.5f}), (Records{{0x0800, 15}}));
    EXPECT_EQ(b.frame(1010, {.pad_x = 0.0f, .pad_y = -1.0f}), (Records{{0x0800, -30}}));
    EXPECT_EQ(b.frame(1015, {.pad_x = 0.5f, .pad_y = 1.0f}), (Records{{0x0800, 30}}));
    EXPECT_EQ(b.frame(1020, {.pad_x = -0.2f, .pad_y = -0.05f}), (Records{{0x0800, -1}}));
    EXPECT_EQ(b.frame(1025, {.pad_x = 0.2f, .pad_y = 0.01f}), (Records{{0x0800, 0}}));
    EXPECT_EQ(b.frame(1030, {.pad_x = 0.6f, .pad_y = 0.5f}), Records{});
}

TEST(Touchpad, PressingOrLeavingThePadStopsTheWheel) {
    Buttons b(1);
    b.frame(1000, {.buttons = kPadPress, .pad_x = 0.0f, .pad_y = 0.0f});
    // Off the pad (exactly 0, 0): no wheel and no click, even with the press bit set.
    EXPECT_EQ(b.frame(1005, {.buttons = 0, .pad_x = 0.0f, .pad_y = 0.0f}), Records{});
    EXPECT_EQ(b.frame(1010, {.buttons = kPadPress, .pad_x = 0.0f, .pad_y = 0.0f}), Records{});
    b.frame(1015, {});
    // Pressed on the strip's left part: the press clicks, the wheel stays quiet while pressed.
    EXPECT_EQ(b.frame(1020, {.buttons = kPadPress, .pad_x = -0.3f, .pad_y = 0.5f}),
              (Records{kLeftClick, kLeftClick}));
    EXPECT_EQ(b.frame(1025, {.buttons = kPadPress, .pad_x = -0.3f, .pad_y = 0.5f}), Records{});
}

TEST(OtherButtons, EverythingInOneFrameInItsOrder) {
    Buttons b(1);
    b.frame(1000, {.trigger = 0.5f});
    testing::internal::CaptureStdout();
    const Records r =
        b.frame(1100, {.trigger = 0.0f, .buttons = kGrip | kMenu | kPadPress, .pad_x = 0.25f, .pad_y = 0.5f});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, (Records{kMiddleClick, kRightClick, kLeftClick}));
}

} // namespace
