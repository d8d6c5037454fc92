// The scenario language and the step machine, in-process.
#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string parseError(const std::string& text) {
    try {
        parseScenario(text, "t.txt");
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SimScenario, ErrorsNameTheLineAndTheProblem) {
    const std::string devices = "# two devices\n\ndevice 0 hmd\ndevice 1 controller   # held\n";
    const std::pair<std::string, std::string> cases[] = {
        {devices + "step\n  1 buttons menu gripp\n", "t.txt:6: unknown button \"gripp\""},
        {devices + "step\n  1 buttonz menu\n", "t.txt:6: unknown property \"buttonz\""},
        {devices + "step\n  2 trigger 0.5\n", "t.txt:6: device 2 is not declared"},
        {devices + "step\n  1 trigger 0.5x\n", "t.txt:6: \"0.5x\" is not a number"},
        {devices + "step\n  1 pad 0.5\n", "t.txt:6: pad needs 2 numbers, got 1"},
        {devices + "step\n  1 pose aim 0 1 0 0 1\n", "t.txt:6: pose aim needs 6 numbers, got 5"},
        {devices + "step\n  1 pose aim 0 1 0 0 1 0\n",
         "t.txt:6: the aim target must be a finite point away from the position"},
        {devices + "step\n  1 pose spin 1\n", "t.txt:6: unknown pose kind \"spin\" (aim, tip, at or matrix)"},
        {devices + "step\n  1 valid maybe\n", "t.txt:6: expected \"yes\" or \"no\", got \"maybe\""},
        {devices + "step\n  1 buttons 0xzz\n", "t.txt:6: bad button mask \"0xzz\""},
        {devices + "step polls=two\n", "t.txt:5: polls \"two\" is not a whole number from 0 to 4294967295"},
        {devices + "step hold=3\n", "t.txt:5: unknown step condition \"hold\" (polls, ms or wait)"},
        {devices + "step wait\n", "t.txt:5: step condition \"wait\" is not of the form key=value"},
        {devices + "step\ndevice 2 controller\n", "t.txt:6: device lines must come before the first step"},
        {devices + "  1 trigger 1\n", "t.txt:5: a device change must follow a step line"},
        {devices + "device 1 hmd\n", "t.txt:5: device 1 is declared twice"},
        {"device 16 controller\n", "t.txt:1: device index \"16\" is not a whole number from 0 to 15"},
        {"device 3 wand\n",
         "t.txt:1: unknown device class \"wand\" (hmd, controller, tracker, reference or other)"},
        {"device 3 controller off\n", "t.txt:1: unknown device option \"off\" (disconnected or invalid)"},
        {"devise 3 controller\n",
         "t.txt:1: unknown keyword \"devise\" (init-error, device, step or a device index)"},
        {"init-error\n", "t.txt:1: init-error needs one error code"},
        {"device 1 controller\r\nstep\r\n  1 trigger nope\r\n", "t.txt:3: \"nope\" is not a number"},
    };
    for (const auto& [text, error] : cases)
        EXPECT_EQ(parseError(text), error) << text;

    try {
        readScenarioFile("/nonexistent/dir/s.txt");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "/nonexistent/dir/s.txt: cannot read the scenario file");
    }
}

TEST(SimScenario, TheDocumentedExampleParses) {
    std::ifstream readme(WAND_SIM_README);
    ASSERT_TRUE(readme) << WAND_SIM_README;
    std::string line, example;
    bool inside = false, done = false;
    while (!done && std::getline(readme, line)) {
        if (line == "```")
            done = inside, inside = !inside;
        else if (inside)
            example += line + "\n";
    }
    ASSERT_FALSE(example.empty());
    Scenario s = parseScenario(example, "README.md");
    EXPECT_EQ(s.init_error, vr::VRInitError_Init_NoServerForBackgroundApp);
    EXPECT_EQ(s.steps.size(), 5u);
    EXPECT_EQ(s.steps[0].polls, 0u);
    EXPECT_EQ(s.steps[0].wait, "plugged");
    EXPECT_EQ(s.steps[3].ms, 100);
}

