#include "pointer/button_handling.h"

#include <optional>

namespace {

using platform::ButtonAction;
using platform::MouseButton;

// What one call of handleButtons works on.
struct Frame {
    const TrackedController& c;
    const RunnerSettings& settings;
    ButtonState& state;
    const PointerIo& io;
};

// A haptic pulse for a click or a press, at most one per kHapticGapMs.
void pulse(Frame& f) {
    ButtonState& state = f.state;
    if (f.settings.haptic_click_us == 0)
        return;
    const uint32_t now = f.io.tick_count();
    if (state.pulsed && now - state.pulse_tick < kHapticGapMs)
        return;
    state.pulsed = true;
    state.pulse_tick = now;
    f.io.haptic_pulse(f.c, f.settings.haptic_click_us);
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

void endDrag(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    state.dragging = false;
    sendPrimary(io, settings, ButtonAction::up);
}

void toggleCursor(Frame& f) {
    ButtonState& state = f.state;
    state.cursor_enabled = !state.cursor_enabled;
    platform::print("\nCursor %s", state.cursor_enabled ? "enabled" : "disabled");
    if (!state.cursor_enabled)
        releaseBindings(f.settings, state, f.io);
}

bool thumbOnStrip(const TrackedController& c) {
    return !isHeld(c, Control::touchpad) && touchpadIn(c, kTouchpadCentreStrip);
}

void scroll(Frame& f) {
    const TrackedController& c = f.c;
    if (thumbOnStrip(c)) {
        const float amount = c.state.rAxis[0].y * 30.0f;
        f.io.mouse_wheel(static_cast<int32_t>(amount));
    }
}

// The trigger as "default": a short pull clicks at the release, a longer one holds the button down.
void clickOrDrag(Frame& f) {
    const TrackedController& c = f.c;
    const RunnerSettings& settings = f.settings;
    ButtonState& state = f.state;
    const PointerIo& io = f.io;
    const auto threshold = static_cast<uint32_t>(settings.dragging_threshold_ms);
    if (pressEdge(c, Control::trigger))
        state.trigger_press_tick = io.tick_count();

    if (isHeld(c, Control::trigger) && io.tick_count() - state.trigger_press_tick > threshold &&
        !state.dragging) {
        state.dragging = true;
        if (sendPrimary(io, settings, ButtonAction::down))
            pulse(f);
    }

    // A release ends the drag, or else it is a click, however long the pull was: a pull released in the
    // frame after the threshold passed, before any held frame began the drag, still clicks. A release made
    // while the controller was untracked has already ended the drag then (the runner's lost frames).
    if (releaseEdge(c)) {
        if (state.dragging) {
            endDrag(settings, state, io);
        } else if (sendPrimary(io, settings, ButtonAction::click)) {
            pulse(f);
        }
    }
}

// The frame in which the control goes down: the trigger crosses its threshold, a button's bit comes on,
// the pad is pressed in that half, or the thumb comes to rest on the centre strip.
bool pressed(const Frame& f, BoundControl control) {
    const TrackedController& c = f.c;
    switch (control) {
    case BoundControl::trigger:
        return pressEdge(c, Control::trigger);
    case BoundControl::grip:
        return pressEdge(c, Control::grip);
    case BoundControl::menu:
        return pressEdge(c, Control::menu);
    case BoundControl::pad_left:
        return pressEdge(c, Control::touchpad) && touchpadIn(c, kTouchpadLeftHalf);
    case BoundControl::pad_right:
        return pressEdge(c, Control::touchpad) && touchpadIn(c, kTouchpadRightHalf);
    case BoundControl::pad_centre:
        return thumbOnStrip(c) && !f.state.thumb_on_strip;
    }
    return false;
}

// What each control has always done.
void standardAction(Frame& f, BoundControl control) {
    const RunnerSettings& settings = f.settings;
    switch (control) {
    case BoundControl::grip:
        if (pressed(f, control))
            click(f, MouseButton::middle, 1);
        break;
    case BoundControl::menu:
        if (pressed(f, control))
            toggleCursor(f);
        break;
    case BoundControl::pad_centre:
        scroll(f);
        break;
    case BoundControl::pad_left: // the primary half double-clicks
        if (pressed(f, control))
            click(f, MouseButton::left, settings.handedness == 1 ? 2 : 1);
        break;
    case BoundControl::pad_right:
        if (pressed(f, control))
            click(f, MouseButton::right, settings.handedness == 2 ? 2 : 1);
        break;
    case BoundControl::trigger:
        clickOrDrag(f);
        break;
    }
}

bool held(const Frame& f, BoundControl control) {
    const TrackedController& c = f.c;
    switch (control) {
    case BoundControl::trigger:
        return isHeld(c, Control::trigger);
    case BoundControl::grip:
        return isHeld(c, Control::grip);
    case BoundControl::menu:
        return isHeld(c, Control::menu);
    case BoundControl::pad_left:
        return f.state.pad_pressed_in[0];
    case BoundControl::pad_right:
        return f.state.pad_pressed_in[1];
    case BoundControl::pad_centre:
        return thumbOnStrip(c);
    }
    return false;
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
void hold(Frame& f, BoundControl control, const Binding& binding) {
    ButtonState& state = f.state;
    const auto i = static_cast<size_t>(control);
    const bool now = held(f, control);
    if (state.holding[i] && !now) {
        letGo(binding, state, f.io, i);
    } else if (!state.holding[i] && now && (state.seen_released[i] || pressed(f, control))) {
        pressDown(binding, f.io);
        state.holding[i] = true;
        pulse(f);
    }
    if (!now)
        state.seen_released[i] = true;
}

void act(Frame& f, BoundControl control) {
    const Binding& binding = bindingOf(f.settings, control);
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
        if (pressed(f, control))
            toggleCursor(f);
        break;
    case Action::double_click:
        if (pressed(f, control))
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

void handleButtons(const TrackedController& controller, const RunnerSettings& settings, ButtonState& state,
                   const PointerIo& io) {
    const TrackedController& c = controller;
    Frame f{c, settings, state, io};

    if (!isHeld(c, Control::touchpad))
        state.pad_pressed_in = {};
    else if (pressEdge(c, Control::touchpad))
        state.pad_pressed_in = {touchpadIn(c, kTouchpadLeftHalf), touchpadIn(c, kTouchpadRightHalf)};

    act(f, BoundControl::grip);
    act(f, BoundControl::menu);
    act(f, BoundControl::pad_centre);
    state.thumb_on_strip = thumbOnStrip(c);
    act(f, BoundControl::pad_left);
    act(f, BoundControl::pad_right);

    if (!state.trigger_seen_released) {
        state.trigger_seen_released = !isHeld(c, Control::trigger);
        state.seen_released[static_cast<size_t>(BoundControl::trigger)] = state.trigger_seen_released;
        return;
    }
    act(f, BoundControl::trigger);
}

void releaseBindings(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    for (size_t i = 0; i < kBoundControlCount; ++i) {
        if (state.holding[i])
            letGo(settings.bindings[i], state, io, i);
        state.seen_released[i] = false;
    }
    state.pad_pressed_in = {};
}

void releaseEverything(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    releaseBindings(settings, state, io);
    if (state.dragging)
        endDrag(settings, state, io);
}
