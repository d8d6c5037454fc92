// A PointerIo that records every placement and input record and runs on a synthetic clock.
#pragma once

#include "pointer/pointer_io.h"

#include <cstdint>
#include <utility>
#include <vector>

struct RecordingIo {
    std::vector<std::pair<int32_t, int32_t>> placements;
    std::vector<platform::MouseInput> inputs;
    uint32_t now = 0;
    uint32_t sleeps = 0;         // wake-ups, of either kind of sleep
    uint32_t wakes_early_ms = 0; // how far before its deadline sleep_until returns (a signal, a coarse timer)

    PointerIo io() {
        PointerIo io;
        io.set_cursor_pos = [this](int32_t x, int32_t y) {
            placements.emplace_back(x, y);
            return true;
        };
        io.send_mouse_input = [this](const platform::MouseInput& input) { inputs.push_back(input); };
        io.tick_count = [this] { return now; };
        io.sleep_ms = [this](uint32_t ms) {
            ++sleeps;
            now += ms;
        };
        io.sleep_until = [this](uint32_t deadline) {
            if (static_cast<int32_t>(deadline - now) <= 0)
                return; // already due: no sleep, as on the platforms
            ++sleeps;
            now = deadline - wakes_early_ms;
        };
        return io;
    }
};

using Placements = std::vector<std::pair<int32_t, int32_t>>;