TEST(SimScenario, DeviceLinesGiveTheStateBeforeTheFirstStep) {
    Scenario s = parseScenario("init-error 108\n"
                               "device 0 hmd\n"
                               "device 1 controller\n"
                               "device 2 controller disconnected invalid\n"
                               "device 3 tracker\n"
                               "device 4 reference\n"
                               "device 5 other\n");
    EXPECT_EQ(s.init_error, vr::VRInitError_Init_HmdNotFound);
    EXPECT_EQ(s.devices[0].device_class, vr::TrackedDeviceClass_HMD);
    EXPECT_EQ(s.devices[1].device_class, vr::TrackedDeviceClass_Controller);
    EXPECT_TRUE(s.devices[1].connected);
    EXPECT_TRUE(s.devices[1].pose_valid);
    EXPECT_FALSE(s.devices[2].connected);
    EXPECT_FALSE(s.devices[2].pose_valid);
    EXPECT_EQ(int(s.devices[3].device_class), 3);
    EXPECT_EQ(s.devices[4].device_class, vr::TrackedDeviceClass_TrackingReference);
    EXPECT_EQ(s.devices[5].device_class, vr::TrackedDeviceClass_Other);
    EXPECT_EQ(s.devices[6].device_class, vr::TrackedDeviceClass_Invalid);
    EXPECT_TRUE(s.steps.empty());

    SimRuntime runtime(s);
    vr::IVRSystem* system = &runtime.system;
    vr::TrackedDevicePose_t poses[16];
    system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0, poses, 16);
    EXPECT_FALSE(poses[2].bPoseIsValid);
    EXPECT_FALSE(poses[2].bDeviceIsConnected);
    EXPECT_FALSE(poses[6].bPoseIsValid);
    EXPECT_FALSE(system->IsTrackedDeviceConnected(2));

    vr::VRControllerState_t state;
    std::memset(&state, 0x5a, sizeof state);
    EXPECT_FALSE(system->GetControllerState(2, &state)); // disconnected controller
    EXPECT_EQ(uint64_t{state.ulButtonPressed}, 0u);      // a copy: the field is packed to 4 bytes
    EXPECT_FALSE(system->GetControllerState(0, &state)); // not a controller
    EXPECT_FALSE(system->GetControllerState(16, &state));
}

struct Seen {
    bool ok;
    uint64_t buttons;
    float trigger, pad_x, pad_y;
    bool valid, connected;
    float x, y, z;
};

Seen seen(SimRuntime& runtime, uint32_t index) {
    vr::IVRSystem* system = &runtime.system;
    vr::VRControllerState_t state{};
    Seen s{};
    s.ok = system->GetControllerState(index, &state);
    s.buttons = state.ulButtonPressed;
    s.trigger = state.rAxis[1].x;
    s.pad_x = state.rAxis[0].x;
    s.pad_y = state.rAxis[0].y;
    vr::TrackedDevicePose_t poses[16];
    system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0, poses, 16);
    s.valid = poses[index].bPoseIsValid;
    s.connected = poses[index].bDeviceIsConnected;
    s.x = poses[index].mDeviceToAbsoluteTracking.m[0][3];
    s.y = poses[index].mDeviceToAbsoluteTracking.m[1][3];
    s.z = poses[index].mDeviceToAbsoluteTracking.m[2][3];
    return s;
}

