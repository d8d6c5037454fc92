// Cursor placement, directly or at the mean of the newest position and the N raw positions before it.
#pragma once

#include "config/config_file.h"
#include "desktop/desktop.h"

#include <cstdint>
#include <vector>

struct HistoryEntry {
    float x = 0.0f;
    float y = 0.0f;
};

struct CursorStabilizer {
    std::vector<HistoryEntry> history; // newest first; sized once
    bool enabled = false;
};

// A history of N zero entries when stabilization is on (none when it is off or N is not positive; at most
// kMaxStabilizerLength). Averaging needs at least one entry, so a stabilizer asked to average over fewer
// places the cursor directly; the config reader warns about both beforehand.
CursorStabilizer makeCursorStabilizer(int32_t n, bool enabled);

// The position for the cursor, x and y themselves or their mean with the history, which then takes them in.
platform::CursorPosition stabilizedPosition(CursorStabilizer& stabilizer, int32_t x, int32_t y);
