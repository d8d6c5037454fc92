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

// At 200 frames a second this is five seconds of positions. A longer history is of no use, and the
// length comes from a hand-editable file: two billion would take 16 GB and a whole second per frame.
inline constexpr int32_t kMaxStabilizerLength = 1000;

// A history of N zero entries when stabilization is on (none when it is off or N is not positive; at most
// kMaxStabilizerLength). Averaging needs at least one entry, so a stabilizer asked to average over fewer
// places the cursor directly; `stabilizerLengthUsable` tells the caller beforehand so that it can warn.
CursorStabilizer makeCursorStabilizer(int32_t n, bool enabled);
bool stabilizerLengthUsable(int32_t n, bool enabled);
// N is more than the history ever holds (only matters when stabilization is on).
bool stabilizerLengthTooLong(int32_t n, bool enabled);

void placeCursor(CursorStabilizer& stabilizer, int32_t x, int32_t y, const PointerIo& io);
