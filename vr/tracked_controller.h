// The record through which both programs read a hand controller: its state, the poses of all tracked
// devices, button tests with edge detection, and the rays the programs derive from its pose.
#pragma once

#include "geometry/geometry.h"
#include "vr/openvr_abi.h"

#include <array>
#include <cstdint>

struct TouchpadRegion {
    float xmin = -1.0f;
    float xmax = 1.0f;
    float ymin = -1.0f;
    float ymax = 1.0f;
};

struct TrackedController {
    uint32_t device_index = 0;
    vr::VRControllerState_t state{};
    vr::VRControllerState_t previous_state{};
    vr::IVRSystem* system = nullptr;
    std::array<vr::TrackedDevicePose_t, vr::k_unMaxTrackedDeviceCount> poses{};
    float trigger_threshold = 0.1f;
    std::array<TouchpadRegion, 9> touchpad_regions{};
    uint64_t grip_button = 4;
    uint64_t menu_button = 2;
    uint64_t touchpad_button = 0x80000000ull;
    uint64_t trigger_button = 0x8000ull;
};

// The controls that the button tests read, each through its binding value above: the menu and grip
// buttons by their bits, the touchpad's press by bit 32 (the binding's bits shifted by one), the trigger
// by its axis against trigger_threshold, never by a bit.
enum class Control { menu, grip, touchpad, trigger };

// Touchpad regions by index, as touchpadIn takes them.
inline constexpr int kTouchpadLeftHalf = 0;
inline constexpr int kTouchpadRightHalf = 1;
inline constexpr int kTouchpadCentreStrip = 8;

TrackedController makeTrackedController(vr::IVRSystem* system, uint32_t device_index);

// previous_state = state; state = the controller's state now; poses = all poses now.
void update(TrackedController& controller);
// The pose is valid and the runtime reports the controller connected (asked only for a valid pose).
bool isTracking(const TrackedController& controller);

bool isHeld(const TrackedController& controller, Control control);
bool pressEdge(const TrackedController& controller, Control control);
bool releaseEdge(const TrackedController& controller);
bool touchpadIn(const TrackedController& controller, int region);

// A haptic pulse of `microseconds` on the controller (axis 0). The runtime takes one per 5 ms per
// controller and caps each at about 4 ms.
void triggerHapticPulse(const TrackedController& controller, uint16_t microseconds);

struct PointingRay {
    Vec4 origin;
    Vec3 direction;
};
// The runner's ray: from the controller's origin along its -Z axis tilted by the offsets (not normalised).
PointingRay pointingRay(const TrackedController& controller, float offset_x = 0.0f, float offset_y = 0.0f);
// The configurator's ray: from the tip, the controller-space point (0, -0.077, -0.038), along -Z.
PointingRay tipRay(const TrackedController& controller);