TEST(SimSteps, PropertiesAreStickyAndEachStepIsSeenByItsPolls) {
    SimRuntime runtime(parseScenario("device 0 hmd\n"
                                     "device 1 controller\n"
                                     "step polls=2\n"
                                     "  1 buttons menu pad\n"
                                     "  1 trigger 0.5\n"
                                     "  1 pose at 1 2 3\n"
                                     "step\n"
                                     "  1 pad 0.25 -0.5\n"
                                     "step polls=0\n" // passes straight through
                                     "  1 buttons 0x10 system\n"
                                     "step\n"
                                     "  1 valid no\n"
                                     "  1 connected no\n"
                                     "step\n"
                                     "  1 connected yes\n"
                                     "  1 buttons none\n"));
    Seen a = seen(runtime, 1);
    Seen b = seen(runtime, 1);
    EXPECT_TRUE(a.ok && b.ok);
    for (const Seen& s : {a, b}) {
        EXPECT_EQ(s.buttons, 2u | (1ull << 32));
        EXPECT_EQ(s.trigger, 0.5f);
        EXPECT_EQ(s.pad_x, 0.0f);
        EXPECT_TRUE(s.valid && s.connected);
        EXPECT_EQ(s.x, 1.0f);
        EXPECT_EQ(s.y, 2.0f);
        EXPECT_EQ(s.z, 3.0f);
    }
    EXPECT_EQ(runtime.step, 1u);

    Seen c = seen(runtime, 1); // step 2: only the pad changes
    EXPECT_EQ(runtime.step, 2u);
    EXPECT_EQ(c.buttons, 2u | (1ull << 32));
    EXPECT_EQ(c.trigger, 0.5f);
    EXPECT_EQ(c.pad_x, 0.25f);
    EXPECT_EQ(c.pad_y, -0.5f);
    EXPECT_EQ(c.z, 3.0f);

    Seen d = seen(runtime, 1); // step 3 passes straight to step 4, keeping its buttons
    EXPECT_EQ(runtime.step, 4u);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.buttons, 0u); // a disconnected controller yields an empty state
    EXPECT_FALSE(d.valid);
    EXPECT_FALSE(d.connected);
    EXPECT_EQ(runtime.devices[1].buttons, 0x11u);

    Seen e = seen(runtime, 1);
    EXPECT_EQ(runtime.step, 5u);
    EXPECT_TRUE(e.ok);
    EXPECT_FALSE(e.valid); // still invalid: only the connection changed
    EXPECT_TRUE(e.connected);
    EXPECT_EQ(e.pad_y, -0.5f);
    EXPECT_EQ(e.buttons, 0u);

    for (int i = 0; i < 50; ++i) // the last step holds for ever
        seen(runtime, 1);
    EXPECT_EQ(runtime.step, 5u);
}

TEST(SimSteps, OnlyAPollEndsAStepSoOneUpdateSeesOneStep) {
    SimRuntime runtime(parseScenario("device 1 controller\n"
                                     "step\n  1 trigger 1\n"
                                     "step\n  1 trigger 0\n"));
    vr::IVRSystem* system = &runtime.system;
    vr::VRControllerState_t state{};
    system->GetControllerState(1, &state);
    EXPECT_EQ(state.rAxis[1].x, 1.0f);
    // Queries between two polls never advance a step that counts polls.
    for (int i = 0; i < 5; ++i) {
        vr::TrackedDevicePose_t poses[16];
        system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0, poses, 16);
        system->IsTrackedDeviceConnected(1);
        system->GetTrackedDeviceClass(1);
    }
    EXPECT_EQ(runtime.step, 1u);
    system->GetControllerState(5, &state); // a poll of any device counts
    EXPECT_EQ(runtime.step, 2u);
    system->GetControllerState(1, &state);
    EXPECT_EQ(state.rAxis[1].x, 0.0f);
}

fs::path freshDirectory(const std::string& name) {
    fs::path dir = fs::temp_directory_path() /
                   ("wand_sim_" + name + "_" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(SimSteps, WaitFilesHoldAStepUntilTheTestOpensTheGate) {
    fs::path dir = freshDirectory("wait");
    Scenario scenario = parseScenario("device 0 hmd\n"
                                      "device 1 controller\n"
                                      "device 2 controller disconnected\n"
                                      "step polls=0 wait=plug\n" // discovery makes no polls
                                      "step wait=pull\n"         // a poll and the gate
                                      "  2 connected yes\n"
                                      "step\n"
                                      "  2 trigger 0.9\n");
    scenario.control_dir = dir.string();
    SimRuntime runtime(scenario);
    vr::IVRSystem* system = &runtime.system;
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(system->IsTrackedDeviceConnected(2));
    std::ofstream(dir / "plug").put('\n');
    EXPECT_TRUE(system->IsTrackedDeviceConnected(2));
    EXPECT_EQ(runtime.step, 2u);

    vr::VRControllerState_t state{};
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(system->GetControllerState(2, &state));
        EXPECT_EQ(state.rAxis[1].x, 0.0f);
    }
    std::ofstream(dir / "pull").put('\n');
    EXPECT_EQ(runtime.step, 2u); // the gate alone does not end the step: the next poll does
    EXPECT_TRUE(system->GetControllerState(2, &state));
    EXPECT_EQ(state.rAxis[1].x, 0.9f);
    fs::remove_all(dir);
}

TEST(SimSteps, MillisecondsAreALowerBoundOnTheSteadyClock) {
    SimRuntime runtime(parseScenario("device 1 controller\n"
                                     "step ms=60\n  1 trigger 1\n"
                                     "step\n  1 trigger 0\n"));
    vr::IVRSystem* system = &runtime.system;
    vr::VRControllerState_t state{};
    auto begun = std::chrono::steady_clock::now(); // before the step begins
    system->GetControllerState(1, &state);
    ASSERT_EQ(state.rAxis[1].x, 1.0f);
    auto deadline = begun + std::chrono::seconds(20);
    while (state.rAxis[1].x == 1.0f && std::chrono::steady_clock::now() < deadline)
        system->GetControllerState(1, &state);
    EXPECT_EQ(state.rAxis[1].x, 0.0f);
    EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(60));
}

