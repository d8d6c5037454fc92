// The runner's only ways of acting on the desktop and the controller, of saying something on the console,
// of asking where the pointer is and of reading the clock. The core takes them as a record so that the frame
// logic can be driven with a synthetic clock and observed exactly.
#pragma once

#include "desktop/desktop.h"
#include "os/os.h"
#include "vr/controller_frame.h"

#include <cstdint>
#include <functional>
#include <optional>

struct PointerIo {
    std::function<bool(int32_t, int32_t)> set_cursor_pos = platform::setCursorPos;
    std::function<void(platform::MouseButton, platform::ButtonAction)> mouse_button =
        platform::sendMouseButton;
    std::function<void(int32_t)> mouse_wheel = platform::sendMouseWheel; // 120 a notch, + away from the user
    std::function<void(platform::Key, bool)> key = platform::sendKey;    // pressed (true) or released
    std::function<uint32_t()> tick_count = platform::tickCount;
    std::function<void(uint32_t)> sleep_ms = platform::sleepMs;
    std::function<void(uint32_t)> sleep_until = platform::sleepUntil; // until the tick reaches the value
    std::function<void()> ask_cursor_pos = platform::askCursorPos;    // cursor_pos gives the answer
    std::function<void(const TrackedController&, uint16_t)> haptic_pulse = triggerHapticPulse; // microseconds
    std::function<std::optional<platform::CursorPosition>()> cursor_pos = platform::cursorPos;
    std::function<void(const char*)> print = [](const char* text) { platform::print("%s", text); };
};
