// Which controller the runtime tracks: each simulated model read in-process (its names, its thumb control,
// its line, its tip), the tip's arithmetic to known points, and the choice of the thumb control.
#include "geometry/tip.h"
#include "sim/sim_core.h"
#include "vr/controller_model.h"
#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

TEST(TipGeometry, TheTipsPointAndAimReachTrackingSpaceInTheGivenOrder) {
    // The pose turns the controller's x onto -z and its z onto x, and moves it to (1, 2, 3); the tip sits
    // at (0.5, -0.25, -1) and is turned so that its -Z runs along the controller's +Y.
    Transform34 pose;
    pose.m[0][0] = 0.0f, pose.m[0][2] = 1.0f, pose.m[2][0] = -1.0f, pose.m[2][2] = 0.0f;
    pose.m[0][3] = 1.0f, pose.m[1][3] = 2.0f, pose.m[2][3] = 3.0f;
    Transform34 tip;
    tip.m[1][1] = 0.0f, tip.m[1][2] = -1.0f, tip.m[2][1] = 1.0f, tip.m[2][2] = 0.0f;
    tip.m[0][3] = 0.5f, tip.m[1][3] = -0.25f, tip.m[2][3] = -1.0f;
    const Ray aim = tipAim(pose, tip);
    EXPECT_EQ(aim.origin.x, 0.0f);
    EXPECT_EQ(aim.origin.y, 1.75f);
    EXPECT_EQ(aim.origin.z, 2.5f);
    EXPECT_EQ(aim.direction.x, 0.0f);
    EXPECT_EQ(aim.direction.y, 1.0f);
    EXPECT_EQ(aim.direction.z, 0.0f);
    // The offsets tilt the tip's own -Z as they tilt the pointing ray: (0.5, 0, -1) in the tip's frame.
    const Vec3 tilted = tipDirection(pose, tip, 0.5f, 0.0f);
    EXPECT_EQ(tilted.x, 0.0f);
    EXPECT_EQ(tilted.y, 1.0f);
    EXPECT_EQ(tilted.z, -0.5f);

    // With the reference tip the point is the reference controller's own expression, to the bit.
    const double from[3] = {0.3, 1.1, 0.4}, to[3] = {-0.7, 0.9, -1.3};
    const SimMatrix aimed = aimPose(from, to);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            pose.m[i][j] = float(aimed.m[i][j]);
    const Vec3 point = tipPoint(pose, referenceTip());
    const float* got[3] = {&point.x, &point.y, &point.z};
    for (int i = 0; i < 3; ++i) {
        const float(*m)[4] = pose.m;
        const float part = ((m[i][0] * 0.0f - m[i][1] * 0.077f) - m[i][2] * 0.038f) + m[i][3];
        EXPECT_EQ(std::bit_cast<uint32_t>(*got[i]), std::bit_cast<uint32_t>(part)) << i;
    }
}

