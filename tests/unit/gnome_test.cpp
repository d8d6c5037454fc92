// GNOME's monitors from mutter's display configuration, and the stream and stream pixel that a desktop
// pixel goes to: mutter adds the monitor's position to what its stream is given (over the scale), so a
// pixel sent on another monitor's stream, or off by one, lands elsewhere or is held back at an edge.
#include "desktop/backends/gnome/gnome_desktop.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace platform;

std::tuple<size_t, double, double> to(const std::vector<GnomeMonitor>& monitors, int32_t x, int32_t y) {
    const StreamPoint p = streamPoint(monitors, x, y);
    return {p.monitor, p.x, p.y};
}

TEST(GnomeBackend, MonitorsFromTheDisplayConfigurationAndEachPixelOnItsMonitorsStream) {
    // Side by side, the right one a quarter turned; a monitor with no current mode is not shown.
    const std::vector<GnomeLogicalMonitor> logical = {{0, 0, 2.0, 0, "Meta-1", 3840, 2160},
                                                      {1920, 0, 1.0, 1, "Meta-0", 1280, 1024},
                                                      {0, 0, 1.0, 0, "DP-9", 0, 0}};
    const std::vector<GnomeMonitor> monitors = gnomeMonitors(logical, true);
    ASSERT_EQ(monitors, (std::vector<GnomeMonitor>{{"Meta-1", {0, 0, 1920, 1080}, 2.0},
                                                   {"Meta-0", {1920, 0, 2944, 1280}, 1.0}}));
    // The physical layout keeps the hardware pixels in both.
    EXPECT_EQ(gnomeMonitors(logical, false).front(), (GnomeMonitor{"Meta-1", {0, 0, 3840, 2160}, 1.0}));
    // Corners and the columns either side of the boundary, at the pixel's centre in stream pixels.
    EXPECT_EQ(to(monitors, 0, 0), std::make_tuple(size_t{0}, 1.0, 1.0));
    EXPECT_EQ(to(monitors, 1919, 1079), std::make_tuple(size_t{0}, 3839.0, 2159.0));
    EXPECT_EQ(to(monitors, 1920, 0), std::make_tuple(size_t{1}, 0.5, 0.5));
    EXPECT_EQ(to(monitors, 2943, 1279), std::make_tuple(size_t{1}, 1023.5, 1279.5));
    // Outside every monitor: onto the nearest one's edge.
    EXPECT_EQ(to(monitors, 1000, 1200), std::make_tuple(size_t{0}, 2001.0, 2159.0));
    EXPECT_EQ(to(monitors, 5000, -3), std::make_tuple(size_t{1}, 1023.5, 0.5));
}

} // namespace
