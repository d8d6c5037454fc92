#include "pointer/display_plane.h"

#include <algorithm>
#include <cmath>

namespace {

Vec3 minus(const Vec4& a, const Vec4& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float dot(const Vec3& a, const Vec4& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec4 point(Vec3 v) {
    return {v.x, v.y, v.z, 1.0f};
}

} // namespace

DisplayPlane makeDisplayPlane(Vec3 v0, Vec3 v1, Vec3 v2, Vec3 v3, float left, float top, float right,
                              float bottom) {
    DisplayPlane d;
    d.v0 = point(v0);
    d.v1 = point(v1);
    d.v2 = point(v2);
    d.v3 = point(v3);
    d.left_edge = minus(d.v1, d.v0);
    d.bottom_edge = minus(d.v2, d.v1);
    const Vec3& le = d.left_edge;
    const Vec3& be = d.bottom_edge;
    d.normal = {le.y * be.z - le.z * be.y, le.z * be.x - le.x * be.z, le.x * be.y - le.y * be.x};
    d.u_span = dot(be, minus(d.v3, d.v0));
    d.v_span = dot(le, le);
    d.width = right - left;
    d.height = bottom - top;
    d.left = left;
    d.top = top;
    d.is_current = false;
    return d;
}

std::optional<PixelPosition> mapRayToDisplay(const DisplayPlane& display, Vec3 origin, Vec3 direction) {
    const Vec3& n = display.normal;
    const float den = dot(n, direction);
    if (den == 0.0f || den > 0.0f)
        return std::nullopt;
    const float t = (dot(n, display.v0) - dot(n, origin)) / den;
    const Vec3 q{origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
    const Vec3 r{q.x - display.v0.x, q.y - display.v0.y, q.z - display.v0.z};
    const float a = dot(display.bottom_edge, r);
    const float b = dot(display.left_edge, r);
    const bool inside = 0.0f <= a && a <= display.u_span && 0.0f <= b && b <= display.v_span;
    if (!inside && !display.is_current)
        return std::nullopt;
    PixelPosition pixel{(a / display.u_span) * display.width + display.left,
                        (b / display.v_span) * display.height + display.top};
    // A pose or corner that is not a finite number must not be pinned to the border as if it were a ray.
    if (!std::isfinite(pixel.x) || !std::isfinite(pixel.y))
        return std::nullopt;
    if (display.is_current) {
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
