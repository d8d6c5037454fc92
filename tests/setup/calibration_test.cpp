#include "setup/calibration.h"

#include <gtest/gtest.h>

namespace {

TEST(SampleRay, TakesTheTipBelowAndAheadOfTheControllerAndItsForwardAxis) {
    TrackedController controller = makeTrackedController(nullptr, 1);
    vr::HmdMatrix34_t& m = controller.poses[1].mDeviceToAbsoluteTracking;
    m = vr::HmdMatrix34_t{{{1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, 1, 3}}};
    const Ray ray = sampleRay(controller);
    EXPECT_EQ(ray.origin.x, 1.0f);
    EXPECT_EQ(ray.origin.y, 2.0f - 0.077f);
    EXPECT_EQ(ray.origin.z, 3.0f - 0.038f);
    EXPECT_FLOAT_EQ(ray.origin.y, 1.923f);
    EXPECT_FLOAT_EQ(ray.origin.z, 2.962f);
    EXPECT_EQ(ray.direction.x, -0.0f);
    EXPECT_EQ(ray.direction.y, -0.0f);
    EXPECT_EQ(ray.direction.z, -1.0f);

    // Turned half way round the Y axis: the tip is ahead along +Z now.
    m = vr::HmdMatrix34_t{{{-1, 0, 0, 1}, {0, 1, 0, 2}, {0, 0, -1, 3}}};
    const Ray turned = sampleRay(controller);
    EXPECT_EQ(turned.origin.z, 3.0f + 0.038f);
    EXPECT_EQ(turned.direction.z, 1.0f);
}

} // namespace
