#include "pointer/cursor_stabilizer.h"

#include "pointer/display_plane.h"

#include <algorithm>
#include <cstddef>

CursorStabilizer makeCursorStabilizer(int32_t n, bool enabled) {
    CursorStabilizer stabilizer;
    stabilizer.enabled = enabled && n >= 1;
    if (stabilizer.enabled)
        stabilizer.history.assign(static_cast<size_t>(std::min(n, kMaxStabilizerLength)), HistoryEntry{});
    return stabilizer;
}

namespace {

// Sums of whole pixel values stay far inside the 32-bit range on any real desktop; beyond it the sum
// saturates instead of overflowing.
int32_t truncateSum(float value) {
    if (const auto pixel = truncateToPixel(value))
        return *pixel;
    return value < 0.0f ? INT32_MIN : INT32_MAX;
}

} // namespace

platform::CursorPosition stabilizedPosition(CursorStabilizer& stabilizer, int32_t x, int32_t y) {
    if (!stabilizer.enabled)
        return {x, y};
    std::vector<HistoryEntry>& history = stabilizer.history;
    const int64_t count = static_cast<int64_t>(history.size()) + 1;
    int32_t sx = x;
    for (const HistoryEntry& entry : history)
        sx = truncateSum(static_cast<float>(sx) + entry.x);
    int32_t sy = y;
    for (const HistoryEntry& entry : history)
        sy = truncateSum(static_cast<float>(sy) + entry.y);
    const auto ax = static_cast<int32_t>(sx / count);
    const auto ay = static_cast<int32_t>(sy / count);
    for (size_t i = history.size() - 1; i >= 1; --i)
        history[i] = history[i - 1];
    history[0] = {static_cast<float>(x), static_cast<float>(y)};
    return {ax, ay};
}
