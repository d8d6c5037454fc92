#include "geometry/closest_approach.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

namespace {

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

} // namespace

TEST(ClosestApproach, MidpointOfTwoLinesAndTheParallelTest) {
    auto exact = [](Vec3 a, Vec3 b) {
        return bits(a.x) == bits(b.x) && bits(a.y) == bits(b.y) && bits(a.z) == bits(b.z);
    };
    EXPECT_TRUE(
        exact(closestApproachMidpoint({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}), {0, 0.5f, 0}));
    EXPECT_TRUE(exact(closestApproachMidpoint({{0, 0, 0}, {1, 0, 0}}, {{1, 1, 0}, {0, -1, 0}}), {1, 0, 0}));
    EXPECT_TRUE(
        exact(closestApproachMidpoint({{0, 0, 0}, {1, 0, 0}}, {{-3, 2, 1}, {0, 1, 0}}), {-3, 0, 0.5f}))
        << "a closest point behind the controller counts";
    EXPECT_TRUE(exact(normalizedDirection({0, 0, -4}), {0, 0, -1}));
    const Vec3 d{0.3f, -0.2f, -1.0f};
    EXPECT_TRUE(estimateCorner({{0, 0, 0}, d}, {{1, 0, 0}, {d.x - 0.02f, d.y, d.z}}).usable)
        << "about 1 degree";
    for (Vec3 nearly : {d, Vec3{d.x * -2, d.y * -2, d.z * -2}, Vec3{d.x + 0.005f, d.y, d.z}, Vec3{NAN, 0, 1}})
        EXPECT_FALSE(estimateCorner({{0, 0, 0}, d}, {{1, 0, 0}, nearly}).usable) << nearly.x;
}
