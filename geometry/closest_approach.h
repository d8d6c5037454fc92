// Where two lines in tracking space come closest: the point a corner is taken to be when it was pointed at
// from two places, and how far apart the two lines pass there. Single precision, in the order written.
#pragma once

#include "geometry/geometry.h"

// The direction scaled to unit length (the square root taken in double precision).
Vec3 normalizedDirection(Vec3 direction);

// The midpoint of the shortest segment between the lines carrying the two rays.
Vec3 closestApproachMidpoint(const Ray& first, const Ray& second);

// Lines that meet at an angle whose squared sine is below this give no usable corner (about 0.6 degrees).
inline constexpr float kMinimumSineSquared = 1e-4f;

struct CornerEstimate {
    Vec3 point;
    float gap = 0.0f;    // the length of the shortest segment between the lines
    bool usable = false; // false: the lines are (nearly) parallel or the point is not finite
};
CornerEstimate estimateCorner(const Ray& first, const Ray& second);
