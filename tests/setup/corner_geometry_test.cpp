#include "setup/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void expectExactly(const Vec3& actual, const Vec3& expected) {
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.z, expected.z);
}

TEST(ClosestApproachMidpoint, SkewLinesGiveTheMidpointOfTheCommonPerpendicular) {
    const Ray first{{0, 0, 0}, {1, 0, 0}};
    const Ray second{{0, 1, 1}, {0, 0, -1}};
    expectExactly(closestApproachMidpoint(first, second), {0.0f, 0.5f, 0.0f});
}

TEST(ClosestApproachMidpoint, IntersectingLinesGiveTheIntersection) {
    const Ray first{{0, 0, 0}, {1, 0, 0}};
    const Ray second{{1, 1, 0}, {0, -1, 0}};
    expectExactly(closestApproachMidpoint(first, second), {1.0f, 0.0f, 0.0f});
}

TEST(ClosestApproachMidpoint, UsesPointsBehindTheControllerAndIgnoresDirectionLengths) {
    // The lines meet at (-1, 0, 0): behind the first controller.
    const Ray first{{1, 0, 0}, {1, 0, 0}};
    const Ray second{{-1, 2, 0}, {0, 1, 0}};
    expectExactly(closestApproachMidpoint(first, second), {-1.0f, 0.0f, 0.0f});

    const Ray a{{0.1f, 1.2f, 0.3f}, normalizedDirection({0.2f, -0.1f, -1.0f})};
    const Ray b{{-0.7f, 1.1f, 0.4f}, normalizedDirection({0.9f, -0.05f, -1.0f})};
    const Vec3 unit = closestApproachMidpoint(a, b);
    const Vec3 scaled = closestApproachMidpoint(
        Ray{a.origin, {a.direction.x * 3, a.direction.y * 3, a.direction.z * 3}},
        Ray{b.origin, {-b.direction.x * 0.5f, -b.direction.y * 0.5f, -b.direction.z * 0.5f}});
    EXPECT_NEAR(unit.x, scaled.x, 1e-5);
    EXPECT_NEAR(unit.y, scaled.y, 1e-5);
    EXPECT_NEAR(unit.z, scaled.z, 1e-5);
}

TEST(NormalizedDirection, RoundsTheDoublePrecisionLengthToSingle) {
    expectExactly(normalizedDirection({3, 0, -4}), {3.0f * (1.0f / 5.0f), 0.0f, -4.0f * (1.0f / 5.0f)});
    const Vec3 d{0.1f, 0.2f, 0.3f};
    const float sum = (d.y * d.y + d.x * d.x) + d.z * d.z;
    const float f = 1.0f / static_cast<float>(std::sqrt(static_cast<double>(sum)));
    expectExactly(normalizedDirection(d), {d.x * f, d.y * f, d.z * f});
}

TEST(EstimateCorner, WellConditionedPairsGiveExactlyTheMidpoint) {
    const Ray cases[][2] = {
        {{{0, 0, 0}, {1, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}},
        {{{0, 0, 0}, {1, 0, 0}}, {{1, 1, 0}, {0, -1, 0}}},
        // Two positions 30 cm apart, 1.5 m from the corner: about 11 degrees between the lines.
        {{{0, 1.2f, 1.5f}, normalizedDirection({-0.5f, 0.2f, -1.5f})},
         {{0.3f, 1.1f, 1.5f}, normalizedDirection({-0.8f, 0.3f, -1.5f})}},
        // About one degree.
        {{{0, 0, 0}, normalizedDirection({0, 0, -1})},
         {{0.0175f, 0, 0}, normalizedDirection({-0.0175f, 0, -1})}},
    };
    for (const auto& pair : cases) {
        const CornerEstimate estimate = estimateCorner(pair[0], pair[1]);
        EXPECT_TRUE(estimate.usable);
        expectExactly(estimate.point, closestApproachMidpoint(pair[0], pair[1]));
    }
}

TEST(EstimateCorner, RejectsParallelAndNearlyParallelLines) {
    const Vec3 forward = normalizedDirection({0.1f, -0.2f, -1.0f});
    // The user did not move: the same ray twice.
    EXPECT_FALSE(estimateCorner({{0, 1, 0}, forward}, {{0, 1, 0}, forward}).usable);
    // Moved along the line to the corner.
    EXPECT_FALSE(estimateCorner({{0, 1, 0}, forward},
                                {{forward.x * 0.5f, 1 + forward.y * 0.5f, forward.z * 0.5f}, forward})
                     .usable);
    // Moved sideways, but the lines are exactly parallel (den is zero).
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, {0, 0, -1}}, {{0.3f, 0, 0}, {0, 0, -1}}).usable);
    // Opposite directions are parallel lines too.
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, {0, 0, -1}}, {{0.3f, 0, 0}, {0, 0, 1}}).usable);
    // A tenth of a degree apart: den is tiny compared with the directions' lengths.
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, normalizedDirection({0, 0, -1})},
                                {{0.002f, 0, 0}, normalizedDirection({-0.002f, 0, -1})})
                     .usable);
    // Also when the directions are long rather than unit.
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, {0, 0, -100}}, {{0.002f, 0, 0}, {-0.2f, 0, -100}}).usable);
}

TEST(EstimateCorner, RejectsNonFiniteCorners) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(estimateCorner({{inf, 0, 0}, {1, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}).usable);
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, {nan, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}).usable);
    EXPECT_FALSE(estimateCorner({{0, 0, 0}, {0, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}).usable);
    // Enormous coordinates overflow to infinity.
    EXPECT_FALSE(estimateCorner({{3e38f, 0, 0}, {1, 0, 0}}, {{-3e38f, 1, 1}, {0, 0, -1}}).usable);
}

} // namespace
