// The controller's buttons, touchpad and trigger as mouse input and keys, as "bindings" says.
#pragma once

#include "config/config_file.h"
#include "pointer/pointer_io.h"
#include "vr/tracked_controller.h"

#include <array>
#include <cstdint>

// The part of the runner's loop state that the buttons read and change.
struct ButtonState {
    bool cursor_enabled = true;
    bool dragging = false;
    uint32_t trigger_press_tick = 0;
    // A trigger already held when the loop starts (the pull that selected the controller) must not
    // click or drag: the trigger counts only once the loop has seen it released.
    bool trigger_seen_released = false;
    // By BoundControl: the controls whose binding holds a mouse button or keys down now, and those seen
    // released since the loop started or since they last had to let go; only those, or a press seen
    // happening, may press again.
    std::array<bool, kBoundControlCount> holding{};
    std::array<bool, kBoundControlCount> seen_released{};
    // The touchpad halves (left, right) in which the pad's press began, while it lasts.
    std::array<bool, 2> pad_pressed_in{};
    bool thumb_on_strip = false; // in the last tracked frame: touching the centre strip, not pressing
    bool pulsed = false;         // a haptic pulse has been sent, at pulse_tick
    uint32_t pulse_tick = 0;
};

// Grip, menu, the centre strip, the touchpad halves, then the trigger, in that order, each as bound.
void handleButtons(const TrackedController& controller, const RunnerSettings& settings, ButtonState& state,
                   const PointerIo& io);

// Lets go of what the bindings hold down, keys in reverse order; the controls must be seen released before
// they act again. For a controller whose release can no longer be seen, and for the cursor switched off.
void releaseBindings(const RunnerSettings& settings, ButtonState& state, const PointerIo& io);

// Lets go of everything held: the drag's button and what the bindings hold (used when the runner stops).
void releaseEverything(const RunnerSettings& settings, ButtonState& state, const PointerIo& io);
