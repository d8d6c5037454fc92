// Points, directions and rectangles, and the few vector operations the programs use. All tracking-space
// values are single precision, in metres, in the runtime's raw (uncalibrated) tracking space; the double
// vector serves the figures and filters that are computed in double precision.
//
// Every operation evaluates its components in the order written here (a dot product from x to z, left to
// right), and nothing is contracted into fused multiply-adds: single-precision results match to the bit.
#pragma once

#include <cmath>
#include <cstdint>

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

// A point in homogeneous form; w is 1 and never enters a computation.
struct Vec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

inline Vec4 homogeneous(const Vec3& v) {
    return {v.x, v.y, v.z, 1.0f};
}
inline Vec3 cartesian(const Vec4& p) {
    return {p.x, p.y, p.z};
}

struct Ray {
    Vec3 origin;
    Vec3 direction;
};

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
