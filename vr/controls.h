// The controller's named controls, as the buttons act on them and as "bindings" names them.
#pragma once

#include <array>
#include <cstddef>

// The touchpad's halves are pressed; the centre strip is touched without pressing, as for scrolling.
enum class Control { trigger, grip, menu, pad_left, pad_right, pad_centre };
inline constexpr size_t kControlCount = 6;
// The members of "bindings", by Control.
inline constexpr std::array<const char*, kControlCount> kControlNames = {
    "trigger", "grip", "menu", "pad_left", "pad_right", "pad_centre"};
