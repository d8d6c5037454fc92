// Button tests and pose geometry of the controller record, on states and poses set by hand.
#include "shared/tracked_controller.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

TrackedController controllerWithPose(const float (&m)[3][4]) {
    TrackedController c = makeTrackedController(nullptr, 3);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 4; ++k)
            c.poses[3].mDeviceToAbsoluteTracking.m[r][k] = m[r][k];
    return c;
}

void setTrigger(TrackedController& c, float before, float now) {
    c.previous_state.rAxis[1].x = before;
    c.state.rAxis[1].x = now;
}

// Bit-exact float comparison: -0 and +0 differ, NaN equals itself.
void expectSameBits(float expected, float actual, const char* what) {
    EXPECT_EQ(std::bit_cast<uint32_t>(expected), std::bit_cast<uint32_t>(actual))
        << what << ": expected " << expected << ", got " << actual;
}

TEST(ControllerButtons, TriggerThresholdIsInclusiveAndEdgesAreStrict) {
    TrackedController c = makeTrackedController(nullptr, 1);
    setTrigger(c, 0.0f, 0.1f);
    EXPECT_TRUE(isHeld(c, c.trigger_button));
    EXPECT_TRUE(pressEdge(c, c.trigger_button));
    setTrigger(c, 0.1f, 0.1f);
    EXPECT_TRUE(isHeld(c, c.trigger_button));
    EXPECT_FALSE(pressEdge(c, c.trigger_button)) << "a press edge needs the previous value below 0.1";
    EXPECT_FALSE(releaseEdge(c));
    setTrigger(c, 0.1f, 0.09999f);
    EXPECT_FALSE(isHeld(c, c.trigger_button));
    EXPECT_TRUE(releaseEdge(c));
    setTrigger(c, 0.0f, 0.09999f);
    EXPECT_FALSE(pressEdge(c, c.trigger_button));
}

TEST(ControllerButtons, TriggerBindingReadsTheAxisNeverBit15) {
    TrackedController c = makeTrackedController(nullptr, 1);
    c.state.ulButtonPressed = 0x8000;
    EXPECT_FALSE(isHeld(c, c.trigger_button));
    EXPECT_FALSE(pressEdge(c, c.trigger_button));
    c.state.ulButtonPressed = 0;
    setTrigger(c, 0.0f, 0.5f);
    EXPECT_TRUE(isHeld(c, c.trigger_button));
}

TEST(ControllerButtons, TouchpadPressIsBit32AndBit31IsIgnored) {
    TrackedController c = makeTrackedController(nullptr, 1);
    c.state.ulButtonPressed = 1ull << 31;
    EXPECT_FALSE(isHeld(c, c.touchpad_button));
    EXPECT_FALSE(pressEdge(c, c.touchpad_button));
    c.state.ulButtonPressed = 1ull << 32;
    EXPECT_TRUE(isHeld(c, c.touchpad_button));
    EXPECT_TRUE(pressEdge(c, c.touchpad_button));
    c.previous_state.ulButtonPressed = 1ull << 32;
    EXPECT_FALSE(pressEdge(c, c.touchpad_button));
}

TEST(ControllerButtons, MaskButtonsNeedARisingEdge) {
    TrackedController c = makeTrackedController(nullptr, 1);
    c.state.ulButtonPressed = 2 | 4;
    EXPECT_TRUE(pressEdge(c, c.menu_button));
    EXPECT_TRUE(pressEdge(c, c.grip_button));
    c.previous_state.ulButtonPressed = 2;
    EXPECT_FALSE(pressEdge(c, c.menu_button));
    EXPECT_TRUE(pressEdge(c, c.grip_button));
    EXPECT_TRUE(isHeld(c, c.menu_button));
}

TEST(ControllerButtons, TouchpadRegionsHaveInclusiveBoundsAndAnUntouchedCentre) {
    TrackedController c = makeTrackedController(nullptr, 1);
    c.state.rAxis[0] = {0.0f, 0.0f};
    for (int r = 0; r < 9; ++r)
        EXPECT_FALSE(touchpadIn(c, r)) << "untouched pad in region " << r;
    c.state.rAxis[0] = {0.0f, 0.5f};
    const bool expected[9] = {true, true, false, true, true, false, false, true, true};
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(expected[r], touchpadIn(c, r)) << "region " << r;
    c.state.rAxis[0] = {0.6f, 0.5f};
    EXPECT_FALSE(touchpadIn(c, kTouchpadCentreStrip));
    c.state.rAxis[0] = {NAN, 0.5f};
    EXPECT_FALSE(touchpadIn(c, kTouchpadLeftHalf));
}