double dot3(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The tip as the configurator computes it, in single precision and in its order.
void floatTip(const vr::HmdMatrix34_t& pose, float tip[3]) {
    for (int i = 0; i < 3; ++i) {
        const float* m = pose.m[i];
        tip[i] = ((m[0] * 0.0f - m[1] * 0.077f) - m[2] * 0.038f) + m[3];
    }
}

vr::HmdMatrix34_t poseOf(SimRuntime& runtime, uint32_t index) {
    vr::TrackedDevicePose_t poses[16];
    runtime.system.GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0, poses, 16);
    return poses[index].mDeviceToAbsoluteTracking;
}

void expectRotation(const vr::HmdMatrix34_t& m) {
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            double d = 0;
            for (int i = 0; i < 3; ++i)
                d += double(m.m[i][a]) * double(m.m[i][b]);
            EXPECT_NEAR(d, a == b ? 1.0 : 0.0, 1e-6) << "columns " << a << " " << b;
        }
    // Right-handed: x cross y = z.
    EXPECT_NEAR(m.m[1][0] * m.m[2][1] - m.m[2][0] * m.m[1][1], m.m[0][2], 1e-6);
}

TEST(SimPoses, AimTipAndMatrix) {
    SimRuntime runtime(parseScenario("device 1 controller\n"
                                     "step\n  1 pose aim 0.3 1.1 0.2 -0.4 0.8 -1.5\n"
                                     "step\n  1 pose tip 0.1 1.0 -0.7\n"
                                     "step\n  1 pose tip -0.25 1.3 -0.6 aim 0.5 0.5 -2\n"
                                     "step\n  1 pose aim 0 2 0 0 0 0\n" // straight down: the other up
                                     "step\n  1 pose matrix 0 -1 0 0.125 1 0 0 -2.5 0 0 1 1e-3\n"));
    vr::VRControllerState_t state{};

    // aim: position, and -Z points at the target.
    runtime.system.GetControllerState(1, &state);
    vr::HmdMatrix34_t aim = poseOf(runtime, 1);
    expectRotation(aim);
    EXPECT_EQ(aim.m[0][3], 0.3f);
    EXPECT_EQ(aim.m[1][3], 1.1f);
    EXPECT_EQ(aim.m[2][3], 0.2f);
    double toward[3] = {-0.4 - 0.3, 0.8 - 1.1, -1.5 - 0.2};
    double length = std::sqrt(dot3(toward, toward));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(-aim.m[i][2], toward[i] / length, 1e-6);
    EXPECT_GT(aim.m[1][1], 0.0f);         // up stays up
    EXPECT_NEAR(aim.m[1][0], 0.0f, 1e-7); // no roll: x is horizontal

    // tip: the rotation is kept and the tip point lands on the target.
    runtime.system.GetControllerState(1, &state);
    vr::HmdMatrix34_t tip = poseOf(runtime, 1);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(tip.m[i][j], aim.m[i][j]);
    float t[3];
    floatTip(tip, t);
    EXPECT_NEAR(t[0], 0.1f, 1e-6);
    EXPECT_NEAR(t[1], 1.0f, 1e-6);
    EXPECT_NEAR(t[2], -0.7f, 1e-6);

    // tip ... aim: the tip lands, and the forward axis points from the tip at the target.
    runtime.system.GetControllerState(1, &state);
    vr::HmdMatrix34_t tip_aim = poseOf(runtime, 1);
    expectRotation(tip_aim);
    floatTip(tip_aim, t);
    EXPECT_NEAR(t[0], -0.25f, 1e-6);
    EXPECT_NEAR(t[1], 1.3f, 1e-6);
    EXPECT_NEAR(t[2], -0.6f, 1e-6);
    double ray[3] = {0.5 + 0.25, 0.5 - 1.3, -2 + 0.6};
    length = std::sqrt(dot3(ray, ray));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(-tip_aim.m[i][2], ray[i] / length, 1e-6);

    runtime.system.GetControllerState(1, &state);
    vr::HmdMatrix34_t down = poseOf(runtime, 1);
    expectRotation(down);
    EXPECT_NEAR(down.m[1][2], 1.0f, 1e-7); // -Z points down

    runtime.system.GetControllerState(1, &state);
    vr::HmdMatrix34_t raw = poseOf(runtime, 1);
    const float expected[3][4] = {{0, -1, 0, 0.125f}, {1, 0, 0, -2.5f}, {0, 0, 1, 1e-3f}};
    EXPECT_EQ(0, std::memcmp(raw.m, expected, sizeof expected));
}

