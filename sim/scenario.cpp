// Scenario files: a line-based description of the simulated devices and of the steps that change them.
#include "sim/sim_core.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace {

struct LineContext {
    const std::string& name;
    int line;
};

[[noreturn]] void fail(const LineContext& at, const std::string& problem) {
    throw std::runtime_error(at.name + ":" + std::to_string(at.line) + ": " + problem);
}

std::string inQuotes(const std::string& s) {
    return "\"" + s + "\"";
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == '#')
            break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

double parseNumber(const LineContext& at, const std::string& word) {
    double value = 0;
    const char* first = word.data();
    const char* last = first + word.size();
    if (!word.empty() && *first == '+')
        ++first;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last)
        fail(at, inQuotes(word) + " is not a number");
    return value;
}

uint64_t parseWhole(const LineContext& at, const std::string& word, const std::string& what, uint64_t max) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || word.empty() || value > max)
        fail(at, what + " " + inQuotes(word) + " is not a whole number from 0 to " + std::to_string(max));
    return value;
}

uint32_t parseDeviceIndex(const LineContext& at, const std::string& word) {
    return uint32_t(parseWhole(at, word, "device index", vr::k_unMaxTrackedDeviceCount - 1));
}

bool parseYesNo(const LineContext& at, const std::string& word) {
    if (word == "yes")
        return true;
    if (word == "no")
        return false;
    fail(at, "expected \"yes\" or \"no\", got " + inQuotes(word));
}

const std::map<std::string, int>& buttonBits() {
    static const std::map<std::string, int> bits = {
        {"system", vr::k_EButton_System},
        {"menu", vr::k_EButton_ApplicationMenu},
        {"grip", vr::k_EButton_Grip},
        {"dpad-left", vr::k_EButton_DPad_Left},
        {"dpad-up", vr::k_EButton_DPad_Up},
        {"dpad-right", vr::k_EButton_DPad_Right},
        {"dpad-down", vr::k_EButton_DPad_Down},
        {"a", vr::k_EButton_A},
        {"pad", vr::k_EButton_SteamVR_Touchpad},
        {"trigger-bit", vr::k_EButton_SteamVR_Trigger},
        {"axis2", vr::k_EButton_Axis2},
        {"axis3", vr::k_EButton_Axis3},
        {"axis4", vr::k_EButton_Axis4},
    };
    return bits;
}

uint64_t parseButtons(const LineContext& at, const std::vector<std::string>& words, size_t first) {
    if (first >= words.size())
        fail(at, "buttons needs button names, a 0x mask or \"none\"");
    if (words.size() == first + 1 && words[first] == "none")
        return 0;
    uint64_t mask = 0;
    for (size_t i = first; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() > 2 && (word.compare(0, 2, "0x") == 0 || word.compare(0, 2, "0X") == 0)) {
            uint64_t raw = 0;
            auto [end, ec] = std::from_chars(word.data() + 2, word.data() + word.size(), raw, 16);
            if (ec != std::errc() || end != word.data() + word.size())
                fail(at, "bad button mask " + inQuotes(word));
            mask |= raw;
            continue;
        }
        auto it = buttonBits().find(word);
        if (it == buttonBits().end())
            fail(at, "unknown button " + inQuotes(word));
        mask |= 1ull << it->second;
    }
    return mask;
}

std::vector<double> parseNumbers(const LineContext& at, const std::vector<std::string>& words, size_t first,
                                 size_t count, const std::string& what) {
    if (words.size() != first + count)
        fail(at, what + " needs " + std::to_string(count) + (count == 1 ? " number" : " numbers") + ", got " +
                     std::to_string(words.size() > first ? words.size() - first : 0));
    std::vector<double> numbers;
    for (size_t i = first; i < words.size(); ++i)
        numbers.push_back(parseNumber(at, words[i]));
    return numbers;
}

void checkAim(const LineContext& at, const double* from, const double* to) {
    double d[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
    double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(length > 1e-12) || !std::isfinite(length))
        fail(at, "the aim target must be a finite point away from the position");
}

