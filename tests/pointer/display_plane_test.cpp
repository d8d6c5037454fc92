#include "pointer/runner.h"
#include "recording_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A flat screen in the plane z = -2, facing the user at z = 0; (x, y) of its upper left corner, size in
// metres, and its rectangle in desktop pixels.
DisplayPlane screen(float x, float y, float w, float h, float left, float top, float right, float bottom) {
    return makeDisplayPlane({x, y, -2.0f}, {x, y - h, -2.0f}, {x + w, y - h, -2.0f}, {x + w, y, -2.0f}, left,
                            top, right, bottom);
}

PointingRay straightAt(float x, float y) {
    return {{x, y, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}};
}

struct Pointing {
    explicit Pointing(std::vector<DisplayPlane> list) : displays(std::move(list)) {}
    std::vector<DisplayPlane> displays;
    CursorStabilizer direct = makeCursorStabilizer(0, false);
    RecordingIo rec;

    Placements aim(const PointingRay& ray) {
        rec.placements.clear();
        const PointerIo io = rec.io();
        pointAtDisplays(displays, ray, direct, io);
        return rec.placements;
    }
    Placements aim(float x, float y) { return aim(straightAt(x, y)); }
};

// 1 m by 0.5 m, centred on the controller's straight-ahead line.
Pointing oneScreen() {
    return Pointing{{screen(-0.5f, 0.25f, 1.0f, 0.5f, 0, 0, 1920, 1080)}};
}

TEST(DisplayMapping, FirstHitOnANewMonitorIsNotClampedButLaterOnesAre) {
    Pointing p = oneScreen();
    // Exactly through the lower right corner: right and bottom themselves, one past the last pixel.
    EXPECT_EQ(p.aim(0.5f, -0.25f), (Placements{{1920, 1080}}));
    EXPECT_EQ(p.aim(0.5f, -0.25f), (Placements{{1919, 1079}}));
}

TEST(DisplayMapping, RaysFromBehindOrParallelPlaceNothingEvenOnTheCurrentMonitor) {
    Pointing p = oneScreen();
    ASSERT_EQ(p.aim(0.0f, 0.0f).size(), 1u);
    EXPECT_TRUE(p.aim(PointingRay{{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f}}).empty());
    EXPECT_TRUE(p.aim(PointingRay{{0.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}}).empty());
    // Seen from behind the screen the ray would cross it from the back.
    EXPECT_TRUE(p.aim(PointingRay{{0.0f, 0.0f, -4.0f, 1.0f}, {0.0f, 0.0f, 1.0f}}).empty());
}

TEST(DisplayMapping, OriginBehindTheScreenStillCountsACrossingBehindTheController) {
    Pointing p = oneScreen();
    EXPECT_EQ(p.aim(PointingRay{{0.0f, 0.0f, -3.0f, 1.0f}, {0.0f, 0.0f, -1.0f}}), (Placements{{960, 540}}));
}

TEST(DisplayMapping, UnnormalisedTiltedDirectionsMapTheSame) {
    Pointing p = oneScreen();
    // From (0, 0, 0) along (0.25, 0.0625, -1) / 2: the screen plane is met at (0.5, 0.125), on the right
    // edge a quarter of the way down.
    EXPECT_EQ(p.aim(PointingRay{{0.0f, 0.0f, 0.0f, 1.0f}, {0.125f, 0.03125f, -0.5f}}),
              (Placements{{1920, 270}}));
}

TEST(DisplayMapping, NegativeCoordinatesTruncateTowardZero) {
    // A monitor left of the primary: desktop x from -1024 to 0, one pixel per 1/1024 m.
    Pointing p{{screen(0.0f, 1.0f, 1.0f, 1.0f, -1024, -10, 0, 1014)}};
    const float px = 1.0f / 1024.0f;
    // Half a pixel right of the left edge and 1.5 pixels below the top: x -1023.5, y -8.5.
    EXPECT_EQ(p.aim(0.5f * px, 1.0f - 1.5f * px), (Placements{{-1023, -8}}));
    // On a monitor entered afresh (not yet clamped) x -0.5 truncates to 0; y -9.5 to -9.
    Pointing fresh{{screen(0.0f, 1.0f, 1.0f, 1.0f, -1024, -10, 0, 1014)}};
    EXPECT_EQ(fresh.aim(1.0f - 0.5f * px, 1.0f - 0.5f * px), (Placements{{0, -9}}));
    EXPECT_EQ(p.aim(1.0f - 1.5f * px, 1.0f - 0.5f * px), (Placements{{-1, -9}}));
}

