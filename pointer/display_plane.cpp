#include "pointer/display_plane.h"

#include <algorithm>
#include <cmath>

DisplayPlane makeDisplayPlane(Vec3 v0, Vec3 v1, Vec3 v2, Vec3 v3, float left, float top, float right,
                              float bottom) {
    DisplayPlane d;
    d.v0 = v0;
    d.left_edge = v1 - v0;
    d.bottom_edge = v2 - v1;
    d.normal = cross(d.left_edge, d.bottom_edge);
    d.u_span = dot(d.bottom_edge, v3 - v0);
    d.v_span = dot(d.left_edge, d.left_edge);
    d.width = right - left;
    d.height = bottom - top;
    d.left = left;
    d.top = top;
    return d;
}

std::optional<PixelPosition> mapRayToDisplay(const DisplayPlane& display, const Ray& ray, bool current) {
    const Vec3& origin = ray.origin;
    const Vec3& direction = ray.direction;
    const Vec3& n = display.normal;
    const float den = dot(n, direction);
    if (den == 0.0f || den > 0.0f)
        return std::nullopt;
    const Vec3& v0 = display.v0;
    const float t = (dot(n, v0) - dot(n, origin)) / den;
    const Vec3 r = (origin + t * direction) - v0;
    const float a = dot(display.bottom_edge, r);
    const float b = dot(display.left_edge, r);
    const bool inside = 0.0f <= a && a <= display.u_span && 0.0f <= b && b <= display.v_span;
    if (!inside && !current)
        return std::nullopt;
    PixelPosition pixel{(a / display.u_span) * display.width + display.left,
                        (b / display.v_span) * display.height + display.top};
    // A pose or corner that is not a finite number must not be pinned to the border as if it were a ray.
    if (!std::isfinite(pixel.x) || !std::isfinite(pixel.y))
        return std::nullopt;
    if (current) {
        pixel.x = std::max(display.left, std::min(pixel.x, display.left + display.width - 1.0f));
        pixel.y = std::max(display.top, std::min(pixel.y, display.top + display.height - 1.0f));
    }
    return pixel;
}

std::optional<int32_t> truncateToPixel(float value) {
    // -2^31 and 2^31 are exact floats; everything from the one up to below the other truncates into range.
    if (!(value >= -2147483648.0f && value < 2147483648.0f))
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<DesktopPixel> pixelOnMonitors(const std::vector<DisplayPlane>& displays,
                                            std::optional<size_t>& current, const Ray& ray) {
    std::optional<DesktopPixel> pixel;
    for (size_t i = 0; i < displays.size(); ++i) {
        const auto hit = mapRayToDisplay(displays[i], ray, current == i);
        if (!hit)
            continue;
        const auto x = truncateToPixel(hit->x);
        const auto y = truncateToPixel(hit->y);
        if (!x || !y)
            continue;
        current = i;
        pixel = DesktopPixel{*x, *y};
    }
    return pixel;
}
