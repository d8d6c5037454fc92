#include "geometry/closest_approach.h"

#include <cmath>

namespace {

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

Vec3 normalizedDirection(Vec3 d) {
    const float sum = (d.y * d.y + d.x * d.x) + d.z * d.z;
    const float length = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    return (1.0f / length) * d;
}

namespace {

struct Approach {
    Vec3 midpoint;
    float gap = 0.0f;
    float a = 0.0f;
    float c = 0.0f;
    float den = 0.0f;
};

Approach closestApproach(const Ray& first, const Ray& second) {
    const Vec3& p = first.origin;
    const Vec3& u = first.direction;
    const Vec3& q = second.origin;
    const Vec3& v = second.direction;
    const Vec3 w = p - q;
    Approach result;
    const float a = dot(u, u);
    const float b = dot(u, v);
    const float c = dot(v, v);
    const float d = dot(u, w);
    const float e = dot(v, w);
    const float den = c * a - b * b;
    const float s = (e * b - d * c) / den;
    const float t = (e * a - d * b) / den;
    const Vec3 on_second = q + t * v;
    const Vec3 on_first = p + s * u;
    result.midpoint = 0.5f * (on_second + on_first);
    result.gap = length(on_second - on_first);
    result.a = a;
    result.c = c;
    result.den = den;
    return result;
}

} // namespace

Vec3 closestApproachMidpoint(const Ray& first, const Ray& second) {
    return closestApproach(first, second).midpoint;
}

CornerEstimate estimateCorner(const Ray& first, const Ray& second) {
    const Approach approach = closestApproach(first, second);
    // den = |u|^2 |v|^2 sin^2 of the angle between the lines.
    const float scale = approach.a * approach.c;
    const bool well_conditioned = approach.den > 0.0f && std::isfinite(approach.den) &&
                                  std::isfinite(scale) && approach.den >= kMinimumSineSquared * scale;
    return CornerEstimate{approach.midpoint, approach.gap, well_conditioned && finite(approach.midpoint)};
}