SimChange parseChange(const LineContext& at, const std::vector<std::string>& words) {
    SimChange change;
    change.line = at.line;
    change.device = parseDeviceIndex(at, words[0]);
    if (words.size() < 2)
        fail(at, "device change without a property");
    const std::string& property = words[1];
    if (property == "pose") {
        if (words.size() < 3)
            fail(at, "pose needs a kind: aim, tip, at or matrix");
        const std::string& kind = words[2];
        if (kind == "aim") {
            change.kind = SimChangeKind::pose_aim;
            change.numbers = parseNumbers(at, words, 3, 6, "pose aim");
            checkAim(at, &change.numbers[0], &change.numbers[3]);
        } else if (kind == "tip") {
            if (words.size() > 6 && words[6] == "aim") {
                change.kind = SimChangeKind::pose_tip_aim;
                std::vector<std::string> numbers(words.begin() + 3, words.begin() + 6);
                numbers.insert(numbers.end(), words.begin() + 7, words.end());
                change.numbers = parseNumbers(at, numbers, 0, 6, "pose tip ... aim");
                checkAim(at, &change.numbers[0], &change.numbers[3]);
            } else {
                change.kind = SimChangeKind::pose_tip;
                change.numbers = parseNumbers(at, words, 3, 3, "pose tip");
            }
        } else if (kind == "at") {
            change.kind = SimChangeKind::pose_at;
            change.numbers = parseNumbers(at, words, 3, 3, "pose at");
        } else if (kind == "matrix") {
            change.kind = SimChangeKind::pose_matrix;
            change.numbers = parseNumbers(at, words, 3, 12, "pose matrix");
        } else {
            fail(at, "unknown pose kind " + inQuotes(kind) + " (aim, tip, at or matrix)");
        }
    } else if (property == "valid" || property == "connected") {
        if (words.size() != 3)
            fail(at, property + " needs \"yes\" or \"no\"");
        change.kind = property == "valid" ? SimChangeKind::valid : SimChangeKind::connected;
        change.flag = parseYesNo(at, words[2]);
    } else if (property == "buttons") {
        change.kind = SimChangeKind::buttons;
        change.mask = parseButtons(at, words, 2);
    } else if (property == "trigger") {
        change.kind = SimChangeKind::trigger;
        change.numbers = parseNumbers(at, words, 2, 1, "trigger");
    } else if (property == "pad") {
        change.kind = SimChangeKind::pad;
        change.numbers = parseNumbers(at, words, 2, 2, "pad");
    } else if (property == "axis") {
        change.kind = SimChangeKind::axis;
        change.numbers = parseNumbers(at, words, 2, 3, "axis");
        if (change.numbers[0] != 2.0 && change.numbers[0] != 3.0 && change.numbers[0] != 4.0)
            fail(at, "axis needs an axis from 2 to 4, then x and y");
    } else if (property == "tremor") {
        change.kind = SimChangeKind::tremor;
        change.numbers = parseNumbers(at, words, 2, 1, "tremor");
    } else {
        fail(at, "unknown property " + inQuotes(property));
    }
    return change;
}

// One condition of a step or an absence, "key=value", as its key and value.
std::pair<std::string, std::string> parseCondition(const LineContext& at, const std::string& word,
                                                   const char* of) {
    const size_t equals = word.find('=');
    if (equals == std::string::npos || equals + 1 == word.size())
        fail(at, std::string(of) + " condition " + inQuotes(word) + " is not of the form key=value");
    return {word.substr(0, equals), word.substr(equals + 1)};
}

// "absent [ms=N] [wait=NAME] [error=E]", at the top or in a step.
SimAbsence parseAbsence(const LineContext& at, const std::vector<std::string>& words) {
    SimAbsence absence;
    for (size_t i = 1; i < words.size(); ++i) {
        const auto [key, value] = parseCondition(at, words[i], "absent");
        if (key == "ms")
            absence.ms = int64_t(parseWhole(at, value, "ms", 0x7fffffffu));
        else if (key == "wait")
            absence.wait = value;
        else if (key == "error")
            absence.error = vr::EVRInitError(parseWhole(at, value, "error", 0x7fffffff));
        else
            fail(at, "unknown absent condition " + inQuotes(key) + " (ms, wait or error)");
    }
    return absence;
}

