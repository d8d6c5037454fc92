// The hand controller as both programs see it: once per poll the runtime's state and pose of one device are
// read into a ControllerFrame, which is all the programs know of the controller. The runtime's records and
// button masks stay inside vr/.
#pragma once

#include "geometry/geometry.h"
#include "vr/controller_model.h"
#include "vr/controls.h"
#include "vr/openvr_abi.h"

#include <array>
#include <cstdint>

// One control in one frame: down now, and whether it went down or came up since the last poll.
struct ControlState {
    bool held = false;
    bool pressed = false;
    bool released = false;
};

struct ControllerFrame {
    bool connected = false; // the runtime still reports the device, whether or not its pose is known
    bool tracked = false;   // the pose is valid and the device connected: the rays below mean something
    // The pointing ray, tilted by the aimed point given to the read (not normalised): the reference
    // controller's from its origin through that point, that of a model that aims from its own tip from the
    // tip along the tip's -Z, tilted alike.
    Ray ray;
    // The point that touches and the untilted aim: the reference controller's (0, -0.077, -0.038) m along
    // its -Z axis, or the model's tip along the tip's -Z.
    Ray tip;
    std::array<ControlState, kControlCount> controls{}; // by Control
    ControlState pad;                                   // the thumb control pressed, wherever the thumb is
    bool thumb_touching = false; // the thumb is on the touchpad or the stick is off centre
    float thumb_x = 0.0f;        // -1 (left) to 1 (right)
    float thumb_y = 0.0f;        // -1 (near) to 1 (far)
};

// A controller the program reads: the device, and what the last poll read, for the next one's edges.
struct TrackedController {
    uint32_t device_index = 0;
    vr::IVRSystem* system = nullptr;
    ControllerModel model; // the reference controller until readControllerModel says otherwise
    vr::VRControllerState_t state{};
    ControllerFrame last;
};

TrackedController makeTrackedController(vr::IVRSystem* system, uint32_t device_index);

// The controller-space point the pointing ray passes through when the controller is held straight.
inline constexpr Vec3 kStraightAhead = {0.0f, 0.0f, -1.0f};
// The point it passes through tilted by "controller_angle_offset": x to the right, y up.
inline Vec3 tiltedAim(float offset_x, float offset_y) {
    return {offset_x, offset_y, -1.0f};
}

// Polls the runtime once (the controller's state, all poses) and makes the frame; `aim` is the
// controller-space point the frame's ray passes through.
ControllerFrame readControllerFrame(TrackedController& controller, Vec3 aim = kStraightAhead);

// A joystick's travel, from its centre, within which it counts as at rest: it neither scrolls nor holds
// the centre strip (sticks drift a little off their centre, and the strip scrolls by the thumb's height).
inline constexpr float kJoystickDeadZone = 0.2f;

// The frame that follows `last`, from the runtime's records of this poll; `connected` is what the runtime
// says of the device when its pose is valid. The model decides the tip, the ray and the thumb control.
ControllerFrame makeControllerFrame(const ControllerFrame& last, const vr::VRControllerState_t& state,
                                    const vr::TrackedDevicePose_t& pose, bool connected, Vec3 aim,
                                    const ControllerModel& model = {});

// A haptic pulse of `microseconds` on the controller (axis 0). The runtime takes one per 5 ms per
// controller and caps each at about 4 ms.
void triggerHapticPulse(const TrackedController& controller, uint16_t microseconds);
