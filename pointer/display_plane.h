// One calibrated monitor: its four corners in tracking space, what follows from them, and its rectangle
// in desktop pixels; and the mapping of a pointing ray onto it.
#pragma once

#include "geometry/geometry.h"

#include <optional>

struct DisplayPlane {
    Vec4 v0; // upper left
    Vec4 v1; // lower left
    Vec4 v2; // lower right
    Vec4 v3; // upper right
    Vec3 left_edge;
    Vec3 bottom_edge;
    Vec3 normal; // faces the user
    float u_span = 0.0f;
    float v_span = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    float left = 0.0f;
    float top = 0.0f;
    bool is_current = false;
};

struct PixelPosition {
    float x = 0.0f;
    float y = 0.0f;
};

DisplayPlane makeDisplayPlane(Vec3 v0, Vec3 v1, Vec3 v2, Vec3 v3, float left, float top, float right,
                              float bottom);

// Where the ray from `origin` along `direction` lands on the monitor, in desktop pixels. Rays that miss
// count only for the current monitor, which pins them to its border. Rays parallel to the screen or
// entering it from behind, and hits that are not finite numbers, give nothing.
std::optional<PixelPosition> mapRayToDisplay(const DisplayPlane& display, Vec3 origin, Vec3 direction);

// A pixel coordinate truncated toward zero, or nothing when it lies outside the 32-bit range.
std::optional<int32_t> truncateToPixel(float value);
