#include "desktop/desktop_layout.h"

#include "desktop/desktop.h"

#include <algorithm>
#include <utility>

std::string displayHash(int32_t virtual_width, int32_t virtual_height,
                        const std::vector<MonitorInfo>& monitors) {
    std::string hash = std::to_string(virtual_width) + std::to_string(virtual_height);
    for (const MonitorInfo& monitor : monitors) {
        hash += std::to_string(monitor.left);
        hash += std::to_string(monitor.right);
        hash += std::to_string(monitor.bottom);
        hash += std::to_string(monitor.top);
    }
    return hash;
}

DesktopLayout makeDesktopLayout(int32_t virtual_width, int32_t virtual_height,
                                std::vector<MonitorInfo> monitors) {
    DesktopLayout layout;
    layout.monitors = std::move(monitors);
    std::stable_sort(layout.monitors.begin(), layout.monitors.end(),
                     [](const MonitorInfo& a, const MonitorInfo& b) { return a.left < b.left; });
    layout.virtual_width = virtual_width;
    layout.virtual_height = virtual_height;
    layout.display_hash = displayHash(layout.virtual_width, layout.virtual_height, layout.monitors);
    return layout;
}

std::string refresh(DesktopLayout& layout) {
    platform::DesktopReport report = platform::enumerateMonitors();
    layout = makeDesktopLayout(report.virtual_width, report.virtual_height, std::move(report.monitors));
    return layout.display_hash;
}

std::optional<std::string> layoutChangeWarning(const std::string& file_hash, bool has_hash,
                                               const std::string& current_hash) {
    if (!has_hash || file_hash == current_hash)
        return std::nullopt;
    return std::string("\nWarning: the monitors have changed since they were calibrated. "
                       "Run wandsetup again to calibrate them.\n");
}
