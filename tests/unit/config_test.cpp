// "default.config": its exact bytes, what the reader makes of hand-edited files and which ones it refuses
// with which message, the settings' table, and the atomic replacement of the file.
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const float kInf = INFINITY;
uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// The file's text built here, independently of JsonCpp: tabs, " : ", %.17g reals, members in key order.
std::string expectedText(const std::vector<CalibratedMonitor>& monitors, const std::string& hash, int hand,
                         bool recommended = false) {
    auto real = [](float f) -> std::string {
        if (std::isnan(f))
            return "null";
        if (std::isinf(f))
            return f > 0 ? "1e+9999" : "-1e+9999";
        if (f == 0.0f && std::signbit(f))
            return "-0.0"; // kept apart from %.17g so that the sign survives reading
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(f));
        return buffer;
    };
    auto object = [](const std::string& tabs, const std::string& key) {
        return tabs + key + " : \n" + tabs + "{\n";
    };
    std::string s =
        "{\n" + object("\t", "\"controller_angle_offset\"") + "\t\t\"x\" : 0,\n\t\t\"y\" : 0\n" +
        "\t\t// Used to change the pointing angle of the controller. For a typical gungrip hold try "
        "values between -1.3 and -5 for 'y' first. The config program ignores this value.\n\t},\n";
    if (!monitors.empty())
        s += "\t\"display\" : \n\t[\n";
    for (size_t i = 0; i < monitors.size(); ++i) {
        const MonitorInfo& r = monitors[i].rect;
        s += "\t\t{\n\t\t\t\"bottom\" : " + std::to_string(r.bottom) +
             ",\n\t\t\t\"left\" : " + std::to_string(r.left) +
             ",\n\t\t\t\"right\" : " + std::to_string(r.right) +
             ",\n\t\t\t\"top\" : " + std::to_string(r.top) + ",\n";
        for (int c = 0; c < 4; ++c) {
            const Vec3& v = monitors[i].corners[c];
            s += object("\t\t\t", "\"v" + std::to_string(c) + "\"") + "\t\t\t\t\"x\" : " + real(v.x) +
                 ",\n\t\t\t\t\"y\" : " + real(v.y) + ",\n\t\t\t\t\"z\" : " + real(v.z) + "\n\t\t\t}" +
                 (c < 3 ? ",\n" : "\n");
        }
        s += i + 1 < monitors.size() ? "\t\t},\n" : "\t\t}\n\t],\n";
    }
    s += "\t\"displayhash\" : \"" + hash + "\",\n\t\"handedness\" : " + std::to_string(hand) + ",\n";
    if (!recommended)
        return s + object("\t", "\"stabilization\"") +
               "\t\t\"average_of_N_previous_positions\" : 5,\n\t\t\"enable\" : 0\n\t},\n" +
               object("\t", "\"trigger\"") +
               "\t\t\"click_detection_threshold\" : 10,\n\t\t\"dragging_threshold_ms\" : 200\n\t}\n}";
    return s + object("\t", "\"handover\"") +
           "\t\t\"enable\" : 1,\n\t\t\"rest_degrees\" : 0.10000000000000001,\n\t\t\"rest_seconds\" : 2,\n"
           "\t\t\"resume_degrees\" : 1\n\t},\n" +
           object("\t", "\"stabilization\"") +
           "\t\t\"average_of_N_previous_positions\" : 5,\n\t\t\"beta\" : 2.5,\n\t\t\"derivative_cutoff_hz\" "
           ": 1,\n"
           "\t\t\"enable\" : 1,\n\t\t\"filter\" : \"one_euro\",\n\t\t\"min_cutoff_hz\" : 0.5\n\t},\n" +
           object("\t", "\"trigger\"") +
           "\t\t\"click_detection_threshold\" : 10,\n\t\t\"click_freeze_degrees\" : 0.59999999999999998,\n"
           "\t\t\"dragging_threshold_ms\" : 200\n\t}\n}";
}

// The contents of a text that the reader takes.
ConfigContents accepted(const std::string& text, bool recommended = false) {
    const ConfigRead read = parseConfigText(text, recommended);
    EXPECT_TRUE(read.contents) << text << ": " << read.message;
    return read.contents.value_or(ConfigContents{});
}

