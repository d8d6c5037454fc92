// Cursor placement, directly or at the mean of the newest position and the N raw positions before it.
#pragma once

#include "config/config_file.h"
#include "pointer/pointer_io.h"

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

void placeCursor(CursorStabilizer& stabilizer, int32_t x, int32_t y, const PointerIo& io);
