// "default.config": the one file the configurator writes and the runner reads.
#pragma once

#include "desktop/desktop.h"
#include "geometry/geometry.h"
#include "vr/controls.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

// One monitor as the configurator measured it: its desktop rectangle and its four screen corners in
// tracking space, in the order upper left, lower left, lower right, upper right.
struct CalibratedMonitor {
    MonitorInfo rect;
    std::array<Vec3, 4> corners;
};

// The controller a calibration was made with, as the runtime names it (its type and render model). Both
// empty: the reference controller, which the file does not name.
struct CalibratedController {
    std::string type;
    std::string render_model;
};

// How the runner steadies the pointer when stabilization is on: the moving average of pixel positions,
// or the 1€ filter on the pointing direction.
enum class StabilizationFilter { average, one_euro };

// What a control does. `standard` is "default": what the control has always done (the trigger clicks and
// drags with the handedness's button, the grip middle-clicks, the menu button switches the cursor, the
// halves click and the primary half double-clicks, the strip scrolls). A mouse button and keys are held
// down while the control is; `double_click` is a left double click, `toggle` the cursor switch, `wheel`
// (the strip only) scrolling.
enum class Action { standard, left, right, middle, double_click, toggle, none, wheel, keys };

inline constexpr size_t kMaxBoundKeys = 5; // the four modifiers and one key

struct Binding {
    Action action = Action::standard;
    // For `keys`: the modifiers in the order they go down, then the key; they come up in reverse order.
    std::array<platform::Key, kMaxBoundKeys> keys{};
    size_t key_count = 0;
};

// Haptic pulses: at most one per this many milliseconds per controller, as the runtime takes them.
inline constexpr uint32_t kHapticGapMs = 5;
// The longest pulse, in microseconds, that the runtime does not cut short.
inline constexpr int32_t kMaxHapticClickUs = 3999;

// The runner's behaviour settings, read once at start-up and never changed afterwards. settingsTable() says
// where each comes from in the file; an optional one the file lacks keeps its value here.
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
    std::array<Binding, kControlCount> bindings{}; // by Control
    uint16_t haptic_click_us = 0;                  // a pulse this long for every click or key press; 0: none
    // Sharing the desk ("handover"): off unless the file has the object; its missing members take these.
    bool handover_enable = false;
    float rest_seconds = 2.0f;   // still this long, the controller is at rest and lets go of the cursor
    float rest_degrees = 0.1f;   // still: the pointing direction within this angle of one direction
    float resume_degrees = 1.0f; // a turn further than this from where a pause began takes the cursor back
    int32_t click_detection_threshold = 0; // read, and used for nothing
};

// The longest "rest_seconds": a day, far inside the millisecond tick's range.
inline constexpr float kMaxRestSeconds = 86400.0f;

inline const Binding& bindingOf(const RunnerSettings& settings, Control control) {
    return settings.bindings[static_cast<size_t>(control)];
}

// Stabilization on with the filter "average": the moving average of pixel positions.
bool averagesPositions(const RunnerSettings& settings);

// The most previous positions the moving average takes. At 200 frames a second this is five seconds of
// positions. A longer history is of no use, and the length comes from a hand-editable file: two billion
// would take 16 GB and a whole second per frame.
inline constexpr int32_t kMaxStabilizerLength = 1000;

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
    // "controller": the model the calibration was made with; a file without it was made with the
    // reference controller.
    CalibratedController controller;
    // Settings the runner can use only in part, each a message to print as it stands: an averaging length
    // below 1 (the cursor is placed directly) or above kMaxStabilizerLength (the last ones are averaged).
    std::vector<std::string> warnings;
};

// How a setting's value is read and checked.
enum class SettingType {
    // Read as JsonCpp converts: a missing or null member is 0 (false), a value of another type is refused
    // with JsonCpp's own message.
    whole, // asInt
    flag,  // asBool: any number but 0, or true, is on
    angle, // asFloat, and refused beyond a float's range (the ray would meet no monitor)
    // Optional: a missing member keeps its field's value in RunnerSettings; a bad one is refused with a
    // message that names the key and the file.
    number,   // a finite number of 0 or more (above 0 where `above_zero`) up to `most`
    on_off,   // 1 (on) or 0 (off), true or false; on when its group is there without it
    filter,   // "one_euro" or "average"
    pulse,    // a whole number from 0 to `most`
    bindings, // an object with an action for each control it names (`key` is empty)
};

