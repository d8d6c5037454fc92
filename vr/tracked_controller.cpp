#include "vr/tracked_controller.h"

#include "vr/vr_runtime.h"

TrackedController makeTrackedController(vr::IVRSystem* system, uint32_t device_index) {
    TrackedController c;
    c.system = system;
    c.device_index = device_index;
    c.trigger_threshold = 0.1f;
    c.touchpad_regions = {{
        {-1.0f, 0.0f, -1.0f, 1.0f}, // left half
        {0.0f, 1.0f, -1.0f, 1.0f},  // right half
        {-1.0f, 1.0f, -1.0f, 0.0f}, // lower half
        {-1.0f, 1.0f, 0.0f, 1.0f},  // upper half
        {-1.0f, 0.0f, 0.0f, 1.0f},  // upper left quarter
        {-1.0f, 0.0f, -1.0f, 0.0f}, // lower left quarter
        {0.0f, 1.0f, -1.0f, 0.0f},  // lower right quarter
        {0.0f, 1.0f, 0.0f, 1.0f},   // upper right quarter
        {-0.5f, 0.5f, -1.0f, 1.0f}, // centre strip
    }};
    return c;
}

void update(TrackedController& controller) {
    controller.previous_state = controller.state;
    controller.system->GetControllerState(controller.device_index, &controller.state);
    if (vr::IVRSystem* system = vrSystem()) {
        system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0.0f,
                                                controller.poses.data(), vr::k_unMaxTrackedDeviceCount);
    } else {
        // The runtime went away under us: nothing is tracked until it is back.
        controller.poses = {};
    }
}

bool isTracking(const TrackedController& controller) {
    if (controller.device_index >= vr::k_unMaxTrackedDeviceCount)
        return false;
    if (!controller.poses[controller.device_index].bPoseIsValid)
        return false;
    return controller.system->IsTrackedDeviceConnected(controller.device_index);
}

namespace {

// The control's bit in the state's button masks; the trigger's own is never read, its axis is.
uint64_t buttonMask(const TrackedController& controller, Control control) {
    switch (control) {
    case Control::menu:
        return controller.menu_button;
    case Control::grip:
        return controller.grip_button;
    case Control::touchpad:
        return controller.touchpad_button;
    case Control::trigger:
        break;
    }
    return controller.trigger_button;
}

// The touchpad marker stands for button 32; shifting the masks right by one brings it under the marker.
int maskShift(Control control) {
    return control == Control::touchpad ? 1 : 0;
}

float triggerNow(const TrackedController& controller) {
    return controller.state.rAxis[1].x;
}
float triggerBefore(const TrackedController& controller) {
    return controller.previous_state.rAxis[1].x;
}

} // namespace

bool isHeld(const TrackedController& controller, Control control) {
    if (control == Control::trigger)
        return triggerNow(controller) >= controller.trigger_threshold;
    const uint64_t mask = buttonMask(controller, control);
    const int s = maskShift(control);
    return ((controller.state.ulButtonPressed >> s) & mask) != 0;
}

bool pressEdge(const TrackedController& controller, Control control) {
    if (control == Control::trigger) {
        return triggerNow(controller) >= controller.trigger_threshold &&
               triggerBefore(controller) < controller.trigger_threshold;
    }
    const uint64_t mask = buttonMask(controller, control);
    const int s = maskShift(control);
    return ((controller.state.ulButtonPressed >> s) & mask) != 0 &&
           ((controller.previous_state.ulButtonPressed >> s) & mask) == 0;
}

bool releaseEdge(const TrackedController& controller) {
    return triggerNow(controller) < controller.trigger_threshold &&
           triggerBefore(controller) >= controller.trigger_threshold;
}

bool touchpadIn(const TrackedController& controller, int region) {
    const float x = controller.state.rAxis[0].x;
    const float y = controller.state.rAxis[0].y;
    if (x == 0.0f && y == 0.0f)
        return false;
    const TouchpadRegion& r = controller.touchpad_regions[region];
    return r.xmin <= x && x <= r.xmax && r.ymin <= y && y <= r.ymax;
}

void triggerHapticPulse(const TrackedController& controller, uint16_t microseconds) {
    if (controller.system)
        controller.system->TriggerHapticPulse(controller.device_index, 0, microseconds);
}

namespace {

const float (*poseMatrix(const TrackedController& controller))[4] {
    return controller.poses[controller.device_index % vr::k_unMaxTrackedDeviceCount]
        .mDeviceToAbsoluteTracking.m;
}

} // namespace

PointingRay pointingRay(const TrackedController& controller, float offset_x, float offset_y) {
    const float(*m)[4] = poseMatrix(controller);
    float origin[3];
    float direction[3];
    for (int i = 0; i < 3; ++i) {
        origin[i] = m[i][1] * 0.0f + m[i][0] * 0.0f + m[i][2] * 0.0f + m[i][3];
        const float q = ((m[i][1] * offset_y + m[i][0] * offset_x) - m[i][2] * 1.0f) + m[i][3];
        direction[i] = q - origin[i];
    }
    PointingRay ray;
    ray.origin = {origin[0], origin[1], origin[2], 1.0f};
    ray.direction = {direction[0], direction[1], direction[2]};
    return ray;
}

PointingRay tipRay(const TrackedController& controller) {
    const float(*m)[4] = poseMatrix(controller);
    float tip[3];
    for (int i = 0; i < 3; ++i)
        tip[i] = ((m[i][0] * 0.0f - m[i][1] * 0.077f) - m[i][2] * 0.038f) + m[i][3];
    PointingRay ray;
    ray.origin = {tip[0], tip[1], tip[2], 1.0f};
    ray.direction = {-m[0][2], -m[1][2], -m[2][2]};
    return ray;
}