const std::vector<CalibratedMonitor> kOddMonitors = {
    {{0, 0, 1920, 1080},
     {{{-0.5f, 1.25f, -0.75f}, {-0.5f, 0.91f, -0.75f}, {0.1f, 0.91f, -0.75f}, {0.1f, 1.25f, -0.75f}}}},
    {{-1920, -200, 0, 880},
     {{{-2.0f, 2.0f, 0.0f},
       {1e-5f, 1.0f / 3, -0.0f},
       {16777216.0f, -3.0f, 12.5f},
       {3e-39f, FLT_MAX, 1e17f}}}},
    {{2560, -1080, 4480, 0},
     {{{kInf, -kInf, NAN}, {-FLT_MAX, 1e-45f, 0.077f}, {9.99999e16f, 1e10f, -1e18f}, {}}}}};

TEST(ConfigFile, TextIsByteForByteTheFormatAndReadsBackBitExact) {
    for (size_t n : {0, 1, 3}) {
        const std::vector<CalibratedMonitor> monitors(kOddMonitors.begin(), kOddMonitors.begin() + n);
        const std::string text = configText(monitors, "a\"b-12", static_cast<int>(n % 2) + 1);
        EXPECT_EQ(text, expectedText(monitors, "a\\\"b-12", static_cast<int>(n % 2) + 1));
        const ConfigContents read = accepted(text);
        ASSERT_EQ(read.displays.size(), n);
        for (size_t i = 0; i < n; ++i) {
            const MonitorInfo& r = monitors[i].rect;
            EXPECT_EQ(read.displays[i].left, float(r.left));
            EXPECT_EQ(read.displays[i].top, float(r.top));
            EXPECT_EQ(read.displays[i].right, float(r.right));
            EXPECT_EQ(read.displays[i].bottom, float(r.bottom));
            for (int c = 0; c < 4; ++c) {
                const Vec3 &want = monitors[i].corners[c], &got = read.displays[i].corners[c];
                for (auto [w, g] : {std::pair{want.x, got.x}, {want.y, got.y}, {want.z, got.z}})
                    EXPECT_EQ(std::isnan(w) ? 0u : bits(w), bits(g)) << i << " v" << c; // NaN is written null
            }
        }
        const RunnerSettings& s = read.settings;
        EXPECT_EQ(s.dragging_threshold_ms, 200);
        EXPECT_EQ(s.handedness, static_cast<int>(n % 2) + 1);
        EXPECT_FALSE(s.stabilization_enable);
        EXPECT_EQ(s.average_of_N_previous_positions, 5);
        EXPECT_EQ(s.click_detection_threshold, 10);
        EXPECT_EQ(read.display_hash, "a\"b-12");
        // Rewriting the corners gives the text written with those corners: nothing else changes.
        std::vector<CalibratedMonitor> moved = monitors;
        std::vector<std::array<Vec3, 4>> corners;
        for (size_t i = 0; i < n; ++i)
            corners.push_back(moved[i].corners = kOddMonitors[(i + 1) % 3].corners);
        EXPECT_EQ(withCorners(text, corners), configText(moved, "a\"b-12", static_cast<int>(n % 2) + 1));
    }
    // wandsetup --recommended writes the steadier pointing and the handover; wandpointer --recommended takes
    // them for members the file lacks (a written "enable" of 0 stays), and never unasked.
    const std::string plain = configText(kOddMonitors, "h", 2),
                      steady = configText(kOddMonitors, "h", 2, true);
    EXPECT_EQ(steady, expectedText(kOddMonitors, "h", 2, true));
    for (const auto& [text, recommended, enable] :
         {std::tuple{steady, false, true}, {plain, true, false}, {plain, false, false}}) {
        const RunnerSettings s = accepted(text, recommended).settings;
        const bool all = recommended || enable;
        EXPECT_EQ(s.stabilization_enable, enable);
        EXPECT_EQ(s.stabilization_filter == StabilizationFilter::one_euro && s.handover_enable, all);
        EXPECT_EQ(s.click_freeze_degrees, all ? 0.6f : 0.0f);
        EXPECT_TRUE(s.min_cutoff_hz == 0.5f && s.beta == 2.5f && s.derivative_cutoff_hz == 1.0f &&
                    s.rest_seconds == 2.0f && s.rest_degrees == 0.1f && s.resume_degrees == 1.0f);
    }
    EXPECT_FALSE(accepted("{\"handover\": {\"enable\": 0}}", true).settings.handover_enable);
    EXPECT_TRUE(accepted("{\"handover\": {\"rest_seconds\": 1e-3}}").settings.handover_enable);
}

