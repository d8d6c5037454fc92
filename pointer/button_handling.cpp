#include "pointer/button_handling.h"

#include <algorithm>
#include <optional>

namespace {

using platform::ButtonAction;
using platform::MouseButton;

// What one call of handleButtons works on.
struct Frame {
    const ButtonFrame& in;
    ButtonState& state;
    TriggerMachine& trigger;
    const PointerIo& io;
    const ControlState& control(Control c) const { return in.frame.controls[static_cast<size_t>(c)]; }
};

// A haptic pulse for a click or a press, at most one per kHapticGapMs.
void pulse(Frame& f) {
    ButtonState& state = f.state;
    if (f.in.settings.haptic_click_us == 0)
        return;
    const uint32_t now = f.io.tick_count();
    if (state.pulsed && now - state.pulse_tick < kHapticGapMs)
        return;
    state.pulsed = true;
    state.pulse_tick = now;
    f.io.haptic_pulse(f.in.controller, f.in.settings.haptic_click_us);
}

void click(Frame& f, MouseButton button, int times) {
    for (int i = 0; i < times; ++i)
        f.io.mouse_button(button, ButtonAction::click);
    pulse(f);
}

// The trigger's button for the handedness (1 right-handed: left button; 2: right button); none for any
// other handedness, which sends nothing.
std::optional<MouseButton> primaryButton(int32_t handedness) {
    if (handedness == 1)
        return MouseButton::left;
    if (handedness == 2)
        return MouseButton::right;
    return std::nullopt;
}

bool sendPrimary(const PointerIo& io, const RunnerSettings& settings, ButtonAction action) {
    const std::optional<MouseButton> button = primaryButton(settings.handedness);
    if (button)
        io.mouse_button(*button, action);
    return button.has_value();
}

void toggleCursor(Frame& f) {
    ButtonState& state = f.state;
    state.cursor_enabled = !state.cursor_enabled;
    f.io.print(state.cursor_enabled ? "\nCursor enabled" : "\nCursor disabled");
    if (!state.cursor_enabled)
        releaseBindings(f.in.settings, state, f.io);
}

void scroll(Frame& f) {
    if (f.control(Control::pad_centre).held) {
        const float amount = f.in.frame.thumb_y * 30.0f;
        f.io.mouse_wheel(static_cast<int32_t>(amount));
    }
}

// The trigger as "default": a short pull clicks at the release, a longer one holds the button down.
void clickOrDrag(Frame& f) {
    const auto threshold = static_cast<uint32_t>(f.in.settings.dragging_threshold_ms);
    switch (stepTrigger(f.trigger, f.control(Control::trigger), f.io.tick_count(), threshold)) {
    case TriggerEvent::none:
        break;
    case TriggerEvent::down:
        if (sendPrimary(f.io, f.in.settings, ButtonAction::down))
            pulse(f);
        break;
    case TriggerEvent::click:
        if (sendPrimary(f.io, f.in.settings, ButtonAction::click))
            pulse(f);
        break;
    case TriggerEvent::up:
        sendPrimary(f.io, f.in.settings, ButtonAction::up);
        break;
    }
}

// What each control has always done.
void standardAction(Frame& f, Control control) {
    const RunnerSettings& settings = f.in.settings;
    const bool pressed = f.control(control).pressed;
    switch (control) {
    case Control::grip:
        if (pressed)
            click(f, MouseButton::middle, 1);
        break;
    case Control::menu:
        if (pressed)
            toggleCursor(f);
        break;
    case Control::pad_centre:
        scroll(f);
        break;
    case Control::pad_left: // the primary half double-clicks
        if (pressed)
            click(f, MouseButton::left, settings.handedness == 1 ? 2 : 1);
        break;
    case Control::pad_right:
        if (pressed)
            click(f, MouseButton::right, settings.handedness == 2 ? 2 : 1);
        break;
    case Control::trigger:
        clickOrDrag(f);
        break;
    }
}

MouseButton buttonOf(Action action) {
    return action == Action::left    ? MouseButton::left
           : action == Action::right ? MouseButton::right
                                     : MouseButton::middle;
}

// Modifiers in order, then the key; or the mouse button.
void pressDown(const Binding& binding, const PointerIo& io) {
    if (binding.action != Action::keys) {
        io.mouse_button(buttonOf(binding.action), ButtonAction::down);
        return;
    }
    for (size_t k = 0; k < binding.key_count; ++k)
        io.key(binding.keys[k], true);
}

// The key, then the modifiers in reverse order; or the mouse button.
void letGo(const Binding& binding, ButtonState& state, const PointerIo& io, size_t control) {
    state.holding[control] = false;
    if (binding.action != Action::keys) {
        io.mouse_button(buttonOf(binding.action), ButtonAction::up);
        return;
    }
    for (size_t k = binding.key_count; k > 0; --k)
        io.key(binding.keys[k - 1], false);
}

// A mouse button or keys held down while the control is, from a press seen (or a hold that began after
// the control was seen released) to its release.
void hold(Frame& f, Control control, const Binding& binding) {
    ButtonState& state = f.state;
    const auto i = static_cast<size_t>(control);
    const ControlState& c = f.control(control);
    if (state.holding[i] && !c.held) {
        letGo(binding, state, f.io, i);
    } else if (!state.holding[i] && c.held && (state.seen_released[i] || c.pressed)) {
        pressDown(binding, f.io);
        state.holding[i] = true;
        pulse(f);
    }
    if (!c.held)
        state.seen_released[i] = true;
}

void act(Frame& f, Control control) {
    const Binding& binding = bindingOf(f.in.settings, control);
    switch (binding.action) {
    case Action::standard:
        standardAction(f, control);
        break;
    case Action::wheel:
        scroll(f);
        break;
    case Action::none:
        break;
    case Action::toggle:
        if (f.control(control).pressed)
            toggleCursor(f);
        break;
    case Action::double_click:
        if (f.control(control).pressed)
            click(f, MouseButton::left, 2);
        break;
    case Action::left:
    case Action::right:
    case Action::middle:
    case Action::keys:
        hold(f, control, binding);
        break;
    }
}

} // namespace

