// One calibrated monitor: what its four corners in tracking space give for the mapping, and its rectangle
// in desktop pixels; the mapping of a pointing ray onto one monitor, and onto the row of them.
#pragma once

#include "geometry/geometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct DisplayPlane {
    Vec3 v0; // the upper left corner
    Vec3 left_edge;
    Vec3 bottom_edge;
    Vec3 normal; // faces the user
    float u_span = 0.0f;
    float v_span = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    float left = 0.0f;
    float top = 0.0f;
};

struct PixelPosition {
    float x = 0.0f;
    float y = 0.0f;
};

// From the corners upper left, lower left, lower right, upper right and the desktop rectangle.
DisplayPlane makeDisplayPlane(Vec3 v0, Vec3 v1, Vec3 v2, Vec3 v3, float left, float top, float right,
                              float bottom);

// Where the ray lands on the monitor, in desktop pixels. Rays that miss count only for the current monitor,
// which pins them to its border. Rays parallel to the screen or entering it from behind, and hits that are
// not finite numbers, give nothing.
std::optional<PixelPosition> mapRayToDisplay(const DisplayPlane& display, const Ray& ray, bool current);

// A pixel coordinate truncated toward zero, or nothing when it lies outside the 32-bit range.
std::optional<int32_t> truncateToPixel(float value);

struct DesktopPixel {
    int32_t x = 0;
    int32_t y = 0;
};

// The pixel the ray points at among the monitors, tried in list order: each one the ray lands on becomes the
// current one, and the last such gives the pixel; a ray that lands on none is pinned to the current
// monitor's border. `current` is the runner's current monitor (an index into `displays`).
std::optional<DesktopPixel> pixelOnMonitors(const std::vector<DisplayPlane>& displays,
                                            std::optional<size_t>& current, const Ray& ray);