TEST(ControllerModel, EachModelIsReadWithItsThumbControlItsLineAndTheTipThatScenariosPlace) {
    struct Case {
        const char* type;
        const char* render_model;
        bool reference;
        bool has_tip;
        ThumbControl thumb;
        const char* line;
    };
    const Case cases[] = {
        {"vive_controller", "vr_controller_vive_1_5", true, false, {0, AxisKind::trackpad}, ""},
        {"knuckles",
         "valve_controller_knu_1_0_right",
         false,
         true,
         {0, AxisKind::trackpad},
         "Controller: knuckles (valve_controller_knu_1_0_right), aiming from its tip"},
        {"oculus_touch",
         "oculus_cv1_controller_left",
         false,
         true,
         {0, AxisKind::joystick},
         "Controller: oculus_touch (oculus_cv1_controller_left), aiming from its tip"},
        // A render model's name longer than the first buffer is read again at its length.
        {"holographic_controller",
         "{holographic}holographic_controller_right",
         false,
         true,
         {2, AxisKind::trackpad},
         "Controller: holographic_controller ({holographic}holographic_controller_right), aiming from its "
         "tip"},
        {"wand_prototype",
         "wand_prototype_1_0",
         false,
         false,
         {0, AxisKind::trackpad},
         "Controller: wand_prototype (wand_prototype_1_0) has no tip in its model; touching and aiming as "
         "with a "
         "Vive controller"},
        {"", "", true, false, {0, AxisKind::trackpad}, ""},
    };
    // Every tip lands on one point and aims at one target, whichever tip the programs use with the model.
    const double tip[3] = {0.1, 1.0, -0.7}, target[3] = {0.4, 0.8, -2.0};
    useVrLibrary(simVrLibrary());
    simLoadScenarioText(
        "device 0 hmd\ndevice 1 controller\ndevice 2 controller model=index-right\n"
        "device 3 controller model=touch-left\ndevice 4 controller model=wmr-right\n"
        "device 5 controller model=no-tip\ndevice 6 controller model=unnamed\nstep\n"
        "  1 pose tip 0.1 1.0 -0.7 aim 0.4 0.8 -2\n  2 pose tip 0.1 1.0 -0.7 aim 0.4 0.8 -2\n"
        "  3 pose aim 0 0 0 1 1 1\n  3 pose tip 0.1 1.0 -0.7\n  4 pose tip 0.1 1.0 -0.7 aim 0.4 0.8 -2\n"
        "  5 pose tip 0.1 1.0 -0.7 aim 0.4 0.8 -2\n  6 pose tip 0.1 1.0 -0.7 aim 0.4 0.8 -2\n");
    const VrStartup vr = startVr();
    ASSERT_EQ(vr.error, vr::VRInitError_None);
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    vr.system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0.0f, poses, 16);
    for (uint32_t device = 1; device <= 6; ++device) {
        const Case& c = cases[device - 1];
        const ControllerModel model = readControllerModel(vr.system, device);
        EXPECT_EQ(model.type, c.type);
        EXPECT_EQ(model.render_model, c.render_model);
        EXPECT_EQ(model.reference, c.reference) << c.type;
        EXPECT_EQ(model.has_tip, c.has_tip) << c.type;
        EXPECT_EQ(aimsFromModelTip(model), c.has_tip) << c.type;
        EXPECT_EQ(model.thumb.axis, c.thumb.axis) << c.type;
        EXPECT_EQ(model.thumb.kind, c.thumb.kind) << c.type;
        EXPECT_EQ(describeController(model), c.line);

        const Ray aim = tipAim(toTransform(poses[device].mDeviceToAbsoluteTracking), model.tip);
        const Vec3 expected =
            Vec3{float(target[0] - tip[0]), float(target[1] - tip[1]), float(target[2] - tip[2])};
        const Vec3 unit = expected / length(expected), got = aim.direction / length(aim.direction);
        EXPECT_NEAR(aim.origin.x, tip[0], 1e-6) << c.type;
        EXPECT_NEAR(aim.origin.y, tip[1], 1e-6) << c.type;
        EXPECT_NEAR(aim.origin.z, tip[2], 1e-6) << c.type;
        if (device != 3) { // the Touch-like's tip was moved with its rotation kept
            EXPECT_NEAR(got.x, unit.x, 1e-6) << c.type;
            EXPECT_NEAR(got.y, unit.y, 1e-6) << c.type;
            EXPECT_NEAR(got.z, unit.z, 1e-6) << c.type;
        }
    }
    endVrSession();
}

TEST(ControllerModel, TheThumbControlIsTheTrackpadElseTheFirstJoystickElseAxisZero) {
    using K = AxisKind;
    const std::pair<AxisKinds, ThumbControl> cases[] = {
        {{K::joystick, K::trigger, K::trackpad, K::none, K::none}, {2, K::trackpad}},
        {{K::trigger, K::none, K::unknown, K::joystick, K::joystick}, {3, K::joystick}},
        {{K::trigger, K::trigger, K::none, K::none, K::unknown}, {0, K::trackpad}},
    };
    for (const auto& [axes, thumb] : cases) {
        const ThumbControl chosen = chooseThumbControl(axes);
        EXPECT_EQ(chosen.axis, thumb.axis);
        EXPECT_EQ(chosen.kind, thumb.kind);
    }
    EXPECT_EQ(thumbPressMask({0, K::trackpad}), 1ull << 32);
    EXPECT_EQ(thumbPressMask({3, K::joystick}), 1ull << 35);
}

} // namespace
