// A controller's tip: the point that touches and the direction that aims, as a rigid transform in the
// controller's own space, and where the two lie in tracking space for a given pose of the controller.
// Single precision, each component evaluated in the order written here (no fused multiply-adds).
#pragma once

#include "geometry/geometry.h"

// A rigid transform as the VR runtime gives one: 3x4, row-major; the rotation in columns 0 to 2, the
// translation in column 3. A controller's pose carries its own space into tracking space; a tip carries
// the tip's frame (its origin the point, its -Z the direction) into the controller's space.
struct Transform34 {
    float m[3][4] = {{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}};
};

// The tip of the reference controller: the point (0, -0.077, -0.038), 7.7 cm below and 3.8 cm ahead of
// the controller's origin, aiming along the controller's own -Z.
Transform34 referenceTip();

// Row i: ((m(i,0) * p.x + m(i,1) * p.y) + m(i,2) * p.z) + m(i,3).
Vec3 transformPoint(const Transform34& t, const Vec3& p);
// Row i: (m(i,0) * d.x + m(i,1) * d.y) + m(i,2) * d.z; the translation plays no part.
Vec3 transformDirection(const Transform34& t, const Vec3& d);

// The tip's point in tracking space: the pose applied to the tip's origin. With referenceTip() it equals,
// to the bit, the reference controller's own ((m(i,0) * 0 - m(i,1) * 0.077) - m(i,2) * 0.038) + m(i,3).
Vec3 tipPoint(const Transform34& pose, const Transform34& tip);

// The tip's aim in tracking space: the tip's -Z tilted by the offsets as the pointing ray's own, that is
// the tip's rotation applied to (offset_x, offset_y, -1), then the pose's rotation. Not normalised: its
// length is that of (offset_x, offset_y, 1).
Vec3 tipDirection(const Transform34& pose, const Transform34& tip, float offset_x = 0.0f,
                  float offset_y = 0.0f);

// From tipPoint along tipDirection.
Ray tipAim(const Transform34& pose, const Transform34& tip, float offset_x = 0.0f, float offset_y = 0.0f);
