#include "pointer/button_handling.h"

namespace {

using platform::MouseInput;

constexpr uint32_t kLeftClick = platform::kMouseLeftDown | platform::kMouseLeftUp;
constexpr uint32_t kRightClick = platform::kMouseRightDown | platform::kMouseRightUp;
constexpr uint32_t kMiddleClick = platform::kMouseMiddleDown | platform::kMouseMiddleUp;

void send(const PointerIo& io, uint32_t flags, int32_t mouse_data = 0) {
    io.send_mouse_input(MouseInput{flags, mouse_data});
}

// The flags of the trigger's button for the handedness (1 right-handed: left button; 2: right button);
// 0 for any other handedness, which sends nothing.
uint32_t primaryFlags(int32_t handedness, uint32_t right_handed, uint32_t left_handed) {
    if (handedness == 1)
        return right_handed;
    if (handedness == 2)
        return left_handed;
    return 0;
}

void sendPrimary(const PointerIo& io, const RunnerSettings& settings, uint32_t right_handed,
                 uint32_t left_handed) {
    const uint32_t flags = primaryFlags(settings.handedness, right_handed, left_handed);
    if (flags != 0)
        send(io, flags);
}

void endDrag(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    state.dragging = false;
    sendPrimary(io, settings, platform::kMouseLeftUp, platform::kMouseRightUp);
}

} // namespace

void handleButtons(const TrackedController& controller, const RunnerSettings& settings, ButtonState& state,
                   const PointerIo& io) {
    const TrackedController& c = controller;

    if (pressEdge(c, c.grip_button))
        send(io, kMiddleClick);

    if (pressEdge(c, c.menu_button)) {
        state.cursor_enabled = !state.cursor_enabled;
        platform::print("\nCursor %s", state.cursor_enabled ? "enabled" : "disabled");
    }

    if (!isHeld(c, c.touchpad_button) && touchpadIn(c, kTouchpadCentreStrip)) {
        const float amount = c.state.rAxis[0].y * 30.0f;
        send(io, platform::kMouseWheel, static_cast<int32_t>(amount));
    }

    if (pressEdge(c, c.touchpad_button) && touchpadIn(c, kTouchpadLeftHalf)) {
        send(io, kLeftClick);
        if (settings.handedness == 1)
            send(io, kLeftClick);
    }
    if (pressEdge(c, c.touchpad_button) && touchpadIn(c, kTouchpadRightHalf)) {
        send(io, kRightClick);
        if (settings.handedness == 2)
            send(io, kRightClick);
    }

    if (!state.trigger_seen_released) {
        state.trigger_seen_released = !isHeld(c, c.trigger_button);
        return;
    }

    const auto threshold = static_cast<uint32_t>(settings.dragging_threshold_ms);
    if (pressEdge(c, c.trigger_button))
        state.trigger_press_tick = io.tick_count();

    if (isHeld(c, c.trigger_button) && io.tick_count() - state.trigger_press_tick > threshold &&
        !state.dragging) {
        state.dragging = true;
        sendPrimary(io, settings, platform::kMouseLeftDown, platform::kMouseRightDown);
    }

    if (releaseEdge(c)) {
        const uint32_t elapsed = io.tick_count() - state.trigger_press_tick;
        if (elapsed < threshold)
            sendPrimary(io, settings, kLeftClick, kRightClick);
        else
            endDrag(settings, state, io);
    }

    // The release may have happened while the controller was not tracked, and its edge is then lost:
    // a drag must not outlive the trigger being let go.
    if (state.dragging && !isHeld(c, c.trigger_button))
        endDrag(settings, state, io);
}

void releaseHeldButton(const RunnerSettings& settings, ButtonState& state, const PointerIo& io) {
    if (state.dragging)
        endDrag(settings, state, io);
}
