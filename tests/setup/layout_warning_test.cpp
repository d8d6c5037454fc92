// wandpointer's start-up check of the monitor layout against the one recorded by wandsetup.
#include "config/config_file.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

const char* const kWarning = "\nWarning: the monitors have changed since they were calibrated. Run wandsetup "
                             "again to calibrate them.\n";

// The text wandpointer has written once it is running, and whether it still runs.
std::string startPointer(const XServer& x, const std::string& config_text, bool& running) {
    TempDir dir;
    writeFile(dir.file("default.config"), config_text);
    ProcessOptions options;
    options.working_dir = dir.path().string();
    options.env = {x.displayEnv(), {"WAND_SIM_SCENARIO", ""}};
    Process pointer({binPath("wandpointer")}, options);
    EXPECT_TRUE(pointer.waitForOutput("One controller found, using that.")) << pointer.out() << pointer.err();
    running = pointer.running();
    return pointer.out();
}

TEST(LayoutWarning, WarnsWhenTheMonitorsChangedAndKeepsRunning) {
    XServer x({{0, 0, 1280, 1024, false}, {1280, 0, 1920, 1080, true}});
    const std::vector<CalibratedMonitor> monitors = {
        {{0, 0, 1280, 1024},
         {Vec3{-0.9f, 1.4f, -0.6f}, {-0.9f, 1.13f, -0.6f}, {-0.56f, 1.13f, -0.6f}, {-0.56f, 1.4f, -0.6f}}},
        {{1280, 0, 3200, 1080},
         {Vec3{-0.5f, 1.4f, -0.6f}, {-0.5f, 1.1f, -0.6f}, {0.0f, 1.1f, -0.6f}, {0.0f, 1.4f, -0.6f}}}};
    const std::string current = "32001080"
                                "0128010240"
                                "1280320010800";
    bool running = false;

    std::string out = startPointer(x, configText(monitors, current, 1), running);
    EXPECT_EQ(out.find("Warning: the monitors"), std::string::npos) << out;
    EXPECT_TRUE(running);

    // Calibrated when only one monitor was connected.
    out = startPointer(x, configText({monitors[1]}, "192010800192010800", 1), running);
    EXPECT_EQ(out.find(kWarning), 0u) << out;
    EXPECT_EQ(out.find(kWarning, 1), std::string::npos) << out;
    EXPECT_NE(out.find("SteamVR initialized!"), std::string::npos) << out;
    EXPECT_TRUE(running) << out;

    // A file without a recorded layout gives no warning.
    std::string without = configText(monitors, "removed", 1);
    const std::string line = "\t\"displayhash\" : \"removed\",\n";
    ASSERT_NE(without.find(line), std::string::npos);
    without.erase(without.find(line), line.size());
    out = startPointer(x, without, running);
    EXPECT_EQ(out.find("Warning: the monitors"), std::string::npos) << out;
    EXPECT_TRUE(running);
}

} // namespace
