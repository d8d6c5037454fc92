#include "config/config_file.h"

#include "desktop/desktop.h"
#include "os/os.h"

#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string_view>

namespace {

const char* const kCornerKeys[4] = {"v0", "v1", "v2", "v3"};

const char* const kAngleOffsetComment =
    "// Used to change the pointing angle of the controller. For a typical gungrip hold try values between "
    "-1.3 and -5 for 'y' first. The config program ignores this value.";

// Reals are written as %.17g of the value (a single-precision one widened to double). JsonCpp 1.9.5 does
// that too, but appends ".0" to a text with neither a point nor an exponent ("0.0", "-2.0"). For an
// integral value below 1e17, %.17g gives exactly its decimal digits, so such a value goes into the
// document as an integer and comes out as "0" or "-2". Negative zero stays a real and is written "-0.0":
// "-0" would be read back as the integer 0 and lose its sign.
Json::Value realValue(double d) {
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e17 && !(d == 0.0 && std::signbit(d))) {
        return Json::Value(static_cast<Json::Int64>(d));
    }
    return Json::Value(d);
}

void setCorner(Json::Value& corner, const Vec3& v) {
    corner["x"] = realValue(v.x);
    corner["y"] = realValue(v.y);
    corner["z"] = realValue(v.z);
}

// The writer spells infinite reals 1e+9999 and -1e+9999. JsonCpp 1.9.5 rejects a number that overflows a
// double ("'1e+9999' is not a number."), where older versions read it as an infinity. Before parsing,
// every such number outside strings and comments becomes 1e308 or -1e308, padded with blanks so that the
// positions in error messages stay right; afterwards those values become infinities again.
const double kInfinityMark = 1e308;

bool overflowsDouble(const std::string& token, bool& negative) {
    std::istringstream in(token);
    double value = 0.0;
    if (in >> value) {
        return false;
    }
    negative = value == std::numeric_limits<double>::lowest();
    return negative || value == std::numeric_limits<double>::max();
}

std::string markOverflowingNumbers(std::string text) {
    const size_t n = text.size();
    size_t i = 0;
    auto isDigit = [&](size_t at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
    while (i < n) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < n && text[i] != '"'; ++i) {
                if (text[i] == '\\') {
                    ++i;
                }
            }
            ++i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n' && text[i] != '\r') {
                ++i;
            }
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '-' || isDigit(i)) {
            const size_t start = i;
            if (c == '-') {
                ++i;
            }
            while (isDigit(i)) {
                ++i;
            }
            if (i < n && text[i] == '.') {
                for (++i; isDigit(i); ++i) {
                }
            }
            if (i < n && (text[i] == 'e' || text[i] == 'E')) {
                ++i;
                if (i < n && (text[i] == '+' || text[i] == '-')) {
                    ++i;
                }
                while (isDigit(i)) {
                    ++i;
                }
            }
            bool negative = false;
            if (overflowsDouble(text.substr(start, i - start), negative)) {
                std::string mark = negative ? "-1e308" : "1e308";
                if (mark.size() <= i - start) {
                    mark.resize(i - start, ' ');
                    text.replace(start, i - start, mark);
                } else {
                    text.replace(start, i - start, mark);
                    i = start + mark.size();
                }
            }
        } else {
            ++i;
        }
    }
    return text;
}

void restoreInfinities(Json::Value& value) {
    if (value.isArray() || value.isObject()) {
        for (Json::Value& element : value) {
            restoreInfinities(element);
        }
    } else if (value.type() == Json::realValue) {
        const double d = value.asDouble();
        if (d == kInfinityMark) {
            value = std::numeric_limits<double>::infinity();
        } else if (d == -kInfinityMark) {
            value = -std::numeric_limits<double>::infinity();
        }
    }
}

// JsonCpp's default CharReaderBuilder, as stream extraction uses it, except that comments are dropped: a
// comment that ends an object, as the one on "y" does, is read as standing before the next value and
// would be written back there. A parse error raises Json::RuntimeError.
Json::Value parseDocument(const std::string& text) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::istringstream in(markOverflowingNumbers(text));
    Json::Value root;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &root, &errors)) {
        throw Json::RuntimeError(errors);
    }
    restoreInfinities(root);
    return root;
}

