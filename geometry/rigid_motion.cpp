#include "geometry/rigid_motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

double component(const Vec3d& v, int i) {
    return i == 0 ? v.x : i == 1 ? v.y : v.z;
}

Vec3d times(const Matrix3& m, const Vec3d& v) {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

// The height of the triangle over its longest side, as a fraction of that side; 0 for points on a line,
// and never at least kMinimumSpread for points that are not finite.
double spread(const std::array<Vec3d, 3>& p) {
    const Vec3d a = p[1] - p[0], b = p[2] - p[0], c = p[2] - p[1];
    const double longest = std::max({dot(a, a), dot(b, b), dot(c, c)});
    return longest > 0.0 ? length(cross(a, b)) / longest : 0.0;
}

using Matrix4 = std::array<std::array<double, 4>, 4>;

// The unit eigenvector of a symmetric matrix's largest eigenvalue, by cyclic Jacobi rotations.
std::array<double, 4> largestEigenvector(Matrix4 a) {
    Matrix4 v{};
    for (int i = 0; i < 4; ++i)
        v[i][i] = 1.0;
    auto turn = [](double& x, double& y, double c, double s) {
        const double x0 = x, y0 = y;
        x = c * x0 - s * y0;
        y = s * x0 + c * y0;
    };
    for (int sweep = 0; sweep < 32; ++sweep) {
        for (int p = 0; p < 3; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (a[p][q] == 0.0)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t =
                    std::copysign(1.0, theta) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < 4; ++k)
                    turn(a[k][p], a[k][q], c, s);
                for (int k = 0; k < 4; ++k)
                    turn(a[p][k], a[q][k], c, s);
                for (int k = 0; k < 4; ++k)
                    turn(v[k][p], v[k][q], c, s);
            }
        }
    }
    int largest = 0;
    for (int i = 1; i < 4; ++i) {
        if (a[i][i] > a[largest][largest])
            largest = i;
    }
    return {v[0][largest], v[1][largest], v[2][largest], v[3][largest]};
}

} // namespace

Vec3d apply(const RigidMotion& motion, const Vec3d& point) {
    return times(motion.rotation, point) + motion.translation;
}

double rotationDegrees(const RigidMotion& motion) {
    const Matrix3& r = motion.rotation;
    const double cosine = (r[0][0] + r[1][1] + r[2][2] - 1.0) / 2.0;
    return std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / std::numbers::pi;
}

std::optional<RigidMotion> fitRigidMotion(const std::array<Vec3d, 3>& from, const std::array<Vec3d, 3>& to) {
    if (!(spread(from) >= kMinimumSpread) || !(spread(to) >= kMinimumSpread))
        return std::nullopt;
    const Vec3d from_centre = (1.0 / 3.0) * (from[0] + from[1] + from[2]);
    const Vec3d to_centre = (1.0 / 3.0) * (to[0] + to[1] + to[2]);
    // Horn's method: m = the sum of (from - its centre)(to - its centre)^T; the unit quaternion that
    // best turns the one set onto the other is the eigenvector of the largest eigenvalue of n below. A
    // quaternion only describes rotations, so the fit is never a reflection (which, through the plane of
    // three points, would fit them exactly as well).
    Matrix3 m{};
    for (int k = 0; k < 3; ++k) {
        const Vec3d a = from[k] - from_centre, b = to[k] - to_centre;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] += component(a, i) * component(b, j);
    }
    const Matrix4 n = {{
        {m[0][0] + m[1][1] + m[2][2], m[1][2] - m[2][1], m[2][0] - m[0][2], m[0][1] - m[1][0]},
        {m[1][2] - m[2][1], m[0][0] - m[1][1] - m[2][2], m[0][1] + m[1][0], m[2][0] + m[0][2]},
        {m[2][0] - m[0][2], m[0][1] + m[1][0], m[1][1] - m[0][0] - m[2][2], m[1][2] + m[2][1]},
        {m[0][1] - m[1][0], m[2][0] + m[0][2], m[1][2] + m[2][1], m[2][2] - m[0][0] - m[1][1]},
    }};
    const auto [w, x, y, z] = largestEigenvector(n);
    RigidMotion motion;
    motion.rotation = {{{w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)},
                        {2 * (y * x + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)},
                        {2 * (z * x - w * y), 2 * (z * y + w * x), w * w - x * x - y * y + z * z}}};
    motion.translation = to_centre - times(motion.rotation, from_centre);
    return motion;
}