// The runtime's own lines in a step: "quit", "event TYPE [DEVICE]", "absent ...".
SimChange parseRuntimeChange(const LineContext& at, const std::vector<std::string>& words) {
    SimChange change;
    change.line = at.line;
    if (words[0] == "absent") {
        change.kind = SimChangeKind::absent;
        change.absence = parseAbsence(at, words);
        return change;
    }
    change.kind = SimChangeKind::event;
    if (words[0] == "quit") {
        if (words.size() != 1)
            fail(at, "quit takes nothing more");
        change.numbers = {double(vr::VREvent_Quit), 0};
        return change;
    }
    if (words.size() < 2 || words.size() > 3)
        fail(at, "event needs a type and may name a device");
    change.numbers = {double(parseWhole(at, words[1], "event type", 0xffffffffu)),
                      words.size() == 3 ? double(parseDeviceIndex(at, words[2])) : 0.0};
    return change;
}

SimStep parseStep(const LineContext& at, const std::vector<std::string>& words) {
    SimStep step;
    step.line = at.line;
    for (size_t i = 1; i < words.size(); ++i) {
        const auto [key, value] = parseCondition(at, words[i], "step");
        if (key == "polls")
            step.polls = uint32_t(parseWhole(at, value, "polls", 0xffffffffu));
        else if (key == "ms")
            step.ms = int64_t(parseWhole(at, value, "ms", 0x7fffffffu));
        else if (key == "wait")
            step.wait = value;
        else
            fail(at, "unknown step condition " + inQuotes(key) + " (polls, ms or wait)");
    }
    return step;
}

vr::ETrackedDeviceClass parseDeviceClass(const LineContext& at, const std::string& word) {
    if (word == "hmd")
        return vr::TrackedDeviceClass_HMD;
    if (word == "controller")
        return vr::TrackedDeviceClass_Controller;
    if (word == "tracker")
        return vr::ETrackedDeviceClass(3); // generic tracker, as newer runtimes report it
    if (word == "reference")
        return vr::TrackedDeviceClass_TrackingReference;
    if (word == "other")
        return vr::TrackedDeviceClass_Other;
    fail(at, "unknown device class " + inQuotes(word) + " (hmd, controller, tracker, reference or other)");
}

size_t parseModel(const LineContext& at, const SimDevice& device, const std::string& keyword) {
    if (device.device_class != vr::TrackedDeviceClass_Controller)
        fail(at, "only a controller has a model");
    const size_t model = simModelIndex(keyword);
    if (model == simModels().size()) {
        std::string known;
        for (const SimModel& m : simModels())
            known += (known.empty() ? "" : ", ") + std::string(m.keyword);
        fail(at, "unknown model " + inQuotes(keyword) + " (" + known + ")");
    }
    return model;
}

std::string controlDirectory(const std::string& fallback) {
    const char* dir = std::getenv("WAND_SIM_CONTROL");
    return dir && *dir ? std::string(dir) : fallback;
}

} // namespace