[[noreturn]] void refuse(const std::string& what, const std::string& expected) {
    throw Json::LogicError("Bad " + what + ": expected " + expected + ".");
}

[[noreturn]] void refuseSetting(const std::string& file, const char* group, const char* key,
                                const char* expected) {
    refuse(std::string("\"") + group + "\" / \"" + key + "\" in " + file, expected);
}

std::string typeName(const Json::Value& value) {
    switch (value.type()) {
    case Json::nullValue:
        return "null";
    case Json::stringValue:
        return "a string";
    case Json::booleanValue:
        return value.asBool() ? "true" : "false";
    case Json::arrayValue:
        return "an array";
    case Json::objectValue:
        return "an object";
    default:
        return "a number";
    }
}

// The member `key` of `object`, or null when the object has none.
const Json::Value* optionalMember(const Json::Value& object, const char* key) {
    return object.find(key, key + std::strlen(key));
}

// An optional tuning number: anything but a finite number of 0 or more (above 0 where `above_zero`) stops
// the start-up with a message that names the key.
float readTuningNumber(const std::string& file, const Json::Value& member, const char* group, const char* key,
                       bool above_zero) {
    const double number = member.isNumeric() ? member.asDouble() : -1.0;
    if (!std::isfinite(number) || number < 0.0 || (above_zero && number == 0.0) ||
        number > std::numeric_limits<float>::max()) {
        refuseSetting(file, group, key,
                      above_zero ? "a finite number above 0" : "a finite number of 0 or more");
    }
    // The setting is a float: a number below its range would be 0 (a cutoff of 1e-300 Hz freezes the cursor).
    if (number > 0.0 && number < std::numeric_limits<float>::min()) {
        refuseSetting(file, group, key,
                      above_zero ? "a number of at least 1.17549435e-38"
                                 : "0 or a number of at least 1.17549435e-38");
    }
    return static_cast<float>(number);
}