// The exported functions, in-process: simLoadScenarioText makes a scenario the process's own.
TEST(SimInProcess, LoadedScenarioServesTheExportedFunctions) {
    simLoadScenarioText("device 0 hmd\ndevice 3 controller\nstep\n  3 buttons grip\n");
    uint32_t before = VR_GetInitToken();
    EXPECT_FALSE(VR_IsInterfaceVersionValid("IVRSystem_012"));
    vr::EVRInitError error = vr::VRInitError_None;
    EXPECT_EQ(VR_GetGenericInterface("IVRSystem_012", &error), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_NotInitialized);

    uint32_t token = VR_InitInternal(&error, vr::VRApplication_Background);
    EXPECT_EQ(error, vr::VRInitError_None);
    EXPECT_EQ(token, before + 1);
    EXPECT_EQ(VR_GetInitToken(), token);
    auto* system = static_cast<vr::IVRSystem*>(VR_GetGenericInterface("IVRSystem_012", &error));
    ASSERT_EQ(system, static_cast<vr::IVRSystem*>(&simProcessRuntime().system));
    vr::VRControllerState_t state{};
    EXPECT_TRUE(system->GetControllerState(3, &state));
    EXPECT_EQ(uint64_t{state.ulButtonPressed}, 4u); // a copy: the field is packed to 4 bytes

    // Another scenario: same interface object, new state, the token keeps counting.
    simLoadScenarioText("init-error 301\n");
    EXPECT_FALSE(VR_IsInterfaceVersionValid("IVRSystem_012"));
    EXPECT_EQ(VR_InitInternal(&error, vr::VRApplication_Background), 0u);
    EXPECT_EQ(error, vr::VRInitError_IPC_ConnectFailed);
    EXPECT_EQ(VR_GetInitToken(), token);
    EXPECT_FALSE(system->GetControllerState(3, &state));

    EXPECT_THROW(simLoadScenarioText("device 1 gadget\n"), std::runtime_error);

    // Texts live as long as the process: the same pointer every time.
    EXPECT_EQ(VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(4242)),
              VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(4242)));
    EXPECT_STREQ(VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(4242)), "Unknown error (4242)");
}

TEST(SimSystemDeathTest, UnusedSlotsAbortNamingTheSlot) {
    SimRuntime runtime(defaultScenario());
    vr::IVRSystem* system = &runtime.system;
    EXPECT_DEATH(
        system->GetRecommendedRenderTargetSize(),
        "simulated VR runtime: IVRSystem_012 slot 0 \\(GetRecommendedRenderTargetSize\\) is not implemented");
    EXPECT_DEATH(system->ResetSeatedZeroPose(), "IVRSystem_012 slot 11 \\(ResetSeatedZeroPose\\)");
    EXPECT_DEATH(system->GetControllerStateWithPose(),
                 "IVRSystem_012 slot 33 \\(GetControllerStateWithPose\\)");
    EXPECT_DEATH(system->AcknowledgeQuit_UserPrompt(),
                 "IVRSystem_012 slot 43 \\(AcknowledgeQuit_UserPrompt\\)");
}

} // namespace