TEST(ControllerGeometry, RaysOfAQuarterTurnAreExact) {
    // A quarter turn about +Y, then a translation: the controller's -Z axis points along -X.
    const float m[3][4] = {{0, 0, 1, 1.5f}, {0, 1, 0, 2.0f}, {-1, 0, 0, -3.25f}};
    const TrackedController c = controllerWithPose(m);
    const PointingRay straight = pointingRay(c);
    expectSameBits(1.5f, straight.origin.x, "origin x");
    expectSameBits(2.0f, straight.origin.y, "origin y");
    expectSameBits(-3.25f, straight.origin.z, "origin z");
    expectSameBits(-1.0f, straight.direction.x, "direction x");
    expectSameBits(0.0f, straight.direction.y, "direction y");
    expectSameBits(0.0f, straight.direction.z, "direction z");
    const PointingRay tilted = pointingRay(c, 0.5f, -1.25f);
    expectSameBits(-1.0f, tilted.direction.x, "tilted x");
    expectSameBits(-1.25f, tilted.direction.y, "tilted y");
    expectSameBits(-0.5f, tilted.direction.z, "tilted z");

    const PointingRay tip = tipRay(c);
    // (0, -0.077, -0.038) turned: x gets -0.038 * m[0][2], y gets -0.077, z gets 0.
    expectSameBits((0.0f - 0.0f) - 0.038f + 1.5f, tip.origin.x, "tip x");
    expectSameBits(((0.0f - 0.077f) - 0.0f) + 2.0f, tip.origin.y, "tip y");
    expectSameBits(-3.25f, tip.origin.z, "tip z");
    expectSameBits(-1.0f, tip.direction.x, "tip direction x");
}

TEST(ControllerGeometry, RaysFollowTheSpelledOutRoundingOrder) {
    // A pose turned by about 30 degrees about two axes: every product rounds, so any other order of the
    // additions (or a fused multiply-add) changes the last bits.
    const float m[3][4] = {{0.866025388f, -0.25f, 0.433012694f, 0.123456791f},
                           {0.0f, 0.866025388f, 0.5f, 1.37f},
                           {-0.5f, -0.433012694f, 0.75f, -0.691f}};
    const TrackedController c = controllerWithPose(m);
    const float ox = 0.1f;
    const float oy = -1.3f;
    const PointingRay ray = pointingRay(c, ox, oy);
    const PointingRay tip = tipRay(c);
    for (int i = 0; i < 3; ++i) {
        volatile float a = m[i][1] * oy;
        volatile float b = m[i][0] * ox;
        volatile float sum = a + b;
        volatile float minus = sum - m[i][2];
        volatile float q = minus + m[i][3];
        volatile float o = ((m[i][1] * 0.0f + m[i][0] * 0.0f) + m[i][2] * 0.0f) + m[i][3];
        const float direction = q - o;
        const float got[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
        expectSameBits(direction, got[i], "pointing direction");

        volatile float t1 = m[i][1] * 0.077f;
        volatile float t2 = m[i][2] * 0.038f;
        volatile float s1 = m[i][0] * 0.0f - t1;
        volatile float s2 = s1 - t2;
        const float expected_tip = s2 + m[i][3];
        const float tips[3] = {tip.origin.x, tip.origin.y, tip.origin.z};
        expectSameBits(expected_tip, tips[i], "tip");
    }
    // With zero offsets the pointing direction is the tip ray's forward axis, up to rounding.
    const PointingRay forward = pointingRay(c);
    EXPECT_NEAR(forward.direction.x, tip.direction.x, 1e-6);
    EXPECT_NEAR(forward.direction.y, tip.direction.y, 1e-6);
    EXPECT_NEAR(forward.direction.z, tip.direction.z, 1e-6);
}

TEST(ControllerGeometry, IdentityPoseTipSitsBelowAndAheadOfTheOrigin) {
    const float m[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}};
    const PointingRay tip = tipRay(controllerWithPose(m));
    EXPECT_FLOAT_EQ(1.0f, tip.origin.x);
    EXPECT_FLOAT_EQ(1.923f, tip.origin.y);
    EXPECT_FLOAT_EQ(2.962f, tip.origin.z);
}

} // namespace