// The settings, in the order the reader takes them. Plain wandsetup writes `written`, and with
// --recommended also `recommended`, which wandpointer --recommended takes for each member a file lacks.
const Setting kSettings[] = {
    {.group = "trigger",
     .key = "dragging_threshold_ms",
     .type = SettingType::whole,
     .field = &RunnerSettings::dragging_threshold_ms,
     .written = 200,
     .help = "milliseconds the trigger is held before a pull is a drag rather than a click"},
    {.group = "",
     .key = "handedness",
     .type = SettingType::whole,
     .field = &RunnerSettings::handedness,
     .help = "1 right-handed, 2 left-handed: the trigger's button; written from the user's answer"},
    {.group = "trigger",
     .key = "click_detection_threshold",
     .type = SettingType::whole,
     .field = &RunnerSettings::click_detection_threshold,
     .written = 10,
     .help = "read, and changes nothing"},
    {.group = "stabilization",
     .key = "enable",
     .type = SettingType::flag,
     .field = &RunnerSettings::stabilization_enable,
     .written = 0,
     .recommended = 1,
     .help = "1 steadies the cursor with the filter, 0 places it where the ray lands"},
    {.group = "stabilization",
     .key = "average_of_N_previous_positions",
     .type = SettingType::whole,
     .field = &RunnerSettings::average_of_N_previous_positions,
     .written = 5,
     .help = "positions the average takes besides the newest, 1 to 1000 (warned outside)"},
    {.group = "controller_angle_offset",
     .key = "x",
     .type = SettingType::angle,
     .field = &RunnerSettings::controller_angle_offset_x,
     .written = 0,
     .help = "tilts the pointing ray about the controller's x axis"},
    {.group = "controller_angle_offset",
     .key = "y",
     .type = SettingType::angle,
     .field = &RunnerSettings::controller_angle_offset_y,
     .written = 0,
     .help = "tilts the pointing ray about the controller's y axis (-1.3 to -5 for a pistol grip)"},
    {.group = "stabilization",
     .key = "filter",
     .type = SettingType::filter,
     .field = &RunnerSettings::stabilization_filter,
     .recommended = static_cast<double>(StabilizationFilter::one_euro),
     .help = "\"one_euro\" filters the pointing direction, \"average\" averages pixel positions"},
    // A cutoff of 0 Hz at rest would leave the cursor short of where the controller points, for good.
    {.group = "stabilization",
     .key = "min_cutoff_hz",
     .type = SettingType::number,
     .field = &RunnerSettings::min_cutoff_hz,
     .above_zero = true,
     .recommended = 0.5,
     .help = "the 1-euro filter's cutoff while the direction is still; lower is steadier"},
    {.group = "stabilization",
     .key = "beta",
     .type = SettingType::number,
     .field = &RunnerSettings::beta,
     .recommended = 2.5,
     .help = "Hz of cutoff added per degree per second; higher lags less"},
    {.group = "stabilization",
     .key = "derivative_cutoff_hz",
     .type = SettingType::number,
     .field = &RunnerSettings::derivative_cutoff_hz,
     .recommended = 1.0,
     .help = "the cutoff at which the angular speed is smoothed"},
    {.group = "trigger",
     .key = "click_freeze_degrees",
     .type = SettingType::number,
     .field = &RunnerSettings::click_freeze_degrees,
     .recommended = 0.6,
     .help = "the cursor stays put at a pull while the direction stays within this angle; 0 off"},
    {.group = "bindings",
     .key = "",
     .type = SettingType::bindings,
     .field = &RunnerSettings::bindings,
     .help = "another action for a control: a mouse button, keys, the wheel, the cursor switch or none"},
    {.group = "haptics",
     .key = "click_us",
     .type = SettingType::pulse,
     .field = &RunnerSettings::haptic_click_us,
     .most = kMaxHapticClickUs,
     .help = "microseconds of a tick at every click and key press; 0 none"},
    {.group = "handover",
     .key = "enable",
     .type = SettingType::on_off,
     .field = &RunnerSettings::handover_enable,
     .recommended = 1,
     .help = "shares the pointer with the mouse and lets go of it at rest; 0 off"},
    {.group = "handover",
     .key = "rest_seconds",
     .type = SettingType::number,
     .field = &RunnerSettings::rest_seconds,
     .above_zero = true,
     .most = kMaxRestSeconds,
     .recommended = 2.0,
     .help = "seconds the controller lies still before it lets go of the cursor"},
    {.group = "handover",
     .key = "rest_degrees",
     .type = SettingType::number,
     .field = &RunnerSettings::rest_degrees,
     .recommended = 0.1,
     .help = "still: the direction within this angle of one direction"},
    {.group = "handover",
     .key = "resume_degrees",
     .type = SettingType::number,
     .field = &RunnerSettings::resume_degrees,
     .recommended = 1.0,
     .help = "a turn further than this from where a pause began takes the cursor back"},
};

const SettingGroup kOptionalGroups[] = {
    {"bindings", "expected an object with a member for each control to bind"},
    {"haptics", "expected an object such as { \"click_us\" : 1500 }"},
    {"handover", "expected an object"},
};

// A setting's value as the file spells it.
Json::Value jsonValue(const Setting& setting, double value) {
    switch (setting.type) {
    case SettingType::angle:
    case SettingType::number:
        return realValue(value);
    case SettingType::filter:
        for (const auto& [name, filter] : kFilterNames) {
            if (static_cast<double>(filter) == value)
                return name;
        }
        return Json::Value();
    default:
        return static_cast<int>(value);
    }
}

// The members of `group` (the root for none), made an object by the modifying access.
Json::Value& groupOf(Json::Value& root, const Setting& setting) {
    return *setting.group ? root[setting.group] : root;
}

// The recommended settings (README, "Steadier pointing" and "Sharing the desk"). `wandsetup --recommended`
// writes them all; `wandpointer --recommended` takes them for the members a file lacks. A group that is
// there but not an object is left for the reader to refuse as it stands.
void addRecommended(Json::Value& root, bool replace) {
    if (!root.isObject() && !root.isNull()) {
        return;
    }
    for (const Setting& setting : kSettings) {
        if (!setting.recommended)
            continue;
        Json::Value& group = groupOf(root, setting);
        if ((group.isObject() || group.isNull()) && (replace || !group.isMember(setting.key))) {
            group[setting.key] = jsonValue(setting, *setting.recommended);
        }
    }
}

