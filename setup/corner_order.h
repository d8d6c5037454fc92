// The order in which a monitor's four screen corners are always handled.
#pragma once

#include <array>

// Entry i is stored as "v0" to "v3".
inline constexpr std::array<const char*, 4> kCornerNames = {"UPPER LEFT", "LOWER LEFT", "LOWER RIGHT",
                                                            "UPPER RIGHT"};
