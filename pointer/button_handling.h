// The controller's buttons, touchpad and trigger as mouse input and keys, as "bindings" says.
#pragma once

#include "config/config_file.h"
#include "pointer/pointer_io.h"
#include "pointer/trigger_machine.h"
#include "vr/controller_frame.h"

#include <array>
#include <cstdint>

// The part of the runner's loop state that the buttons read and change, besides the trigger's own.
struct ButtonState {
    bool cursor_enabled = true;
    // By Control: the controls whose binding holds a mouse button or keys down now, and those seen released
    // since the loop started or since they last had to let go; only those, or a press seen happening, may
    // press again.
    std::array<bool, kControlCount> holding{};
    std::array<bool, kControlCount> seen_released{};
    bool pulsed = false; // a haptic pulse has been sent, at pulse_tick
    uint32_t pulse_tick = 0;
};

// The controller's buttons in one tracked frame.
struct ButtonFrame {
    const TrackedController& controller; // for haptic pulses
    const ControllerFrame& frame;
    const RunnerSettings& settings;
};

// Grip, menu, the centre strip, the touchpad halves, then the trigger, in that order, each as bound.
void handleButtons(const ButtonFrame& in, ButtonState& state, TriggerMachine& trigger, const PointerIo& io);

// Whether a binding holds a mouse button or keys down.
bool bindingsHold(const ButtonState& state);

// Lets go of what the bindings hold down, keys in reverse order; the controls must be seen released before
// they act again. For a controller whose release can no longer be seen, and for the cursor switched off.
void releaseBindings(const RunnerSettings& settings, ButtonState& state, const PointerIo& io);

// A frame without tracking: what the bindings hold is let go (a key held while nobody can see its
// control's release would repeat at the desktop), and the drag's button when the trigger says so.
void loseButtons(const ControllerFrame& frame, const RunnerSettings& settings, ButtonState& buttons,
                 TriggerMachine& trigger, const PointerIo& io);

// Lets go of everything held: the drag's button and what the bindings hold (used when the runner stops).
void releaseEverything(const RunnerSettings& settings, ButtonState& state, TriggerMachine& trigger,
                       const PointerIo& io);