// A text from the file in double quotes for a message, its control characters written as JSON writes them
// ("\u001b"), so that an escape sequence in a hand-edited name cannot act on the terminal.
std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

[[noreturn]] void refuseMember(const std::string& file, const char* group, const std::string& key,
                               const std::string& problem) {
    throw Json::LogicError("Bad " + quoted(group) + (key.empty() ? "" : " / " + quoted(key)) + " in " + file +
                           ": " + problem + ".");
}

// A value as the file has it, for a message.
std::string jsonText(const Json::Value& value) {
    std::string text = value.toStyledString();
    text.erase(text.find_last_not_of('\n') + 1);
    return text;
}

// "key:NAME+NAME...": modifiers, each once, then one key (which may itself be a modifier).
Binding readKeys(const std::string& file, const std::string& control, const std::string& value) {
    Binding binding;
    binding.action = Action::keys;
    size_t start = 4; // after "key:"
    while (true) {
        const size_t plus = value.find('+', start);
        const std::string name =
            value.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        const auto* found = std::find(platform::kKeyNames.begin(), platform::kKeyNames.end(), name);
        if (name.empty() || found == platform::kKeyNames.end())
            refuseMember(file, "bindings", control,
                         quoted(value) + " names no key " + quoted(name) +
                             " (the README lists the key names)");
        const auto key = static_cast<platform::Key>(found - platform::kKeyNames.begin());
        const auto end = binding.keys.begin() + static_cast<std::ptrdiff_t>(binding.key_count);
        if (std::find(binding.keys.begin(), end, key) != end)
            refuseMember(file, "bindings", control, quoted(value) + " names " + quoted(name) + " twice");
        if (binding.key_count > 0 && !platform::isModifier(binding.keys[binding.key_count - 1]))
            refuseMember(file, "bindings", control,
                         quoted(value) + " has a key after " +
                             quoted(std::string(platform::keyName(binding.keys[binding.key_count - 1]))) +
                             "; only the modifiers ctrl, alt, shift and super may come before the last key");
        binding.keys[binding.key_count++] = key;
        if (plus == std::string::npos)
            return binding;
        start = plus + 1;
    }
}

Binding readBinding(const std::string& file, const std::string& control, const Json::Value& value) {
    static const std::pair<const char*, Action> kActions[] = {
        {"default", Action::standard}, {"left", Action::left},           {"right", Action::right},
        {"middle", Action::middle},    {"double", Action::double_click}, {"toggle", Action::toggle},
        {"none", Action::none},        {"wheel", Action::wheel}};
    if (!value.isString())
        refuseMember(file, "bindings", control,
                     jsonText(value) +
                         " is no action; expected a string such as \"default\" or \"key:page_down\"");
    const std::string text = value.asString();
    if (text.starts_with("key:"))
        return readKeys(file, control, text);
    for (const auto& [name, action] : kActions) {
        if (text != name)
            continue;
        if (action == Action::wheel && control != "pad_centre")
            refuseMember(file, "bindings", control, "\"wheel\" is only for \"pad_centre\"");
        Binding binding;
        binding.action = action;
        return binding;
    }
    refuseMember(file, "bindings", control,
                 quoted(text) +
                     " is no action; expected \"default\", \"left\", \"right\", \"middle\", \"double\", "
                     "\"toggle\", \"none\", \"wheel\" (\"pad_centre\" only) or \"key:\" and key names joined "
                     "by \"+\"");
}

// "a", "b" and "c".
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 < names.size() ? ", " : " and ") + quoted(names[i]);
    return text;
}