TEST(DisplayMapping, OverlappingMonitorsBothPlaceAndTheLaterOneBecomesCurrent) {
    Pointing p{{screen(-1.0f, 0.5f, 2.0f, 1.0f, 0, 0, 1000, 1000),
                screen(-0.5f, 0.5f, 1.0f, 1.0f, 1000, 0, 2000, 1000)}};
    EXPECT_EQ(p.aim(0.0f, 0.0f), (Placements{{500, 500}, {1500, 500}}));
    EXPECT_FALSE(p.displays[0].is_current);
    EXPECT_TRUE(p.displays[1].is_current);
    // Only inside the first now: it takes over before the second is tried, so the second places nothing.
    EXPECT_EQ(p.aim(-0.75f, 0.0f), (Placements{{125, 500}}));
    EXPECT_TRUE(p.displays[0].is_current);
    EXPECT_FALSE(p.displays[1].is_current);
    EXPECT_EQ(p.aim(0.0f, 0.0f), (Placements{{500, 500}, {1500, 500}}));
    EXPECT_TRUE(p.displays[1].is_current);
}

TEST(DisplayMapping, TheMonitorTheRayEntersTakesOver) {
    Pointing p{{screen(-1.0f, 0.5f, 1.0f, 1.0f, 0, 0, 1000, 1000),
                screen(0.0f, 0.5f, 1.0f, 1.0f, 1000, 0, 2000, 1000)}};
    EXPECT_EQ(p.aim(0.5f, 0.0f), (Placements{{1500, 500}}));
    // Inside the first: it places, becomes current, and the second no longer pins the ray.
    EXPECT_EQ(p.aim(-0.5f, 0.0f), (Placements{{500, 500}}));
    EXPECT_TRUE(p.displays[0].is_current);
    EXPECT_FALSE(p.displays[1].is_current);
    // Beside both, to the right: the first (current) pins to its own right border.
    EXPECT_EQ(p.aim(5.0f, 0.0f), (Placements{{999, 500}}));
    // Into the second, later in the list: the current first still pins the ray, then the second places.
    EXPECT_EQ(p.aim(0.5f, 0.0f), (Placements{{999, 500}, {1500, 500}}));
    EXPECT_TRUE(p.displays[1].is_current);
}

TEST(DisplayMapping, DegenerateCalibrationNeverBecomesCurrent) {
    Pointing p{{makeDisplayPlane({0, 0, -2}, {0, 0, -2}, {0, 0, -2}, {0, 0, -2}, 0, 0, 100, 100)}};
    EXPECT_TRUE(p.aim(0.0f, 0.0f).empty());
    EXPECT_TRUE(p.aim(0.25f, 0.0f).empty());
}

TEST(DisplayMapping, NonFiniteRaysAndCornersPlaceNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Pointing p = oneScreen();
    ASSERT_EQ(p.aim(0.0f, 0.0f).size(), 1u);
    // On the current monitor such rays would otherwise be pinned somewhere on its border.
    EXPECT_TRUE(p.aim(nan, 0.0f).empty());
    EXPECT_TRUE(p.aim(PointingRay{{0.0f, 0.0f, 0.0f, 1.0f}, {nan, nan, nan}}).empty());
    EXPECT_TRUE(p.aim(PointingRay{{inf, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}}).empty());
    // A finite but tiny direction whose crossing overflows to infinity.
    EXPECT_TRUE(p.aim(PointingRay{{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1e-40f}}).empty());
    EXPECT_EQ(p.aim(0.0f, 0.0f), (Placements{{960, 540}}));

    Pointing broken{{screen(-0.5f, 0.25f, inf, 0.5f, 0, 0, 1920, 1080),
                     screen(-0.5f, 0.25f, 1.0f, 0.5f, 0, 0, 1920, 1080)}};
    broken.displays[1].v0.x = nan;
    EXPECT_TRUE(broken.aim(0.0f, 0.0f).empty());
}

TEST(DisplayMapping, PixelsOutsideThe32BitRangeAreNotConverted) {
    EXPECT_EQ(truncateToPixel(-0.5f), 0);
    EXPECT_EQ(truncateToPixel(-1.5f), -1);
    EXPECT_EQ(truncateToPixel(-2147483648.0f), INT32_MIN);
    EXPECT_FALSE(truncateToPixel(2147483648.0f));
    EXPECT_FALSE(truncateToPixel(-2147483904.0f));
    EXPECT_FALSE(truncateToPixel(std::nanf("")));
}

} // namespace
