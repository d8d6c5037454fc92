// The trigger as the runner's primary button: a short pull clicks at its release, a longer one holds the
// button down (a drag) until the release; a click holds the cursor still while the pull turns the
// controller (the click freeze); and a pull counts only once the trigger has been seen released.
#pragma once

#include "config/config_file.h"
#include "geometry/geometry.h"
#include "vr/controller_frame.h"

#include <cstdint>

struct TriggerMachine {
    // A trigger already held when the loop starts (the pull that selected the controller), or pulled while
    // the controller was untracked, must not click or drag: it counts only once it has been seen released.
    bool seen_released = false;
    uint32_t press_tick = 0;
    bool dragging = false;
    bool freezing = false; // the cursor stays where the press placed it
    Vec3 press_direction;  // the filtered direction in the frame of the press
};

// What the trigger's button does in a frame.
enum class TriggerEvent { none, click, down, up };

// Whether the trigger acts in this frame; until it has been seen released it does not, nor in the frame
// that sees the release.
bool triggerActs(TriggerMachine& machine, const ControlState& trigger);

// The trigger as "default", in the frame starting at `now`: the drag begins in a held frame more than
// `threshold_ms` after the press; a release before that, however late it is seen, clicks.
TriggerEvent stepTrigger(TriggerMachine& machine, const ControlState& trigger, uint32_t now,
                         uint32_t threshold_ms);

// Whether the trigger keeps the cursor placed (held and counting, or dragging): the handover then never
// pauses.
bool triggerHoldsCursor(const TriggerMachine& machine, const ControlState& trigger);

// A frame without tracking. A controller that is gone (switched off, out of battery) may never come back
// to end its drag, and one whose pose is only lost ends it when it reports the trigger let go: returns
// whether the drag ends now (its button goes up). Unless a drag goes on, the trigger must then be seen
// released again.
bool triggerLost(TriggerMachine& machine, bool connected, const ControlState& trigger);

// The runner stops: returns whether a drag was under way (its button goes up).
bool endDrag(TriggerMachine& machine);

// The click freeze's cone: the setting, or 0 (none) when the trigger is bound to anything but its click.
float clickFreezeDegrees(const RunnerSettings& settings);

// Whether the cursor stays put in this frame. A direction that has left the cone of `cone_degrees` around
// the press direction ends the freeze.
bool freezeHolds(TriggerMachine& machine, Vec3 direction, float cone_degrees);

// After the frame's buttons: a trigger press in a frame that placed the cursor starts a freeze (when
// `cone_degrees` is above 0); the trigger's release or the start of a drag ends it, so a drag's button
// goes down at the frozen position and the cursor then follows.
void followTrigger(TriggerMachine& machine, const ControlState& trigger, Vec3 direction, bool placed,
                   float cone_degrees);