// The group of an optional setting: nullptr when it is absent or null; anything but an object stops the
// start-up, and so does a member that no setting names where the group refuses those.
const Json::Value* optionalGroup(const std::string& file, const Json::Value& root, const char* name) {
    const Json::Value* value = optionalMember(root, name);
    if (value == nullptr || value->isNull())
        return nullptr;
    const auto* group = std::find_if(std::begin(kOptionalGroups), std::end(kOptionalGroups),
                                     [&](const SettingGroup& g) { return std::strcmp(g.name, name) == 0; });
    if (!value->isObject())
        refuseMember(file, name, "", group->expected);
    // The bindings' members are controls, which readBindings checks.
    std::vector<std::string> keys;
    for (const Setting& setting : kSettings) {
        if (std::strcmp(setting.group, name) == 0 && *setting.key)
            keys.push_back(setting.key);
    }
    for (const std::string& key : value->getMemberNames()) {
        if (!keys.empty() && std::find(keys.begin(), keys.end(), key) == keys.end())
            refuseMember(file, name, key,
                         (keys.size() == 1 ? "no such setting; the one setting is "
                                           : "no such setting; the settings are ") +
                             listed(keys));
    }
    return value;
}

// "bindings": a member per control, each optional; a control it does not name keeps "default".
void readBindings(const std::string& file, const Json::Value& bindings, RunnerSettings& settings) {
    for (const std::string& control : bindings.getMemberNames()) {
        const auto* found = std::find(kControlNames.begin(), kControlNames.end(), control);
        if (found == kControlNames.end())
            refuseMember(file, "bindings", control,
                         "no such control; the controls are " +
                             listed(std::vector<std::string>(kControlNames.begin(), kControlNames.end())));
        settings.bindings[static_cast<size_t>(found - kControlNames.begin())] =
            readBinding(file, control, bindings[control]);
    }
}

// One optional setting from its group's `member`.
void readOptional(const std::string& file, const Setting& setting, const Json::Value& member,
                  RunnerSettings& settings) {
    switch (setting.type) {
    case SettingType::number: {
        float& value = settings.*std::get<float RunnerSettings::*>(setting.field);
        value = readTuningNumber(file, member, setting.group, setting.key, setting.above_zero);
        if (value > setting.most) {
            char most[32];
            std::snprintf(most, sizeof most, "%g", setting.most);
            refuseSetting(file, setting.group, setting.key,
                          (std::string(setting.above_zero ? "a finite number above 0"
                                                          : "a finite number of 0 or more") +
                           " and at most " + most)
                              .c_str());
        }
        return;
    }
    case SettingType::on_off:
        if (!member.isBool() && !member.isNumeric())
            refuseSetting(file, setting.group, setting.key, "1 (on) or 0 (off)");
        settings.*std::get<bool RunnerSettings::*>(setting.field) = member.asBool();
        return;
    case SettingType::filter: {
        const std::string name = member.isString() ? member.asString() : "";
        std::string expected;
        for (const auto& [known, filter] : kFilterNames) {
            if (name == known) {
                settings.*std::get<StabilizationFilter RunnerSettings::*>(setting.field) = filter;
                return;
            }
            expected += (expected.empty() ? "" : " or ") + quoted(known);
        }
        refuseSetting(file, setting.group, setting.key, expected.c_str());
    }
    case SettingType::pulse: {
        const double us = member.isNumeric() ? member.asDouble() : -1.0;
        if (!(us >= 0.0 && us <= setting.most && us == std::floor(us))) {
            char most[32];
            std::snprintf(most, sizeof most, "%g", setting.most);
            refuseMember(file, setting.group, setting.key,
                         jsonText(member) +
                             " is no pulse; expected a whole number of microseconds from 1 to " + most +
                             ", or 0 for none");
        }
        settings.*std::get<uint16_t RunnerSettings::*>(setting.field) = static_cast<uint16_t>(us);
        return;
    }
    default:
        return;
    }
}

