// Cursor placement, directly or at the mean of the newest position and the N raw positions before it.
#pragma once

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

// A history of N zero entries (none when N is not positive). Averaging needs at least one entry, so a
// stabilizer asked to average over fewer places the cursor directly; `stabilizerLengthUsable` tells the
// caller beforehand so that it can warn.
CursorStabilizer makeCursorStabilizer(int32_t n, bool enabled);
bool stabilizerLengthUsable(int32_t n, bool enabled);

void placeCursor(CursorStabilizer& stabilizer, int32_t x, int32_t y, const PointerIo& io);
