// The desktop's monitors from left to right, the virtual screen's size and the display hash, a
// fingerprint of the monitor layout that the configurator stores next to its calibration.
#pragma once

#include "geometry/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct DesktopLayout {
    int32_t virtual_width = 0;
    int32_t virtual_height = 0;
    std::string display_hash;
    std::vector<MonitorInfo> monitors; // sorted by left edge
};

// Rebuilds every field from the current desktop and returns a copy of the display hash.
std::string refresh(DesktopLayout& layout);

// The same from a given report: monitors in the platform's order and the virtual screen's size. The
// monitors are sorted by left edge; ties keep the reported order.
DesktopLayout makeDesktopLayout(int32_t virtual_width, int32_t virtual_height,
                                std::vector<MonitorInfo> monitors);

// The decimal texts of the width, the height and then, for each monitor in the given order, of its left,
// right, bottom and top edges, with nothing between them.
std::string displayHash(int32_t virtual_width, int32_t virtual_height,
                        const std::vector<MonitorInfo>& monitors);

// The runner's start-up check: the warning to print when the monitors differ from those the
// configuration was made for, nothing when they match or the file records no layout.
std::optional<std::string> layoutChangeWarning(const std::string& file_hash, bool has_hash,
                                               const std::string& current_hash);
