// The controller as the programs see it: one frame per poll from the runtime's records (the controls'
// thresholds, bits, regions and edges, the rays to the bit).
#include "vr/controller_frame.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

namespace {

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// The controller's button bits as the runtime reports them.
enum : uint64_t { kMenu = 1ull << 1, kGrip = 1ull << 2, kPad = 1ull << 32 };

// The controls in a frame, in words: "trigger held pressed", one word list per control that is not idle.
std::string controls(const ControllerFrame& f) {
    std::string s;
    auto say = [&](const char* name, const ControlState& c) {
        if (c.held || c.pressed || c.released)
            s += std::string(s.empty() ? "" : ", ") + name + (c.held ? " held" : "") +
                 (c.pressed ? " pressed" : "") + (c.released ? " released" : "");
    };
    for (size_t i = 0; i < kControlCount; ++i)
        say(kControlNames[i], f.controls[i]);
    say("pad", f.pad);
    return s;
}

TEST(ControllerFrame, ControlsFollowTheirThresholdsBitsAndRegionsWithEdgesFromTheLastPoll) {
    ControllerFrame last;
    vr::TrackedDevicePose_t pose{};
    pose.bPoseIsValid = true;
    auto poll = [&](float trigger, uint64_t buttons, float x = 0, float y = 0) {
        vr::VRControllerState_t state{};
        state.rAxis[1].x = trigger;
        state.ulButtonPressed = buttons;
        state.rAxis[0] = {x, y};
        last = makeControllerFrame(last, state, pose, true, kStraightAhead);
        return controls(last);
    };
    EXPECT_EQ(poll(0.1f, 0), "trigger held pressed");
    EXPECT_EQ(poll(0.1f, 0), "trigger held");
    EXPECT_EQ(poll(0.09999f, 0), "trigger released");
    EXPECT_EQ(poll(0.09999f, 0), "");
    // Bit 15 (the trigger's binding value) is never the trigger, bit 31 (the touchpad's) never the pad.
    EXPECT_EQ(poll(0, kMenu), "menu held pressed");
    EXPECT_EQ(poll(0, (1ull << 15) | (1ull << 31) | kMenu | kGrip), "grip held pressed, menu held");
    // A half is held from the press in it (x = 0 is in both) until the pad is let go, wherever the thumb
    // goes; the centre strip is touched without pressing, within half the pad's width.
    EXPECT_EQ(poll(0, kPad, 0.0f, 0.5f), "grip released, menu released, pad_left held pressed, "
                                         "pad_right held pressed, pad held pressed");
    EXPECT_EQ(poll(0, 0, -0.7f, 0.5f), "pad_left released, pad_right released, pad released");
    EXPECT_EQ(poll(0, kPad, 0.7f, -1.0f), "pad_right held pressed, pad held pressed");
    EXPECT_EQ(poll(0, kPad, 0.0f, 0.0f), "pad_right held, pad held");
    EXPECT_EQ(poll(0, 0, 0.0f, 0.0f), "pad_right released, pad released") << "untouched: not on the strip";
    EXPECT_EQ(poll(0, 0, 0.5f, 1.0f), "pad_centre held pressed");
    EXPECT_EQ(poll(0, 0, 0.6f, 0.5f), "pad_centre released");
    EXPECT_EQ(poll(0, 0, 0.1f, 1.5f), "") << "beyond the pad";
    EXPECT_TRUE(last.tracked && last.thumb_touching && last.thumb_y == 1.5f);
    // Tracked: a valid pose of a device the runtime reports connected.
    pose.bDeviceIsConnected = true;
    EXPECT_FALSE(makeControllerFrame(last, {}, pose, false, kStraightAhead).tracked);
    pose.bPoseIsValid = false;
    const ControllerFrame lost = makeControllerFrame(last, {}, pose, true, kStraightAhead);
    EXPECT_TRUE(!lost.tracked && lost.connected);
}

TEST(ControllerFrame, RaysFollowTheGivenRoundingOrderToTheBit) {
    // Every product rounds, so another order of the additions, a fused multiply-add or a double constant
    // (0.077 for 0.077f changes the tip's y and z) shows in the last bits.
    const float m[3][4] = {{0.866025388f, -0.25f, 0.433012694f, 0.123456791f},
                           {0.0f, -0.527822018f, -0.815322816f, -0.413677096f},
                           {-0.5f, 0.658293843f, -0.82991159f, 1.3184135f}};
    vr::TrackedDevicePose_t pose{};
    pose.bPoseIsValid = true;
    std::memcpy(pose.mDeviceToAbsoluteTracking.m, m, sizeof m);
    const ControllerFrame f = makeControllerFrame({}, {}, pose, true, tiltedAim(0.1f, -1.3f));
    const Vec3 got[4] = {f.ray.origin, f.ray.direction, f.tip.origin, f.tip.direction};
    const uint32_t want[4][3] = {{bits(m[0][3]), bits(m[1][3]), bits(m[2][3])},
                                 {0xbcaf6460, 0x3fc030df, 0xbd9b61f0},
                                 {0x3e014849, 0xbeaf2182, 0x3fa64e34},
                                 {bits(-m[0][2]), bits(-m[1][2]), bits(-m[2][2])}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((std::array{bits(got[i].x), bits(got[i].y), bits(got[i].z)}),
                  (std::array{want[i][0], want[i][1], want[i][2]}))
            << i;
}

} // namespace
