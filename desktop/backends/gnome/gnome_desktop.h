// GNOME on Wayland (gnome_desktop.cpp): mutter's monitors as its display configuration describes them,
// and the way a desktop pixel reaches mutter's remote desktop, which takes absolute positions only within
// a screen-cast stream of one monitor, in that monitor's own pixels. The arithmetic, apart from the bus.
#pragma once

#include "desktop/desktop.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One logical monitor of org.gnome.Mutter.DisplayConfig's GetCurrentState: where it is, its scale and
// transform, and the first monitor it shows (mirrored monitors share one logical monitor) with that
// monitor's current mode in hardware pixels.
struct GnomeLogicalMonitor {
    int32_t x = 0;
    int32_t y = 0;
    double scale = 1.0;
    uint32_t transform = 0; // odd values turn the picture a quarter
    std::string connector;  // "DP-1"; "Meta-0" on a headless mutter
    int32_t mode_width = 0;
    int32_t mode_height = 0;
};

// A monitor as the pointer reaches it: its connector (for RecordMonitor), its rectangle in desktop pixels,
// and how many of its stream's pixels make one desktop pixel.
struct GnomeMonitor {
    std::string connector;
    MonitorInfo rect;
    double stream_scale = 1.0;
};

inline bool operator==(const GnomeMonitor& a, const GnomeMonitor& b) {
    return a.connector == b.connector && a.rect == b.rect && a.stream_scale == b.stream_scale;
}

// The monitors in mutter's order. `logical_layout`: mutter's layout mode is "logical" (positions and sizes
// in logical pixels, a scaled monitor's stream in hardware pixels) rather than "physical". Logical monitors
// without a current mode are left out.
std::vector<GnomeMonitor> gnomeMonitors(const std::vector<GnomeLogicalMonitor>& logical, bool logical_layout);

// Where a desktop pixel goes: the monitor (an index into the list) and a point of its stream.
struct StreamPoint {
    size_t monitor = 0;
    double x = 0.0;
    double y = 0.0;
};

// The monitor that holds desktop pixel (x, y), or for a pixel outside all of them the nearest one, with
// the pixel moved onto its edge; the point is the pixel's centre in that monitor's stream pixels, so that
// mutter's division by the scale lands inside the pixel. `monitors` must not be empty.
StreamPoint streamPoint(const std::vector<GnomeMonitor>& monitors, int32_t x, int32_t y);

} // namespace platform
