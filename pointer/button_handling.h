// The controller's buttons, touchpad and trigger as mouse input.
#pragma once

#include "config/config_file.h"
#include "pointer/pointer_io.h"
#include "vr/tracked_controller.h"

#include <cstdint>

// The part of the runner's loop state that the buttons read and change.
struct ButtonState {
    bool cursor_enabled = true;
    bool dragging = false;
    uint32_t trigger_press_tick = 0;
    // A trigger already held when the loop starts (the pull that selected the controller) must not
    // click or drag: the trigger counts only once the loop has seen it released.
    bool trigger_seen_released = false;
};

// Middle click, cursor toggle, wheel, touchpad clicks, then trigger clicks and drags, in that order.
void handleButtons(const TrackedController& controller, const RunnerSettings& settings, ButtonState& state,
                   const PointerIo& io);

// Lets go of the button that a drag holds down, if any (used when the runner stops).
void releaseHeldButton(const RunnerSettings& settings, ButtonState& state, const PointerIo& io);