void handleButtons(const ButtonFrame& in, ButtonState& state, TriggerMachine& trigger, const PointerIo& io) {
    Frame f{in, state, trigger, io};
    act(f, Control::grip);
    act(f, Control::menu);
    act(f, Control::pad_centre);
    act(f, Control::pad_left);
    act(f, Control::pad_right);
    if (!triggerActs(trigger, f.control(Control::trigger))) {
        state.seen_released[static_cast<size_t>(Control::trigger)] = trigger.seen_released;
        return;
    }
    act(f, Control::trigger);
}

bool bindingsHold(const ButtonState& state) {
    return std::find(state.holding.begin(), state.holding.end(), true) != state.holding.end();
}

void releaseBindings(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    for (size_t i = 0; i < kControlCount; ++i) {
        if (state.holding[i])
            letGo(settings.bindings[i], state, io, i);
        state.seen_released[i] = false;
    }
}

void loseButtons(const ControllerFrame& frame, const RunnerSettings& settings, ButtonState& buttons,
                 TriggerMachine& trigger, const PointerIo& io) {
    releaseBindings(settings, buttons, io);
    if (triggerLost(trigger, frame.connected, frame.controls[static_cast<size_t>(Control::trigger)]))
        sendPrimary(io, settings, ButtonAction::up);
}

void releaseEverything(const RunnerSettings& settings, ButtonState& state, TriggerMachine& trigger,
                       const PointerIo& io) {
    releaseBindings(settings, state, io);
    if (endDrag(trigger))
        sendPrimary(io, settings, ButtonAction::up);
}