// One setting into its field. Every lookup of a setting the configurator always writes uses the modifying
// member access: a missing member is null and converts to 0, 0.0 or false, and a value of the wrong type
// raises Json::LogicError from JsonCpp itself.
void readSetting(const std::string& file, const Setting& setting, Json::Value& root,
                 RunnerSettings& settings) {
    const bool optional_group =
        std::any_of(std::begin(kOptionalGroups), std::end(kOptionalGroups),
                    [&](const SettingGroup& g) { return std::strcmp(g.name, setting.group) == 0; });
    // A group that is there must be an object, or JsonCpp's own message would name neither it nor the file
    // (an optional group says what it expects itself).
    if (const Json::Value* group = *setting.group ? optionalMember(root, setting.group) : nullptr;
        !optional_group && group != nullptr && !group->isNull() && !group->isObject())
        refuse(quoted(setting.group) + " in " + file, "an object, found " + typeName(*group));
    switch (setting.type) {
    case SettingType::whole:
        settings.*std::get<int32_t RunnerSettings::*>(setting.field) =
            groupOf(root, setting)[setting.key].asInt();
        return;
    case SettingType::flag:
        settings.*std::get<bool RunnerSettings::*>(setting.field) =
            groupOf(root, setting)[setting.key].asBool();
        return;
    case SettingType::angle: {
        // Converted as JsonCpp converts it; beyond the range of a float it would be infinite.
        const float offset = groupOf(root, setting)[setting.key].asFloat();
        if (!std::isfinite(offset))
            refuseSetting(file, setting.group, setting.key, "a number within the range of a float");
        settings.*std::get<float RunnerSettings::*>(setting.field) = offset;
        return;
    }
    default:
        break;
    }
    // Optional settings: the configurator writes them only when asked for the recommended ones.
    const Json::Value* group =
        optional_group ? optionalGroup(file, root, setting.group) : &groupOf(root, setting);
    if (group == nullptr)
        return;
    if (setting.type == SettingType::bindings) {
        readBindings(file, *group, settings);
        return;
    }
    // A group that is there turns on what it is about unless its switch says otherwise.
    if (setting.type == SettingType::on_off)
        settings.*std::get<bool RunnerSettings::*>(setting.field) = true;
    if (const Json::Value* member = optionalMember(*group, setting.key))
        readOptional(file, setting, *member, settings);
}

// The settings that are used only in part, each with its warning.
std::vector<std::string> settingWarnings(const RunnerSettings& settings) {
    if (!averagesPositions(settings))
        return {};
    std::vector<std::string> warnings;
    const int n = settings.average_of_N_previous_positions;
    char text[256];
    if (n < 1) {
        std::snprintf(text, sizeof text,
                      "\nWarning: stabilization needs average_of_N_previous_positions of 1 or more, found %d;"
                      " the cursor follows the pointer without averaging.\n",
                      n);
        warnings.push_back(text);
    }
    if (n > kMaxStabilizerLength) {
        std::snprintf(text, sizeof text,
                      "\nWarning: stabilization averages at most %d previous positions, found "
                      "average_of_N_previous_positions %d; the last %d are averaged.\n",
                      static_cast<int>(kMaxStabilizerLength), n, static_cast<int>(kMaxStabilizerLength));
        warnings.push_back(text);
    }
    return warnings;
}

// Every lookup uses the modifying member access: a missing member is null and converts to 0, 0.0 or
// false. A value of the wrong type raises Json::LogicError from JsonCpp itself. `file` names the file in
// the messages of the checks here.
ConfigContents readDocument(Json::Value& root, const std::string& file) {
    if (!root.isObject())
        refuse("file " + file, "an object with \"display\" and the settings, found " + typeName(root));
    ConfigContents contents;
    // No monitors: "display" missing (a desktop without monitors), null, [] or {}.
    Json::Value& display = root["display"];
    if (!display.isNull() && !display.isArray() && !(display.isObject() && display.empty()))
        refuse("\"display\" in " + file, "an array of monitors, found " + typeName(display));
    const Json::ArrayIndex count = display.isArray() ? display.size() : 0;
    for (Json::ArrayIndex i = 0; i < count; ++i) {
        Json::Value& element = display[i];
        DisplayEntry entry;
        for (int c = 0; c < 4; ++c) {
            Json::Value& corner = element[kCornerKeys[c]];
            entry.corners[c].x = corner["x"].asFloat();
            entry.corners[c].y = corner["y"].asFloat();
            entry.corners[c].z = corner["z"].asFloat();
        }
        entry.left = static_cast<float>(element["left"].asInt());
        entry.top = static_cast<float>(element["top"].asInt());
        entry.right = static_cast<float>(element["right"].asInt());
        entry.bottom = static_cast<float>(element["bottom"].asInt());
        contents.displays.push_back(entry);
    }

    for (const Setting& setting : kSettings)
        readSetting(file, setting, root, contents.settings);

    // The hash only serves a warning about a changed monitor layout, so a hand-edited value of another
    // type is ignored rather than refused.
    const Json::Value& hash = root["displayhash"];
    if (hash.isString()) {
        contents.display_hash = hash.asString();
        contents.has_display_hash = true;
    }
    // Likewise the controller, which only serves a warning about pointing with another one.
    if (const Json::Value* controller = optionalMember(root, "controller");
        controller && controller->isObject()) {
        for (auto [key, field] : {std::pair{"type", &CalibratedController::type},
                                  std::pair{"render_model", &CalibratedController::render_model}})
            if (const Json::Value* name = optionalMember(*controller, key); name && name->isString())
                contents.controller.*field = name->asString();
    }
    contents.warnings = settingWarnings(contents.settings);
    return contents;
}

