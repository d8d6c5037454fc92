// Points, directions and rectangles shared by both programs. All tracking-space values are single
// precision, in metres, in the runtime's raw (uncalibrated) tracking space.
#pragma once

#include <cstdint>

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// A point in homogeneous form; w is 1 and never enters a computation.
struct Vec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

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
