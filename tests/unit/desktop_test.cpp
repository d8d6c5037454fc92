// The desktop layout: monitors in order from left to right, and the display hash the file keeps.
#include "desktop/desktop_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(DesktopLayout, MonitorsAreSortedFromLeftToRightAndHashed) {
    EXPECT_EQ(makeDesktopLayout(1920, 1080, {{0, 0, 1920, 1080}}).display_hash, "192010800192010800");
    const DesktopLayout two = makeDesktopLayout(3200, 1080, {{0, 0, 1920, 1080}, {-1280, 0, 0, 1024}});
    EXPECT_EQ(two.display_hash, "32001080-12800102400192010800");
    // Stacked monitors (the same left edge) keep the order they were reported in.
    const DesktopLayout stacked = makeDesktopLayout(10, 20, {{5, 9, 6, 10}, {0, 10, 5, 20}, {0, 0, 5, 10}});
    EXPECT_EQ(stacked.monitors, (std::vector<MonitorInfo>{{0, 10, 5, 20}, {0, 0, 5, 10}, {5, 9, 6, 10}}));
    EXPECT_EQ(makeDesktopLayout(0, 0, {}).display_hash, "00");
}

} // namespace