TEST(ConfigFile, HandEditedFilesReadWithJsonCppsConversionsOrAreRefused) {
    struct Case {
        std::string text;
        int drag, hand, n;
        bool enable;
        float offset_y;
        size_t displays;
        bool has_hash;
    };
    const Case cases[] = {
        {"{}", 0, 0, 0, false, 0.0f, 0, false},
        {"{\"trigger\":{\"dragging_threshold_ms\":150.9},\"stabilization\":{\"enable\":true}} {\"x\":1}", 150,
         0, 0, true, 0.0f, 0, false},
        {"{\r\n\"stabilization\":{\"enable\":2.5,\"average_of_N_previous_positions\":-4},\"displayhash\":7,"
         "\r\n"
         "\"controller_angle_offset\":{\"y\":-1.3},\"display\":[{\"v0\":null},{}],\"handedness\":2}",
         0, 2, -4, true, -1.3f, 2, false},
        {"{\"display\":{},\"stabilization\":{\"enable\":0},\"displayhash\":\"\"}", 0, 0, 0, false, 0.0f, 0,
         true},
    };
    for (const Case& c : cases) {
        const ConfigContents read = accepted(c.text);
        EXPECT_EQ(read.settings.dragging_threshold_ms, c.drag) << c.text;
        EXPECT_EQ(read.settings.handedness, c.hand) << c.text;
        EXPECT_EQ(read.settings.average_of_N_previous_positions, c.n) << c.text;
        EXPECT_EQ(read.settings.stabilization_enable, c.enable) << c.text;
        EXPECT_EQ(read.settings.controller_angle_offset_y, c.offset_y) << c.text;
        EXPECT_EQ(read.settings.controller_angle_offset_x, 0.0f) << c.text;
        EXPECT_EQ(read.displays.size(), c.displays) << c.text;
        EXPECT_EQ(read.has_display_hash, c.has_hash) << c.text;
    }
    // A value of the wrong type: JsonCpp's message; a text that is not JSON: "Error from reader: " and
    // JsonCpp's list, whose positions an infinite corner before the error does not shift.
    auto refusal = [](const char* text) {
        const ConfigRead read = parseConfigText(text);
        EXPECT_FALSE(read.contents) << text;
        EXPECT_EQ(read.failure, ConfigFailure::refused) << text;
        return read.message;
    };
    for (const char* wrong :
         {"{\"handedness\":\"1\"}", "{\"display\":[{\"v1\":{\"x\":{}}}]}", "{\"display\":{\"a\":1}}",
          "{\"trigger\":{\"dragging_threshold_ms\":4294967296}}", "[1]"}) {
        const std::string message = refusal(wrong);
        EXPECT_TRUE(!message.starts_with("Error") && message.find('\n') == message.size() - 1) << message;
    }
    for (const char* no_display :
         {"null", "7", "[1]", "{\"display\":true}", "{\"display\":\"[]\"}", "{\"display\":{\"a\":1}}"})
        EXPECT_NE(refusal(no_display).find("\"display\""), std::string::npos) << no_display;
    for (const char* broken : {"", "{", "{\"a\":1,,}", "{\"x\":1e+9999x}", "nul"})
        EXPECT_TRUE(refusal(broken).starts_with("Error from reader: * Line 1, Column ")) << broken;
    EXPECT_NE(refusal("{\"x\":-1e+9999, \"y\":}").find("Line 1, Column 20"), std::string::npos);
    EXPECT_EQ(refusal("{\"handover\": 1}"), "Bad \"handover\" in default.config: expected an object.\n");
    EXPECT_EQ(refusal("{\"trigger\": 5}"),
              "Bad \"trigger\" in default.config: expected an object, found a number.\n");
    // A control character from the file is echoed escaped, never as it stands.
    EXPECT_EQ(refusal("{\"bindings\": {\"\\u001b[2J\": 1}}").substr(0, 31),
              "Bad \"bindings\" / \"\\u001b[2J\" in");
    for (const char* bad :
         {"{\"handover\": {\"enable\": \"yes\"}}", "{\"handover\": {\"rest_seconds\": 0}}",
          "{\"handover\": {\"rest_seconds\": 1e5}}", "{\"handover\": {\"resume_degrees\": -1}}"})
        EXPECT_TRUE(refusal(bad).starts_with("Bad \"handover\" / \"")) << bad;
}

