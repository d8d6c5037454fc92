#include "pointer/trigger_machine.h"

bool triggerActs(TriggerMachine& machine, const ControlState& trigger) {
    if (machine.seen_released)
        return true;
    machine.seen_released = !trigger.held;
    return false;
}

TriggerEvent stepTrigger(TriggerMachine& machine, const ControlState& trigger, uint32_t now,
                         uint32_t threshold_ms) {
    if (trigger.pressed)
        machine.press_tick = now;
    if (trigger.held && now - machine.press_tick > threshold_ms && !machine.dragging) {
        machine.dragging = true;
        return TriggerEvent::down;
    }
    // A release ends the drag, or else it is a click, however long the pull was: a pull released in the
    // frame after the threshold passed, before any held frame began the drag, still clicks. A release made
    // while the controller was untracked has already ended the drag then (triggerLost).
    if (!trigger.released)
        return TriggerEvent::none;
    if (endDrag(machine))
        return TriggerEvent::up;
    return TriggerEvent::click;
}

bool triggerHoldsCursor(const TriggerMachine& machine, const ControlState& trigger) {
    return machine.dragging || (machine.seen_released && trigger.held);
}

bool triggerLost(TriggerMachine& machine, bool connected, const ControlState& trigger) {
    const bool ends = !connected || !trigger.held ? endDrag(machine) : false;
    // A pull that begins now is never seen as a press; if the trigger is still held when tracking returns,
    // it must neither click nor drag.
    if (!machine.dragging)
        machine.seen_released = false;
    return ends;
}

bool endDrag(TriggerMachine& machine) {
    const bool was = machine.dragging;
    machine.dragging = false;
    return was;
}

float clickFreezeDegrees(const RunnerSettings& settings) {
    // Only the trigger's own click waits for its release, so only it holds the cursor still.
    return bindingOf(settings, Control::trigger).action == Action::standard ? settings.click_freeze_degrees
                                                                            : 0.0f;
}

bool freezeHolds(TriggerMachine& machine, Vec3 direction, float cone_degrees) {
    if (!machine.freezing)
        return false;
    if (angleDegrees(direction, machine.press_direction) <= cone_degrees)
        return true;
    machine.freezing = false;
    return false;
}

void followTrigger(TriggerMachine& machine, const ControlState& trigger, Vec3 direction, bool placed,
                   float cone_degrees) {
    if (machine.freezing) {
        if (machine.dragging || !trigger.held)
            machine.freezing = false;
        return;
    }
    if (cone_degrees > 0.0f && placed && machine.seen_released && !machine.dragging && trigger.pressed) {
        machine.freezing = true;
        machine.press_direction = direction;
    }
}
