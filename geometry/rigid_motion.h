// The rigid motion (a rotation, then a translation; no scaling, no reflection) that carries three points
// onto three others as closely as possible, in double precision. It finds how a tracking space moved from
// three points measured before and after.
#pragma once

#include "geometry/geometry.h"

#include <array>
#include <optional>

using Matrix3 = std::array<std::array<double, 3>, 3>; // row by row

struct RigidMotion {
    Matrix3 rotation = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vec3d translation;
};

Vec3d apply(const RigidMotion& motion, const Vec3d& point);

// The angle of the motion's rotation, 0 to 180 degrees.
double rotationDegrees(const RigidMotion& motion);

// Three points that lie closer to a line than this, as a fraction of their longest distance, fix no
// rotation about that line: a third point 0.1 mm off a line of 1 m.
inline constexpr double kMinimumSpread = 1e-4;

// The least-squares fit (Horn's method): the motion that minimises the sum of the squared distances
// between each moved `from` point and its `to` point. Nothing when either set lies (nearly) on one line.
std::optional<RigidMotion> fitRigidMotion(const std::array<Vec3d, 3>& from, const std::array<Vec3d, 3>& to);