// The whole reading of a text: JsonCpp raises Json::RuntimeError for a text that is not JSON and
// Json::LogicError for a value of the wrong type, and the checks here raise the latter for a bad setting.
ConfigRead readText(const std::string& text, const std::string& file, bool recommended) {
    ConfigRead read;
    read.text = text;
    try {
        Json::Value root = parseDocument(text);
        if (recommended) {
            addRecommended(root, false);
        }
        read.contents = readDocument(root, file);
    } catch (const Json::RuntimeError& error) {
        read.message = std::string("Error from reader: ") + error.what();
    } catch (const Json::LogicError& error) {
        read.message = std::string(error.what()) + "\n";
    }
    return read;
}

namespace fs = std::filesystem;

void attachAngleOffsetComment(Json::Value& root) {
    root["controller_angle_offset"]["y"].setComment(std::string(kAngleOffsetComment), Json::commentAfter);
}

// Stream insertion uses a StreamWriterBuilder with JsonCpp's default settings.
std::string documentText(const Json::Value& root) {
    std::ostringstream out;
    out << root;
    return out.str();
}

} // namespace

std::string configText(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                       int handedness, bool recommended, const CalibratedController& controller) {
    Json::Value root;
    for (size_t i = 0; i < monitors.size(); ++i) {
        Json::Value& entry = root["display"][static_cast<Json::ArrayIndex>(i)];
        for (int c = 0; c < 4; ++c) {
            setCorner(entry[kCornerKeys[c]], monitors[i].corners[c]);
        }
        entry["left"] = monitors[i].rect.left;
        entry["right"] = monitors[i].rect.right;
        entry["bottom"] = monitors[i].rect.bottom;
        entry["top"] = monitors[i].rect.top;
    }
    root["displayhash"] = display_hash;
    root["handedness"] = handedness;
    if (!controller.type.empty() || !controller.render_model.empty()) {
        root["controller"]["type"] = controller.type;
        root["controller"]["render_model"] = controller.render_model;
    }
    for (const Setting& setting : kSettings) {
        if (setting.written)
            groupOf(root, setting)[setting.key] = jsonValue(setting, *setting.written);
    }
    attachAngleOffsetComment(root);
    if (recommended) {
        addRecommended(root, true);
    }
    return documentText(root);
}

std::string withCorners(const std::string& text, const std::vector<std::array<Vec3, 4>>& corners) {
    Json::Value document = parseDocument(text);
    for (size_t i = 0; i < corners.size(); ++i) {
        Json::Value& entry = document["display"][static_cast<Json::ArrayIndex>(i)];
        for (int c = 0; c < 4; ++c) {
            setCorner(entry[kCornerKeys[c]], corners[i][c]);
        }
    }
    const Json::Value* offsets = optionalMember(document, "controller_angle_offset");
    if (offsets != nullptr && offsets->isObject() && optionalMember(*offsets, "y") != nullptr) {
        attachAngleOffsetComment(document);
    }
    return documentText(document);
}