using SettingField = std::variant<int32_t RunnerSettings::*, bool RunnerSettings::*, float RunnerSettings::*,
                                  StabilizationFilter RunnerSettings::*, uint16_t RunnerSettings::*,
                                  std::array<Binding, kControlCount> RunnerSettings::*>;

// One setting of the file: where it is ("group" / "key"; no group for a member of the root), how it is
// read and checked, the field it sets, what plain wandsetup writes, what --recommended gives, and what it
// is for. Adding a setting is a row in kSettings and its use.
struct Setting {
    const char* group;
    const char* key;
    SettingType type;
    SettingField field;
    bool above_zero = false;
    double most = std::numeric_limits<double>::infinity();
    std::optional<double> written = std::nullopt; // written by wandsetup, always
    std::optional<double> recommended =
        std::nullopt; // written by wandsetup --recommended; wandpointer's for a missing one
    const char* help = "";
};

// Every setting, in the order the reader takes them, which decides the message when several are bad.
std::span<const Setting> settingsTable();

// The optional groups: absent (or null) they leave their settings as they are; present, they must be
// objects, and a member they do not know is refused.
struct SettingGroup {
    const char* name;
    const char* expected; // what the refusal of a group that is not an object says is expected
};
std::span<const SettingGroup> optionalGroups();

// The names "filter" takes, in the order its refusal lists them.
inline constexpr std::array<std::pair<const char*, StabilizationFilter>, 2> kFilterNames = {
    {{"one_euro", StabilizationFilter::one_euro}, {"average", StabilizationFilter::average}}};

// Why a file gives no contents: it could not be opened or read at all, or the reader refused its text.
enum class ConfigFailure { cannot_open, refused };

// What reading the file gave: its contents, or why there are none with the message for the user (ending
// in its line breaks), which the runner prints as it stands: to standard output when the file could not
// be opened, to standard error when it was refused.
struct ConfigRead {
    std::optional<ConfigContents> contents;
    ConfigFailure failure = ConfigFailure::refused;
    std::string message;
    std::string text; // the file's text, whenever it could be read (withCorners rewrites it)
};

inline constexpr const char* kConfigFileName = "default.config";

// The file's exact text, with "\n" line ends and no final line break. With `recommended`, it also holds
// the recommended steadier pointing (the 1€ filter, the click freeze) and the handover; "controller" only
// when `controller` names one.
std::string configText(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                       int handedness, bool recommended = false, const CalibratedController& controller = {});

// `text`, a config file that parseConfigText accepts, with the corners of display entry i replaced by
// corners[i]: their twelve numbers, and nothing else. Every other member keeps its value, the ones the
// programs do not know included; the text is laid out as configText lays it out, with the comment on "y".
// Other comments are dropped.
std::string withCorners(const std::string& text, const std::vector<std::array<Vec3, 4>>& corners);

// Why withCorners could not keep every value of `text` that it does not move, or an empty string: a
// string or member name that is not UTF-8 (JsonCpp's writer would turn it into other characters), or a
// corner coordinate that is not a finite number within a float's range (no motion carries it, and its
// other coordinates would come out null). `text` is one that parseConfigText accepts.
std::string rewriteProblem(const std::string& text);

// Writes configText's text into `path` in one step (platform::writeFileAtomically, which
// platform::checkFileWritable tries out before the runtime starts).
std::string writeConfigFile(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                            int handedness, const std::string& path = kConfigFileName,
                            bool recommended = false);

// The largest file the reader takes.
inline constexpr uintmax_t kMaxConfigBytes = 16 * 1024 * 1024;

// Reads the file as the runner does, printing nothing. A file that cannot be opened or read gives
// "Could not open FILE, run config first!"; one that is not a regular file or is larger than
// kMaxConfigBytes is refused before it is read. A text that is not valid JSON is refused with "Error from
// reader: " and JsonCpp's error list; a value of the wrong type with JsonCpp's message ("Value is not
// convertible to Int."); a root that is not an object, a "display" that is not an array, an angle offset
// beyond a float's range and a bad value of an optional key ("filter", the 1€ numbers,
// "click_freeze_degrees", "bindings", "haptics", "handover" and its members) with a message naming the key
// and the file. With `recommended`, the recommended values stand in for the members of those that the
// file lacks.
ConfigRead readConfigFile(const std::string& path = kConfigFileName, bool recommended = false);

// The same reading from a text in memory, as if it came from "default.config".
ConfigRead parseConfigText(const std::string& text, bool recommended = false);
