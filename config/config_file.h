// "default.config": the one file the configurator writes and the runner reads.
#pragma once

#include "geometry/geometry.h"

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

// One monitor as the configurator measured it: its desktop rectangle and its four screen corners in
// tracking space, in the order upper left, lower left, lower right, upper right.
struct CalibratedMonitor {
    MonitorInfo rect;
    std::array<Vec3, 4> corners;
};

// How the runner steadies the pointer when stabilization is on: the moving average of pixel positions,
// or the 1€ filter on the pointing direction.
enum class StabilizationFilter { average, one_euro };

// The runner's behaviour settings, read once at start-up and never changed afterwards.
struct RunnerSettings {
    int32_t dragging_threshold_ms = 0;
    int32_t handedness = 0;
    bool stabilization_enable = false;
    int32_t average_of_N_previous_positions = 0;
    float controller_angle_offset_x = 0.0f;
    float controller_angle_offset_y = 0.0f;
    // Optional keys that the configurator never writes; absent ones keep these values.
    StabilizationFilter stabilization_filter = StabilizationFilter::average;
    float min_cutoff_hz = 0.5f;        // the 1€ filter's cutoff while the pointer is still
    float beta = 2.5f;                 // Hz of cutoff added per degree per second of angular speed
    float derivative_cutoff_hz = 1.0f; // cutoff of the speed estimate
    float click_freeze_degrees = 0.0f; // 0: a trigger press does not hold the cursor
};

// One element of "display" as the runner reads it: corners v0 to v3 and the rectangle in single precision.
struct DisplayEntry {
    std::array<Vec3, 4> corners;
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

struct ConfigContents {
    std::vector<DisplayEntry> displays;
    RunnerSettings settings;
    // "displayhash" when it is present and a string; has_display_hash is false otherwise.
    std::string display_hash;
    bool has_display_hash = false;
    int32_t click_detection_threshold = 0;
};

inline constexpr const char* kConfigFileName = "default.config";

// The file's exact text, with "\n" line ends and no final line break.
std::string configText(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                       int handedness);

// Writes the file as a text stream (CR LF line ends on Windows) into a temporary file beside `path` and
// then replaces `path` with it in one step. Returns an empty string on success; otherwise a reason for
// the user, and `path` is left exactly as it was.
std::string writeConfigFile(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                            int handedness, const std::string& path = kConfigFileName);

// Reads the file as the runner does. Returns nothing when the file cannot be opened or read. A text that
// is not valid JSON prints "Error from reader: <JsonCpp's error list>" to standard error and raises
// Json::RuntimeError with that list; a value of the wrong type raises Json::LogicError, and so does a bad
// value of an optional key ("filter", the 1€ numbers, "click_freeze_degrees"), with a message naming it.
std::optional<ConfigContents> readConfigFile(const std::string& path = kConfigFileName);

// The same reading from a text in memory, without printing anything.
ConfigContents parseConfigText(const std::string& text);