namespace {

// Whether `text` is UTF-8 as the standard has it: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool isUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t at) {
            return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
        };
        const unsigned lead = byte(i);
        const size_t length = lead < 0x80                   ? 1
                              : lead >= 0xc2 && lead < 0xe0 ? 2
                              : lead >= 0xe0 && lead < 0xf0 ? 3
                              : lead >= 0xf0 && lead < 0xf5 ? 4
                                                            : 0;
        if (length == 0)
            return false;
        // The second byte's range rules out the overlong forms, the surrogates and what lies beyond U+10FFFF.
        const unsigned low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
        for (size_t k = 1; k < length; ++k) {
            const unsigned next = byte(i + k);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf))
                return false;
        }
        i += length;
    }
    return true;
}

// The first string or member name in `value` that is not UTF-8, as the path to it ("\"a\" / 2"), or nothing.
std::optional<std::string> notUtf8(const Json::Value& value, const std::string& at) {
    if (value.isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        value.getString(&begin, &end);
        if (!isUtf8(std::string_view(begin, static_cast<size_t>(end - begin))))
            return at;
    } else if (value.isArray()) {
        for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
            if (std::optional<std::string> found = notUtf8(value[i], at + " / " + std::to_string(i)))
                return found;
        }
    } else if (value.isObject()) {
        for (const std::string& name : value.getMemberNames()) {
            if (!isUtf8(name))
                return at + " / a member's name";
            if (std::optional<std::string> found =
                    notUtf8(value[name], at + (at.empty() ? "" : " / ") + quoted(name)))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace

std::string rewriteProblem(const std::string& text) {
    const Json::Value parsed = parseDocument(text);
    if (const std::optional<std::string> at = notUtf8(parsed, ""))
        return "the string at " + (at->empty() ? "its root" : *at) +
               " holds bytes that are not UTF-8, which would not be written back as they are";
    const Json::Value& display = parsed["display"];
    for (Json::ArrayIndex i = 0; display.isArray() && i < display.size(); ++i) {
        for (const char* corner : kCornerKeys) {
            for (const char* axis : {"x", "y", "z"}) {
                if (!std::isfinite(display[i][corner][axis].asFloat()))
                    return "\"display\" / " + std::to_string(i) + " / \"" + corner + "\" / \"" + axis +
                           "\" is not a finite number within a float's range, which no motion can move";
            }
        }
    }
    return {};
}

std::string writeConfigFile(const std::vector<CalibratedMonitor>& monitors, const std::string& display_hash,
                            int handedness, const std::string& path, bool recommended) {
    return platform::writeFileAtomically(configText(monitors, display_hash, handedness, recommended), path);
}

bool averagesPositions(const RunnerSettings& settings) {
    return settings.stabilization_enable && settings.stabilization_filter == StabilizationFilter::average;
}

ConfigRead parseConfigText(const std::string& text, bool recommended) {
    return readText(text, kConfigFileName, recommended);
}

ConfigRead readConfigFile(const std::string& path, bool recommended) {
    ConfigRead cannot_open;
    cannot_open.failure = ConfigFailure::cannot_open;
    cannot_open.message = "Could not open " + path + ", run config first!\n\n";
    // Only a regular file of a sensible size is read: a FIFO would wait for a writer for ever, a device or
    // a huge file would never end or exhaust the memory.
    ConfigRead refused;
    refused.message = "Cannot read " + path + ": it is larger than 16 MiB.\n";
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        return cannot_open;
    }
    if (!fs::is_regular_file(status)) {
        refused.message =
            "Cannot read " + path + ": it is " + platform::notRegularFile(status.type()) + ".\n";
        return refused;
    }
    const uintmax_t size = fs::file_size(path, error);
    if (!error && size > kMaxConfigBytes) {
        return refused;
    }
    std::ifstream in(path); // text mode
    if (!in.is_open()) {
        return cannot_open;
    }
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxConfigBytes) {
            return refused; // it grew while it was read
        }
    }
    if (in.bad()) {
        return cannot_open;
    }
    in.close();
    return readText(text, path, recommended);
}

std::span<const Setting> settingsTable() {
    return kSettings;
}

std::span<const SettingGroup> optionalGroups() {
    return kOptionalGroups;
}
