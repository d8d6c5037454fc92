#include "shared/desktop_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayHash, OneMonitorAtTheOrigin) {
    const DesktopLayout layout = makeDesktopLayout(1920, 1080, {{0, 0, 1920, 1080}});
    EXPECT_EQ(layout.display_hash, "192010800192010800");
}

TEST(DisplayHash, MonitorLeftOfThePrimaryComesFirstWithItsSign) {
    // Reported primary first: sorting puts the left one first.
    const DesktopLayout layout = makeDesktopLayout(3200, 1080, {{0, 0, 1920, 1080}, {-1280, 0, 0, 1024}});
    EXPECT_EQ(layout.display_hash, "32001080-12800102400192010800");
    ASSERT_EQ(layout.monitors.size(), 2u);
    EXPECT_EQ(layout.monitors[0], (MonitorInfo{-1280, 0, 0, 1024}));
    EXPECT_EQ(layout.monitors[1], (MonitorInfo{0, 0, 1920, 1080}));
    // Reported in the other order: the same list and hash.
    const DesktopLayout swapped = makeDesktopLayout(3200, 1080, {{-1280, 0, 0, 1024}, {0, 0, 1920, 1080}});
    EXPECT_EQ(swapped.display_hash, layout.display_hash);
    EXPECT_EQ(swapped.monitors, layout.monitors);
}

TEST(DisplayHash, StackedMonitorsKeepTheReportedOrder) {
    const MonitorInfo upper{0, -1080, 1920, 0};
    const MonitorInfo lower{0, 0, 1920, 1080};
    const MonitorInfo right{1920, 0, 3840, 1080};
    const DesktopLayout a = makeDesktopLayout(3840, 2160, {right, lower, upper});
    EXPECT_EQ(a.monitors, (std::vector<MonitorInfo>{lower, upper, right}));
    EXPECT_EQ(a.display_hash, "38402160"
                              "0192010800"
                              "019200-1080"
                              "1920384010800");
    const DesktopLayout b = makeDesktopLayout(3840, 2160, {upper, right, lower});
    EXPECT_EQ(b.monitors, (std::vector<MonitorInfo>{upper, lower, right}));
    EXPECT_EQ(b.display_hash, "38402160"
                              "019200-1080"
                              "0192010800"
                              "1920384010800");
}

TEST(DisplayHash, ThreeMonitorsAndNone) {
    const DesktopLayout three =
        makeDesktopLayout(5760, 1200, {{3840, 0, 5760, 1200}, {0, 0, 1920, 1080}, {1920, 100, 3840, 1180}});
    EXPECT_EQ(three.display_hash, "5760120001920108001920384011801003840576012000");
    const DesktopLayout none = makeDesktopLayout(1024, 768, {});
    EXPECT_EQ(none.display_hash, "1024768");
    EXPECT_TRUE(none.monitors.empty());
}

TEST(DesktopLayout, StartsEmpty) {
    const DesktopLayout layout;
    EXPECT_EQ(layout.virtual_width, 0);
    EXPECT_EQ(layout.virtual_height, 0);
    EXPECT_EQ(layout.display_hash, "");
    EXPECT_TRUE(layout.monitors.empty());
}

TEST(LayoutChangeWarning, WarnsOnlyWhenARecordedLayoutDiffers) {
    EXPECT_EQ(layoutChangeWarning("192010800192010800", true, "192010800192010800"), std::nullopt);
    EXPECT_EQ(layoutChangeWarning("", false, "192010800192010800"), std::nullopt);
    const auto warning = layoutChangeWarning("192010800192010800", true, "32001080-12800102400192010800");
    ASSERT_TRUE(warning.has_value());
    EXPECT_NE(warning->find("monitors have changed"), std::string::npos);
    EXPECT_NE(warning->find("wandsetup"), std::string::npos);
    // An empty recorded hash is still a recorded layout.
    EXPECT_TRUE(layoutChangeWarning("", true, "1024768").has_value());
}

} // namespace
