// Runtime start-up and controller selection, played against the simulated runtime in-process.
#include "shared/controller_selection.h"
#include "shared/vr_runtime.h"
#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace {

struct Selection {
    std::vector<uint32_t> indices;
    std::string output;
};

Selection selectWith(const std::string& scenario) {
    simLoadScenarioText(scenario);
    const VrStartup vr = startVr();
    EXPECT_EQ(vr::VRInitError_None, vr.error);
    testing::internal::CaptureStdout();
    const std::vector<TrackedController> controllers = selectControllers(vr.system, 1, {"primary"});
    std::fflush(stdout);
    Selection s;
    s.output = testing::internal::GetCapturedStdout();
    for (const TrackedController& c : controllers) {
        s.indices.push_back(c.device_index);
        EXPECT_EQ(vr.system, c.system);
    }
    return s;
}

TEST(VrStartup, ServesTheSystemInterfaceAndRefetchesItAfterANewToken) {
    simLoadScenarioText("device 1 controller\n");
    const VrStartup vr = startVr();
    ASSERT_EQ(vr::VRInitError_None, vr.error);
    ASSERT_NE(nullptr, vr.system);
    EXPECT_EQ(vr.system, vrSystem());
    // A shutdown gives a new token: the cached pointer is dropped and, with no runtime, nothing served.
    VR_ShutdownInternal();
    EXPECT_EQ(nullptr, vrSystem());
}

TEST(VrStartup, ReportsTheRuntimeInitError) {
    simLoadScenarioText("init-error 108\ndevice 1 controller\n");
    const VrStartup vr = startVr();
    EXPECT_EQ(vr::VRInitError_Init_HmdNotFound, vr.error);
    EXPECT_EQ(nullptr, vr.system);
}

TEST(ControllerSelection, OneControllerIsTakenWithoutAsking) {
    const Selection s = selectWith("device 0 hmd\ndevice 3 controller\n");
    EXPECT_EQ(std::vector<uint32_t>({3}), s.indices);
    EXPECT_EQ("\n1 controller(s) needed..\n\nOne controller found, using that.", s.output);
}

TEST(ControllerSelection, TheSecondControllersTriggerPutsItFirst) {
    const Selection s = selectWith("device 0 hmd\ndevice 1 controller\ndevice 2 controller\n"
                                   "step polls=6\n"
                                   "step\n  2 trigger 0.9\n");
    EXPECT_EQ(std::vector<uint32_t>({2, 1}), s.indices);
    EXPECT_EQ("\n1 controller(s) needed..\n\nMultiple controllers found.\nPress trigger to select primary "
              "controller",
              s.output);
}

TEST(ControllerSelection, ATriggerAtExactlyPointThreeDoesNotSelect) {
    const Selection s = selectWith("device 1 controller\ndevice 2 controller\n"
                                   "step polls=6\n  1 trigger 0.3\n"
                                   "step\n  2 trigger 0.31\n");
    EXPECT_EQ(std::vector<uint32_t>({2, 1}), s.indices);
}

TEST(ControllerSelection, WhenBothTriggersArePulledTheFirstDiscoveredWins) {
    const Selection s = selectWith("device 4 controller\ndevice 2 controller\n"
                                   "step\n  4 trigger 1\n  2 trigger 1\n");
    EXPECT_EQ(std::vector<uint32_t>({2, 4}), s.indices);
}

TEST(ControllerSelection, OnlyControllersCountAndTheHeadsetIndexIsNeverAsked) {
    const Selection s = selectWith("device 0 controller\ndevice 1 tracker\ndevice 5 reference\n"
                                   "device 7 controller\ndevice 9 controller disconnected\n");
    EXPECT_EQ(std::vector<uint32_t>({7}), s.indices);
}

TEST(ControllerSelection, AControllerThatConnectsLateIsFoundOnALaterPass) {
    const auto start = std::chrono::steady_clock::now();
    const Selection s = selectWith("device 1 controller disconnected\n"
                                   "step polls=0 ms=250\n"
                                   "step polls=0\n  1 connected yes\n");
    EXPECT_EQ(std::vector<uint32_t>({1}), s.indices);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_NE(std::string::npos, s.output.find("One controller found, using that."));
}

TEST(ControllerRecord, UpdateReadsStateAndPosesAndTracksConnection) {
    simLoadScenarioText("device 1 controller\n"
                        "step polls=1\n  1 pose matrix 1 0 0 0.5  0 1 0 1.5  0 0 1 -2\n  1 buttons menu\n"
                        "step polls=1\n  1 valid no\n  1 buttons none\n"
                        "step polls=1\n  1 valid yes\n  1 connected no\n");
    const VrStartup vr = startVr();
    ASSERT_EQ(vr::VRInitError_None, vr.error);
    TrackedController c = makeTrackedController(vr.system, 1);
    update(c);
    EXPECT_TRUE(isTracking(c));
    EXPECT_TRUE(pressEdge(c, c.menu_button));
    EXPECT_EQ(0.5f, pointingRay(c).origin.x);
    EXPECT_EQ(-2.0f, pointingRay(c).origin.z);
    update(c);
    EXPECT_FALSE(isTracking(c)) << "pose not valid";
    update(c);
    EXPECT_FALSE(isTracking(c)) << "controller disconnected";
}

} // namespace