Scenario parseScenario(const std::string& text, const std::string& name) {
    Scenario scenario;
    scenario.name = name;
    scenario.control_dir = controlDirectory(".");
    std::array<bool, vr::k_unMaxTrackedDeviceCount> declared{};
    bool init_error_seen = false;

    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        LineContext at{name, line};
        std::vector<std::string> words = splitWords(raw);
        if (words.empty())
            continue;
        const std::string& keyword = words[0];
        if (keyword == "init-error") {
            if (init_error_seen)
                fail(at, "init-error given twice");
            if (!scenario.steps.empty())
                fail(at, "init-error must come before the first step");
            if (words.size() != 2)
                fail(at, "init-error needs one error code");
            init_error_seen = true;
            scenario.init_error = vr::EVRInitError(parseWhole(at, words[1], "init error", 0x7fffffff));
        } else if (keyword == "applications-error") {
            if (!scenario.steps.empty() || words.size() != 2)
                fail(at, "applications-error needs one error code, before the first step");
            scenario.applications_error =
                vr::EVRApplicationError(parseWhole(at, words[1], "applications error", 0x7fffffff));
        } else if (keyword == "absent" && scenario.steps.empty()) {
            if (scenario.absent)
                fail(at, "absent given twice before the first step");
            scenario.absent = parseAbsence(at, words);
        } else if (keyword == "absent" || keyword == "quit" || keyword == "event") {
            if (scenario.steps.empty())
                fail(at, keyword + " must follow a step line");
            scenario.steps.back().changes.push_back(parseRuntimeChange(at, words));
        } else if (keyword == "device") {
            if (!scenario.steps.empty())
                fail(at, "device lines must come before the first step");
            if (words.size() < 3)
                fail(at, "device needs an index and a class");
            uint32_t index = parseDeviceIndex(at, words[1]);
            if (declared[index])
                fail(at, "device " + std::to_string(index) + " is declared twice");
            declared[index] = true;
            SimDevice& device = scenario.devices[index];
            device.device_class = parseDeviceClass(at, words[2]);
            device.connected = true;
            for (size_t i = 3; i < words.size(); ++i) {
                if (words[i] == "disconnected")
                    device.connected = false;
                else if (words[i] == "invalid")
                    device.pose_valid = false;
                else if (words[i].compare(0, 6, "model=") == 0)
                    device.model = parseModel(at, device, words[i].substr(6));
                else
                    fail(at, "unknown device option " + inQuotes(words[i]) +
                                 " (disconnected, invalid or model=NAME)");
            }
        } else if (keyword == "step") {
            scenario.steps.push_back(parseStep(at, words));
        } else if (!keyword.empty() && keyword[0] >= '0' && keyword[0] <= '9') {
            if (scenario.steps.empty())
                fail(at, "a device change must follow a step line");
            SimChange change = parseChange(at, words);
            if (!declared[change.device])
                fail(at, "device " + std::to_string(change.device) + " is not declared");
            scenario.steps.back().changes.push_back(change);
        } else {
            fail(
                at,
                "unknown keyword " + inQuotes(keyword) +
                    " (init-error, applications-error, absent, device, step, quit, event or a device index)");
        }
    }
    return scenario;
}

Scenario readScenarioFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(path + ": cannot read the scenario file");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        throw std::runtime_error(path + ": cannot read the scenario file");
    Scenario scenario = parseScenario(text.str(), path);
    std::string dir = std::filesystem::path(path).parent_path().string();
    scenario.control_dir = controlDirectory(dir.empty() ? std::string(".") : dir);
    return scenario;
}

Scenario defaultScenario() {
    return parseScenario("device 0 hmd\n"
                         "device 1 controller\n"
                         "step\n"
                         "  0 pose at 0 1.6 0.6\n"
                         "  1 pose aim 0 1.2 0.5 0 1.2 -1\n",
                         "default scenario");
}

Scenario scenarioFromEnvironment() {
    const char* path = std::getenv("WAND_SIM_SCENARIO");
    if (!path || !*path)
        return defaultScenario();
    return readScenarioFile(path);
}

SimMatrix aimPose(const double position[3], const double target[3]) {
    double z[3] = {-(target[0] - position[0]), -(target[1] - position[1]), -(target[2] - position[2])};
    double zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    for (double& v : z)
        v /= zl;
    auto cross = [](const double* a, const double* b, double* out) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    const double up_y[3] = {0, 1, 0};
    const double up_z[3] = {0, 0, 1};
    double x[3];
    cross(up_y, z, x);
    double xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    if (xl < 1e-9) {
        cross(up_z, z, x);
        xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    }
    for (double& v : x)
        v /= xl;
    double y[3];
    cross(z, x, y);
    // Adding 0 turns negative zeros into plain ones, so that an axis-aligned aim gives an exact matrix.
    SimMatrix pose;
    for (int i = 0; i < 3; ++i) {
        pose.m[i][0] = x[i] + 0.0;
        pose.m[i][1] = y[i] + 0.0;
        pose.m[i][2] = z[i] + 0.0;
        pose.m[i][3] = position[i];
    }
    return pose;
}

SimMatrix tipPose(const SimMatrix& rotation, const double tip[3]) {
    // The tip offset exactly as the programs' single-precision constants give it.
    const double offset_y = -double(0.077f);
    const double offset_z = -double(0.038f);
    SimMatrix pose = rotation;
    for (int i = 0; i < 3; ++i)
        pose.m[i][3] = tip[i] - (rotation.m[i][1] * offset_y + rotation.m[i][2] * offset_z);
    return pose;
}