TEST(ConfigFile, WritingReplacesTheFileInOneStepOrLeavesItAsItWas) {
    const auto folder = std::filesystem::temp_directory_path() / ("wand-unit-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "default.config").string();
    std::ofstream(path) << "old";
    auto contents = [&] { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); };
    EXPECT_EQ(writeConfigFile(kOddMonitors, "h", 1, path), "");
    EXPECT_EQ(contents(), configText(kOddMonitors, "h", 1));
    // A write that fails half way (the process may write only 100 bytes): the old file stays whole.
    std::ofstream(path) << "old";
    rlimit old_limit{}, small{100, 100};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string failure = writeConfigFile(kOddMonitors, "h", 1, path);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    EXPECT_NE(failure.find("File too large"), std::string::npos) << failure;
    EXPECT_NE(writeConfigFile({}, "h", 1, (folder / "missing/default.config").string()), "");
    EXPECT_EQ(contents(), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
        << "a temporary file is left";
    std::filesystem::remove_all(folder);
}

TEST(ConfigFile, BadValuesOfTheOptionalKeysStopTheStartNamingTheKeyAndTheBindingsTheirValueToo) {
    for (const char* row : {"stabilization beta -1",
                            "stabilization min_cutoff_hz 0",
                            "stabilization filter 1",
                            "stabilization derivative_cutoff_hz 1e+9999",
                            "stabilization filter \"kalman\"",
                            "trigger click_freeze_degrees true",
                            "bindings grip \"key:ctrl+foo\"",
                            "bindings thumb \"left\"",
                            "bindings grip \"wheel\"",
                            "bindings menu \"key:a+ctrl\"",
                            "bindings menu \"key:ctrl+ctrl\"",
                            "bindings trigger 5",
                            "bindings pad_left \"key:\"",
                            "haptics click_us 4000",
                            "haptics click_us -1",
                            "haptics click_us 1.5",
                            "haptics click_ms 5",
                            "handover rest 1",
                            "bindings grip \"key:\\u0007\"",
                            "stabilization min_cutoff_hz 1e-300",
                            "trigger click_freeze_degrees 1e-39",
                            "controller_angle_offset y 1e39",
                            "controller_angle_offset x -1e+9999"}) {
        std::string group, key, value;
        std::istringstream(row) >> group >> key >> value;
        const ConfigRead read = parseConfigText("{\"" + group + "\": {\"" + key + "\": " + value + "}}");
        EXPECT_FALSE(read.contents) << row;
        EXPECT_NE(read.message.find('"' + key + '"'), std::string::npos) << read.message;
        if ((group == "bindings" && key != "thumb") || key == "click_us") {
            EXPECT_NE(read.message.find(value), std::string::npos) << read.message;
        }
    }
    // Every optional group that is there must be an object, and every optional number must not be negative.
    for (const SettingGroup& group : optionalGroups())
        EXPECT_FALSE(parseConfigText("{\"" + std::string(group.name) + "\": 1}").contents) << group.name;
    for (const Setting& setting : settingsTable()) {
        const std::string text = "{\"" + std::string(setting.group) + "\": {\"" + setting.key + "\": -1}}";
        EXPECT_TRUE(setting.type != SettingType::number || !parseConfigText(text).contents) << text;
    }
}

TEST(ConfigFile, TheFuzzDictionaryHoldsEveryGroupKeyAndNamedValue) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path() / "../../fuzz/config.dict");
    std::set<std::string> entries;
    for (std::string line; std::getline(in, line);)
        entries.insert(line);
    std::vector<std::string> names(kControlNames.begin(), kControlNames.end());
    for (const auto& [name, filter] : kFilterNames)
        names.push_back(name);
    for (const Setting& setting : settingsTable())
        names.insert(names.end(), {setting.group, setting.key});
    for (const std::string& name : names)
        EXPECT_TRUE(name.empty() || entries.count("\"\\\"" + name + "\\\"\""))
            << name << " is not in fuzz/config.dict";
}

} // namespace
