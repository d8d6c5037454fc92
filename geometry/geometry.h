// Points, directions and rectangles, and the few vector operations the programs use. All tracking-space
// values are single precision, in metres, in the runtime's raw (uncalibrated) tracking space; the double
// vector serves the figures and filters that are computed in double precision.
//
// Every operation evaluates its components in the order written here (a dot product from x to z, left to
// right), and nothing is contracted into fused multiply-adds: single-precision results match to the bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

template <typename T> struct BasicVec3 {
    T x = 0;
    T y = 0;
    T z = 0;
};
using Vec3 = BasicVec3<float>;
using Vec3d = BasicVec3<double>;

template <typename T> BasicVec3<T> operator+(const BasicVec3<T>& a, const BasicVec3<T>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <typename T> BasicVec3<T> operator-(const BasicVec3<T>& a, const BasicVec3<T>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <typename T> BasicVec3<T> operator*(T f, const BasicVec3<T>& a) {
    return {f * a.x, f * a.y, f * a.z};
}
template <typename T> BasicVec3<T> operator/(const BasicVec3<T>& a, T d) {
    return {a.x / d, a.y / d, a.z / d};
}
template <typename T> T dot(const BasicVec3<T>& a, const BasicVec3<T>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <typename T> BasicVec3<T> cross(const BasicVec3<T>& a, const BasicVec3<T>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <typename T> T length(const BasicVec3<T>& a) {
    return std::sqrt(dot(a, a));
}
inline Vec3d widen(const Vec3& v) {
    return {v.x, v.y, v.z};
}
inline Vec3 narrow(const Vec3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

struct Ray {
    Vec3 origin;
    Vec3 direction;
};

// The angle between two directions, in degrees, computed in double precision (0 when either is zero).
inline double angleDegrees(Vec3 a, Vec3 b) {
    const Vec3d u = widen(a);
    const Vec3d v = widen(b);
    return std::atan2(length(cross(u, v)), dot(u, v)) * 180.0 / std::numbers::pi;
}

// A rigid pose as the runtime gives it: a row-major 3x4 matrix whose first three columns are the rotated
// x, y and z axes and whose last is the position.
struct Pose {
    float m[3][4] = {};
};

// A point given in the pose's own frame, in the frame the pose is given in. Each row is summed as
// ((m0 x + m1 y) + m2 z) + m3, so the result is the same to the bit wherever it is computed.
inline Vec3 transformPoint(const Pose& pose, Vec3 p) {
    const float(&m)[3][4] = pose.m;
    return {((m[0][0] * p.x + m[0][1] * p.y) + m[0][2] * p.z) + m[0][3],
            ((m[1][0] * p.x + m[1][1] * p.y) + m[1][2] * p.z) + m[1][3],
            ((m[2][0] * p.x + m[2][1] * p.y) + m[2][2] * p.z) + m[2][3]};
}

// The pose's -Z axis, the direction the controller points along.
inline Vec3 forwardAxis(const Pose& pose) {
    return {-pose.m[0][2], -pose.m[1][2], -pose.m[2][2]};
}

// One monitor's full rectangle in virtual-desktop pixels; right and bottom are one past the last pixel.
struct MonitorInfo {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

inline bool operator==(const MonitorInfo& a, const MonitorInfo& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
