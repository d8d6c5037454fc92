#include "setup/calibration.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

void expectExactly(const Vec3& actual, const Vec3& expected) {
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.z, expected.z);
}

TEST(ClosestApproachMidpoint, MeetingSkewAndBehindTheController) {
    struct Case {
        Ray first, second;
        Vec3 expected;
    };
    const Case cases[] = {
        // Skew lines: the midpoint of the common perpendicular.
        {{{0, 0, 0}, {1, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}, {0.0f, 0.5f, 0.0f}},
        // Intersecting lines: the intersection.
        {{{0, 0, 0}, {1, 0, 0}}, {{1, 1, 0}, {0, -1, 0}}, {1.0f, 0.0f, 0.0f}},
        // They meet at (-1, 0, 0), behind the first controller.
        {{{1, 0, 0}, {1, 0, 0}}, {{-1, 2, 0}, {0, 1, 0}}, {-1.0f, 0.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        expectExactly(closestApproachMidpoint(c.first, c.second), c.expected);
        const CornerEstimate estimate = estimateCorner(c.first, c.second);
        EXPECT_TRUE(estimate.usable);
        expectExactly(estimate.point, c.expected);
    }
}

TEST(ClosestApproachMidpoint, IgnoresDirectionLengthsAndSigns) {
    const Ray a{{0.1f, 1.2f, 0.3f}, normalizedDirection({0.2f, -0.1f, -1.0f})};
    const Ray b{{-0.7f, 1.1f, 0.4f}, normalizedDirection({0.9f, -0.05f, -1.0f})};
    const Vec3 unit = closestApproachMidpoint(a, b);
    const Vec3 scaled = closestApproachMidpoint(
        Ray{a.origin, {a.direction.x * 3, a.direction.y * 3, a.direction.z * 3}},
        Ray{b.origin, {-b.direction.x * 0.5f, -b.direction.y * 0.5f, -b.direction.z * 0.5f}});
    EXPECT_NEAR(unit.x, scaled.x, 1e-5);
    EXPECT_NEAR(unit.y, scaled.y, 1e-5);
    EXPECT_NEAR(unit.z, scaled.z, 1e-5);
    expectExactly(normalizedDirection({3, 0, -4}), {0.6f, 0.0f, -0.8f});
}

TEST(EstimateCorner, AcceptsPairsAsCloseAsOneDegree) {
    const Ray cases[][2] = {
        // Two positions 30 cm apart, 1.5 m from the corner: about 11 degrees between the lines.
        {{{0, 1.2f, 1.5f}, normalizedDirection({-0.5f, 0.2f, -1.5f})},
         {{0.3f, 1.1f, 1.5f}, normalizedDirection({-0.8f, 0.3f, -1.5f})}},
        {{{0, 0, 0}, normalizedDirection({0, 0, -1})},
         {{0.0175f, 0, 0}, normalizedDirection({-0.0175f, 0, -1})}},
    };
    for (const auto& pair : cases) {
        const CornerEstimate estimate = estimateCorner(pair[0], pair[1]);
        EXPECT_TRUE(estimate.usable);
        expectExactly(estimate.point, closestApproachMidpoint(pair[0], pair[1]));
    }
}

TEST(EstimateCorner, RejectsParallelNearlyParallelAndNonFiniteLines) {
    const Vec3 forward = normalizedDirection({0.1f, -0.2f, -1.0f});
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        Ray first, second;
    };
    const Case cases[] = {
        {"the same ray twice", {{0, 1, 0}, forward}, {{0, 1, 0}, forward}},
        {"moved along the line to the corner",
         {{0, 1, 0}, forward},
         {{forward.x * 0.5f, 1 + forward.y * 0.5f, forward.z * 0.5f}, forward}},
        {"moved sideways, exactly parallel", {{0, 0, 0}, {0, 0, -1}}, {{0.3f, 0, 0}, {0, 0, -1}}},
        {"opposite directions", {{0, 0, 0}, {0, 0, -1}}, {{0.3f, 0, 0}, {0, 0, 1}}},
        {"a tenth of a degree apart",
         {{0, 0, 0}, normalizedDirection({0, 0, -1})},
         {{0.002f, 0, 0}, normalizedDirection({-0.002f, 0, -1})}},
        {"a tenth of a degree, long directions",
         {{0, 0, 0}, {0, 0, -100}},
         {{0.002f, 0, 0}, {-0.2f, 0, -100}}},
        {"infinite origin", {{inf, 0, 0}, {1, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}},
        {"NaN direction", {{0, 0, 0}, {nan, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}},
        {"zero direction", {{0, 0, 0}, {0, 0, 0}}, {{0, 1, 1}, {0, 0, -1}}},
        {"overflow to infinity", {{3e38f, 0, 0}, {1, 0, 0}}, {{-3e38f, 1, 1}, {0, 0, -1}}},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(estimateCorner(c.first, c.second).usable) << c.name;
}

} // namespace
