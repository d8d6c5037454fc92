// The runner's only ways of acting on the desktop and of reading the clock. The core takes them as a
// record so that the frame logic can be driven with a synthetic clock and observed exactly.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <functional>

struct PointerIo {
    std::function<bool(int32_t, int32_t)> set_cursor_pos = platform::setCursorPos;
    std::function<void(const platform::MouseInput&)> send_mouse_input = platform::sendMouseInput;
    std::function<uint32_t()> tick_count = platform::tickCount;
    std::function<void(uint32_t)> sleep_ms = platform::sleepMs;
    std::function<void(uint32_t)> sleep_until = platform::sleepUntil; // until the tick reaches the value
};
