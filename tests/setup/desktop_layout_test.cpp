#include "shared/desktop_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayHash, SortsMonitorsFromLeftToRightAndHashesThem) {
    const MonitorInfo upper{0, -1080, 1920, 0}, lower{0, 0, 1920, 1080}, right{1920, 0, 3840, 1080};
    struct Case {
        int32_t width, height;
        std::vector<MonitorInfo> reported, sorted;
        std::string hash;
    };
    const Case cases[] = {
        {1920, 1080, {lower}, {lower}, "192010800192010800"},
        // A monitor left of the primary comes first, with its sign, in whichever order they are reported.
        {3200,
         1080,
         {lower, {-1280, 0, 0, 1024}},
         {{-1280, 0, 0, 1024}, lower},
         "32001080-12800102400192010800"},
        {3200,
         1080,
         {{-1280, 0, 0, 1024}, lower},
         {{-1280, 0, 0, 1024}, lower},
         "32001080-12800102400192010800"},
        // Stacked monitors keep the reported order.
        {3840,
         2160,
         {right, lower, upper},
         {lower, upper, right},
         "384021600192010800019200-10801920384010800"},
        {3840,
         2160,
         {upper, right, lower},
         {upper, lower, right},
         "38402160019200-108001920108001920384010800"},
        {5760,
         1200,
         {{3840, 0, 5760, 1200}, {0, 0, 1920, 1080}, {1920, 100, 3840, 1180}},
         {{0, 0, 1920, 1080}, {1920, 100, 3840, 1180}, {3840, 0, 5760, 1200}},
         "5760120001920108001920384011801003840576012000"},
        {1024, 768, {}, {}, "1024768"},
    };
    for (const Case& c : cases) {
        const DesktopLayout layout = makeDesktopLayout(c.width, c.height, c.reported);
        EXPECT_EQ(layout.display_hash, c.hash);
        EXPECT_EQ(layout.monitors, c.sorted) << c.hash;
    }
}

TEST(LayoutChangeWarning, WarnsOnlyWhenARecordedLayoutDiffers) {
    // The program tests check the text; here the cases they leave out.
    EXPECT_EQ(layoutChangeWarning("192010800192010800", true, "192010800192010800"), std::nullopt);
    EXPECT_EQ(layoutChangeWarning("", false, "192010800192010800"), std::nullopt);
    // An empty recorded hash is still a recorded layout.
    EXPECT_TRUE(layoutChangeWarning("", true, "1024768").has_value());
}

} // namespace
