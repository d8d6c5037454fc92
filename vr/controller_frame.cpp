#include "vr/controller_frame.h"

#include "vr/vr_runtime.h"

namespace {

// The trigger counts as held from this far on its axis (axis 1, x); its own button bit is never read.
constexpr float kTriggerThreshold = 0.1f;
// The buttons' bits in the runtime's mask. The thumb control's press is bit 32 and up by its axis
// (thumbPressMask): the touchpad's is bit 32, never its binding value's bit 31.
constexpr uint64_t kMenuBit = 1ull << 1;
constexpr uint64_t kGripBit = 1ull << 2;

// The thumb's regions of the thumb control (a touchpad, or a joystick's travel), edges included.
struct PadRegion {
    float xmin;
    float xmax;
};
constexpr PadRegion kLeftHalf = {-1.0f, 0.0f};
constexpr PadRegion kRightHalf = {0.0f, 1.0f};
constexpr PadRegion kCentreStrip = {-0.5f, 0.5f};

bool thumbIn(const ControllerFrame& f, PadRegion r) {
    return f.thumb_touching && r.xmin <= f.thumb_x && f.thumb_x <= r.xmax && -1.0f <= f.thumb_y &&
           f.thumb_y <= 1.0f;
}

ControlState edges(bool before, bool now) {
    return {now, now && !before, !now && before};
}

// A joystick holds the centre strip only pushed beyond its dead zone, up or down.
bool beyondDeadZone(const ControllerFrame& f, AxisKind kind) {
    return kind != AxisKind::joystick || f.thumb_y > kJoystickDeadZone || f.thumb_y < -kJoystickDeadZone;
}

// The controller-space point touched with the tip.
constexpr Vec3 kTip = {0.0f, -0.077f, -0.038f};

} // namespace

TrackedController makeTrackedController(vr::IVRSystem* system, uint32_t device_index) {
    TrackedController c;
    c.system = system;
    c.device_index = device_index;
    return c;
}

ControllerFrame makeControllerFrame(const ControllerFrame& last, const vr::VRControllerState_t& state,
                                    const vr::TrackedDevicePose_t& pose, bool connected, Vec3 aim,
                                    const ControllerModel& model) {
    ControllerFrame f;
    f.connected = pose.bDeviceIsConnected;
    f.tracked = pose.bPoseIsValid && connected;
    if (aimsFromModelTip(model)) {
        const Transform34 p = toTransform(pose.mDeviceToAbsoluteTracking);
        f.ray = tipAim(p, model.tip, aim.x, aim.y);
        f.tip = tipAim(p, model.tip);
    } else {
        // The reference controller's own arithmetic, which the file's numbers have always come from.
        Pose p;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                p.m[i][j] = pose.mDeviceToAbsoluteTracking.m[i][j];
        const Vec3 origin = transformPoint(p, {0.0f, 0.0f, 0.0f});
        f.ray = {origin, transformPoint(p, aim) - origin};
        f.tip = {transformPoint(p, kTip), forwardAxis(p)};
    }

    const ThumbControl thumb = model.thumb;
    f.thumb_x = state.rAxis[thumb.axis].x;
    f.thumb_y = state.rAxis[thumb.axis].y;
    f.thumb_touching = !(f.thumb_x == 0.0f && f.thumb_y == 0.0f);
    const uint64_t bits = state.ulButtonPressed;
    auto control = [&](Control c) -> const ControlState& { return last.controls[static_cast<size_t>(c)]; };
    auto set = [&](Control c, bool now) { f.controls[static_cast<size_t>(c)] = edges(control(c).held, now); };
    set(Control::trigger, state.rAxis[1].x >= kTriggerThreshold);
    set(Control::grip, (bits & kGripBit) != 0);
    set(Control::menu, (bits & kMenuBit) != 0);
    f.pad = edges(last.pad.held, (bits & thumbPressMask(thumb)) != 0);
    // A half is held from the pad's press in it until the pad is let go, wherever the thumb goes meanwhile.
    set(Control::pad_left,
        f.pad.held && (f.pad.pressed ? thumbIn(f, kLeftHalf) : control(Control::pad_left).held));
    set(Control::pad_right,
        f.pad.held && (f.pad.pressed ? thumbIn(f, kRightHalf) : control(Control::pad_right).held));
    set(Control::pad_centre, !f.pad.held && thumbIn(f, kCentreStrip) && beyondDeadZone(f, thumb.kind));
    return f;
}

ControllerFrame readControllerFrame(TrackedController& controller, Vec3 aim) {
    controller.system->GetControllerState(controller.device_index, &controller.state);
    vr::TrackedDevicePose_t pose{};
    std::array<vr::TrackedDevicePose_t, vr::k_unMaxTrackedDeviceCount> poses{};
    // The runtime gone away under us tracks nothing until it is back.
    if (vr::IVRSystem* system = vrSystem()) {
        system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0.0f, poses.data(),
                                                vr::k_unMaxTrackedDeviceCount);
        if (controller.device_index < vr::k_unMaxTrackedDeviceCount)
            pose = poses[controller.device_index];
    }
    const bool connected =
        pose.bPoseIsValid && controller.system->IsTrackedDeviceConnected(controller.device_index);
    controller.last =
        makeControllerFrame(controller.last, controller.state, pose, connected, aim, controller.model);
    return controller.last;
}

void triggerHapticPulse(const TrackedController& controller, uint16_t microseconds) {
    if (controller.system)
        controller.system->TriggerHapticPulse(controller.device_index, 0, microseconds);
}
