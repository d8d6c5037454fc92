// The core's exact arithmetic and decisions, in-process: the config file's bytes, the controller's button
// tests and rays, the ray-to-pixel mapping, cursor stabilization, the buttons and frame pacing on a
// synthetic clock, corner geometry, the dialogue's answers, the display hash, and controller selection
// against the simulated runtime.
#include "config/config_file.h"
#include "desktop/desktop_layout.h"
#include "pointer/runner.h"
#include "setup/calibration.h"
#include "setup/dialogue.h"
#include "sim/sim_core.h"
#include "vr/controller_selection.h"
#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const float kInf = INFINITY;
uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

// --- The config file ------------------------------------------------------------------------------------

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
        EXPECT_EQ(read.click_detection_threshold, 10);
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

// --- The controller record ------------------------------------------------------------------------------

// The controller's button bits as the runtime reports them.
enum : uint64_t { kMenu = 1ull << 1, kGrip = 1ull << 2, kPad = 1ull << 32 };

TEST(Controller, ButtonTestsFollowTheirThresholdsBitsAndRegions) {
    TrackedController c = makeTrackedController(nullptr, 1);
    auto trigger = [&](float before, float now) {
        c.previous_state.rAxis[1].x = before;
        c.state.rAxis[1].x = now;
        return std::tuple{isHeld(c, Control::trigger), pressEdge(c, Control::trigger), releaseEdge(c)};
    };
    EXPECT_EQ(trigger(0.0f, 0.1f), std::tuple(true, true, false));
    EXPECT_EQ(trigger(0.1f, 0.1f), std::tuple(true, false, false));
    EXPECT_EQ(trigger(0.1f, 0.09999f), std::tuple(false, false, true));
    EXPECT_EQ(trigger(0.0f, 0.09999f), std::tuple(false, false, false));
    // Bit 15 (the trigger's binding value) is never the trigger, bit 31 (the touchpad's) never the pad.
    c.state.ulButtonPressed = (1ull << 15) | (1ull << 31) | kMenu | kGrip;
    c.previous_state.ulButtonPressed = kMenu;
    c.state.rAxis[1].x = 0.0f;
    EXPECT_FALSE(isHeld(c, Control::trigger));
    EXPECT_FALSE(isHeld(c, Control::touchpad));
    EXPECT_TRUE(pressEdge(c, Control::grip) && isHeld(c, Control::menu) && !pressEdge(c, Control::menu));
    c.state.ulButtonPressed = kPad;
    EXPECT_TRUE(isHeld(c, Control::touchpad) && pressEdge(c, Control::touchpad));
    c.state.rAxis[0] = {0.0f, 0.0f};
    for (int r = 0; r < 9; ++r)
        EXPECT_FALSE(touchpadIn(c, r)) << "an untouched pad is in region " << r;
    c.state.rAxis[0] = {0.0f, 0.5f};
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(touchpadIn(c, r), r == 0 || r == 1 || r == 3 || r == 4 || r == 7 || r == 8) << r;
    c.state.rAxis[0] = {0.6f, 0.5f};
    EXPECT_FALSE(touchpadIn(c, kTouchpadCentreStrip));
}

TEST(Controller, RaysFollowTheGivenRoundingOrderToTheBit) {
    // Every product rounds, so another order of the additions, a fused multiply-add or a double constant
    // (0.077 for 0.077f changes the tip's y and z) shows in the last bits.
    const float m[3][4] = {{0.866025388f, -0.25f, 0.433012694f, 0.123456791f},
                           {0.0f, -0.527822018f, -0.815322816f, -0.413677096f},
                           {-0.5f, 0.658293843f, -0.82991159f, 1.3184135f}};
    TrackedController c = makeTrackedController(nullptr, 3);
    std::memcpy(c.poses[3].mDeviceToAbsoluteTracking.m, m, sizeof m);
    const PointingRay ray = pointingRay(c, 0.1f, -1.3f), tip = tipRay(c);
    const Vec3 got[3] = {ray.direction, {tip.origin.x, tip.origin.y, tip.origin.z}, tip.direction};
    const uint32_t want[3][3] = {{0xbcaf6460, 0x3fc030df, 0xbd9b61f0},
                                 {0x3e014849, 0xbeaf2182, 0x3fa64e34},
                                 {bits(-m[0][2]), bits(-m[1][2]), bits(-m[2][2])}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((std::array{bits(got[i].x), bits(got[i].y), bits(got[i].z)}),
                  (std::array{want[i][0], want[i][1], want[i][2]}))
            << i;
}

// --- Mapping, stabilization, buttons and pacing -----------------------------------------------------------

// What the frame sent to the desktop, in words: "left click", "right down", "wheel 15", "ctrl up".
std::string words(platform::MouseButton button, platform::ButtonAction action) {
    static const char* const kButtons[] = {"left", "right", "middle"};
    static const char* const kActions[] = {"click", "down", "up"};
    return std::string(kButtons[int(button)]) + " " + kActions[int(action)];
}

struct Recorder {
    std::vector<std::pair<int32_t, int32_t>> placed;
    std::vector<std::string> sent;
    std::vector<uint32_t> pulses; // the tick of each haptic pulse
    uint32_t now = 0;
    uint32_t wakes = 0;    // sleeps of either kind
    uint32_t early_ms = 0; // how long before its deadline sleep_until returns (a signal, no precise timer)
    PointerIo io() {
        PointerIo io;
        io.set_cursor_pos = [this](int32_t x, int32_t y) { return placed.emplace_back(x, y), true; };
        io.mouse_button = [this](auto button, auto action) { sent.push_back(words(button, action)); };
        io.mouse_wheel = [this](int32_t units) { sent.push_back("wheel " + std::to_string(units)); };
        io.key = [this](platform::Key key, bool press) {
            sent.push_back(std::string(platform::keyName(key)) + (press ? " down" : " up"));
        };
        io.haptic_pulse = [this](const TrackedController&, uint16_t us) {
            EXPECT_EQ(us, 1500);
            pulses.push_back(now);
        };
        io.tick_count = [this] { return now; };
        io.sleep_ms = [this](uint32_t ms) { now += ms, ++wakes; };
        io.sleep_until = [this](uint32_t due) {
            if (static_cast<int32_t>(due - now) > 0) // a deadline already due is no sleep
                now = due - early_ms, ++wakes;
        };
        return io;
    }
};

// A flat 1 m by 0.5 m screen facing the user, desktop pixels (left, 0) to (left + 1920, 1080).
DisplayPlane screen(float left) {
    return makeDisplayPlane({0, 1, -2}, {0, 0.5f, -2}, {1, 0.5f, -2}, {1, 1, -2}, left, 0, left + 1920, 1080);
}

TEST(Mapping, RaysMapToPixelsAndTheCurrentMonitorPinsThemToItsLastPixel) {
    DisplayPlane d = screen(-1920);
    auto map = [&](Vec3 origin, Vec3 direction) {
        const auto p = mapRayToDisplay(d, origin, direction);
        return p ? std::pair{p->x, p->y} : std::pair{NAN, NAN};
    };
    EXPECT_EQ(map({0.5f, 0.75f, 0}, {0, 0, -1}), std::pair(-960.0f, 540.0f));
    EXPECT_EQ(map({0, 1, 0}, {0, 0, -4}), std::pair(-1920.0f, 0.0f));
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(0.0f, 1080.0f))
        << "a new monitor's first hit is not clamped";
    EXPECT_TRUE(std::isnan(map({2, 0.75f, 0}, {0, 0, -1}).first)) << "outside, not current";
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, -3}, {0, 0, 1}).first)) << "from behind";
    EXPECT_EQ(map({0.5f, 0.75f, -3}, {0, 0, -1}), std::pair(-960.0f, 540.0f)) << "origin behind the screen";
    d.is_current = true;
    EXPECT_EQ(map({1, 0.5f, 0}, {0, 0, -1}), std::pair(-1.0f, 1079.0f));
    EXPECT_EQ(map({-5, 3, 0}, {0, 0, -1}), std::pair(-1920.0f, 0.0f));
    EXPECT_TRUE(std::isnan(map({0.5f, 0.75f, 0}, {1, 0, 0}).first)) << "parallel, even when current";
    EXPECT_TRUE(std::isnan(map({NAN, 0.75f, 0}, {0, 0, -1}).first)) << "a NaN pose is not pinned";
    EXPECT_EQ(truncateToPixel(-0.5f), 0);
    EXPECT_EQ(truncateToPixel(-1.5f), -1);
    EXPECT_EQ(truncateToPixel(2147483648.0f), std::nullopt);
    // Two monitors in the frame loop: the one the ray enters becomes current; overlapping entries both place.
    Recorder rec;
    CursorStabilizer direct = makeCursorStabilizer(5, false);
    std::vector<DisplayPlane> list = {screen(0), screen(1920)};
    pointAtDisplays(list, {{0.5f, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    EXPECT_TRUE(!list[0].is_current && list[1].is_current);
    list[0].is_current = true, list[1].is_current = false;
    pointAtDisplays(list, {{0.5f, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    pointAtDisplays(list, {{3, 0.75f, 0, 1}, {0, 0, -1}}, direct, rec.io());
    EXPECT_EQ(rec.placed,
              (decltype(rec.placed){{960, 540}, {2880, 540}, {960, 540}, {2880, 540}, {3839, 540}}));
    EXPECT_TRUE(list[1].is_current && !list[0].is_current);
}

TEST(Stabilizer, PlacesTheMeanOfTheRawPositionsTruncatedTowardZero) {
    // N = 1: the previous raw position and the new one; negative sums truncate toward zero (-5 / 2 is -2).
    Recorder rec;
    CursorStabilizer s = makeCursorStabilizer(1, true);
    for (auto [x, y] : {std::pair{100, 100}, {101, 100}, {-3, -3}, {-2, -2}})
        placeCursor(s, x, y, rec.io());
    EXPECT_EQ(rec.placed, (decltype(rec.placed){{50, 50}, {100, 100}, {49, 48}, {-2, -2}}));
}

struct Frame {
    uint32_t tick;
    float trigger;
    uint64_t buttons = 0;
    float pad_x = 0, pad_y = 0;
    bool tracked = true;
};
struct Played {
    std::vector<std::string> sent;
    std::vector<uint32_t> pulses;
    bool cursor_enabled;
};

// The frames through handleButtons (an untracked one lets go of what bindings hold, as the runner does),
// then the runner's stop.
Played play(const RunnerSettings& settings, std::vector<Frame> frames, float start_trigger = 0) {
    TrackedController c = makeTrackedController(nullptr, 1);
    ButtonState state;
    Recorder rec;
    frames.insert(frames.begin(), Frame{0, start_trigger});
    for (const Frame& f : frames) {
        c.previous_state = c.state;
        c.state.rAxis[1].x = f.trigger;
        c.state.ulButtonPressed = f.buttons;
        c.state.rAxis[0] = {f.pad_x, f.pad_y};
        rec.now = f.tick;
        if (f.tracked)
            handleButtons(c, settings, state, rec.io());
        else
            releaseBindings(settings, state, rec.io());
    }
    releaseEverything(settings, state, rec.io());
    return {rec.sent, rec.pulses, state.cursor_enabled};
}

RunnerSettings handed(int32_t handedness, uint16_t haptic_click_us = 0) {
    RunnerSettings settings{200, handedness, false, 0, 0, 0};
    settings.haptic_click_us = haptic_click_us;
    return settings;
}

using Sent = std::vector<std::string>;

TEST(Buttons, TriggerClicksAndDragsOnTheTickAndEveryOtherButtonActsOnItsEdge) {
    // A release before any held frame began the drag clicks, however long after the threshold it is seen.
    EXPECT_EQ(play(handed(1), {{1000, 1}, {1199, 0}}).sent, Sent{"left click"});
    EXPECT_EQ(play(handed(1), {{1000, 1}, {1200, 1}, {1205, 0}}).sent, Sent{"left click"});
    EXPECT_EQ(play(handed(2), {{1000, 1}, {1201, 1}, {1202, 1}, {1300, 0}}).sent,
              (Sent{"right down", "right up"}));
    EXPECT_EQ(play(handed(3), {{1000, 1}, {1100, 0}, {1200, 1}, {1500, 1}, {1600, 0}}).sent, Sent{});
    // The tick wraps: the difference is unsigned.
    EXPECT_EQ(play(handed(1), {{0xFFFFFFF0u, 1}, {40, 0}}).sent, Sent{"left click"});
    // Held when the loop starts: neither clicks nor drags until it has been seen released.
    EXPECT_EQ(play(handed(1), {{500, 1}, {900, 0}, {950, 1}, {990, 0}}, 1).sent, Sent{"left click"});
    // Stopping ends a drag, also one whose release came while untracked (the runner's lost frames end
    // that one at once: the end-to-end tests). No haptics asked for, none sent.
    const Played untracked = play(handed(1), {{100, 1}, {400, 1}, {500, 0, 0, 0, 0, false}, {600, 0}});
    EXPECT_EQ(untracked.sent, (Sent{"left down", "left up"}));
    EXPECT_TRUE(untracked.pulses.empty());
    EXPECT_EQ(play(handed(1), {{100, 1}, {400, 1}}).sent, (Sent{"left down", "left up"}));
    // Grip, menu, wheel, touchpad halves (the primary half double-clicks; x = 0 is in both halves). A pulse
    // for each click, one for a double click, none for the wheel, none for a second click in 5 ms.
    const Played played = play(handed(1, 1500), {{10, 0, kGrip},
                                                 {20, 0, kGrip | kMenu},
                                                 {30, 0, 0, 0.0f, 0.5f},
                                                 {40, 0, 0, 0.4f, -1.0f},
                                                 {50, 0, 0, 0.6f, 0.5f},
                                                 {60, 0, kPad, 0.0f, 0.9f},
                                                 {70, 0, 0, 0.0f, 0.0f},
                                                 {80, 0, kPad, 0.7f, 0.2f},
                                                 {90, 0, kPad, 0, 0}});
    EXPECT_FALSE(played.cursor_enabled);
    EXPECT_EQ(played.sent, (Sent{"middle click", "wheel 15", "wheel -30", "left click", "left click",
                                 "right click", "right click"}));
    EXPECT_EQ(played.pulses, (std::vector<uint32_t>{10, 60, 80}));
    EXPECT_EQ(play(handed(2), {{10, 0, kPad, -0.2f, 0.1f}, {20, 0, 0, 0, 0}, {30, 0, kPad, 0.2f, 0.1f}}).sent,
              (Sent{"left click", "right click", "right click"}));
}

TEST(Bindings, ControlsHoldKeysAndButtonsWhileHeldAndLetGoWhenTheirReleaseCannotBeSeen) {
    const ConfigRead read = parseConfigText(R"({"handedness": 1, "haptics": {"click_us": 1500},
        "trigger": {"dragging_threshold_ms": 200}, "bindings": {"trigger": "left", "grip": "key:ctrl+alt+t",
        "menu": "double", "pad_left": "key:page_up", "pad_right": "toggle", "pad_centre": "key:shift"}})");
    ASSERT_TRUE(read.contents) << read.message;
    const Played played =
        play(read.contents->settings, {{10, 1, kGrip}, // the left button at once, no threshold
                                       {15, 1, 0},
                                       {20, 0, kMenu},
                                       {30, 0, kPad, -0.5f, 0.2f},
                                       {40, 0, kPad, -0.5f, 0.2f, false}, // untracked
                                       {50, 0, kPad, -0.5f, 0.2f},        // not seen released: nothing
                                       {60, 0, 0, 0.1f, 0.3f},            // resting on the strip
                                       {65, 1, 0, 0.1f, 0.3f},
                                       {70, 1, kPad, 0.5f, 0.2f}, // the cursor switched off
                                       {80, 1, kGrip, 0, 0},
                                       {90, 0, 0, 0, 0}});
    EXPECT_EQ(played.sent,
              (Sent{"ctrl down",  "alt down",   "t down",     "left down", "t up",         "alt up",
                    "ctrl up",    "left click", "left click", "left up",   "page_up down", "page_up up",
                    "shift down", "left down",  "shift up",   "left up",   "ctrl down",    "alt down",
                    "t down",     "t up",       "alt up",     "ctrl up"}));
    EXPECT_EQ(played.pulses, (std::vector<uint32_t>{10, 20, 30, 60, 65, 80})) << "one per press, one in 5 ms";
    EXPECT_FALSE(played.cursor_enabled);
}

TEST(FramePacing, FramesStartAtLeastFiveTicksApartAcrossTheWrapAfterOneSleepEach) {
    for (uint32_t start : {1000u, 0xFFFFFFFEu}) {
        Recorder rec;
        rec.now = start;
        uint32_t frame_start = start;
        for (int i = 0; i < 4; ++i) {
            rec.early_ms = i == 3 ? 2 : 0; // the last sleep cut short: the rest in 1 ms steps
            const uint32_t before = frame_start;
            paceFrame(frame_start, rec.io());
            EXPECT_EQ(frame_start - before, 5u);
        }
        EXPECT_EQ(rec.wakes, 3u + 3u);
        rec.now += 12; // a long frame: the next one starts at once
        paceFrame(frame_start, rec.io());
        EXPECT_EQ(frame_start, rec.now);
    }
}

// --- The configurator's arithmetic and dialogue
// -------------------------------------------------------------

TEST(Dialogue, AnswersAreTheIntegerAtEachTokensStartAndOrdinalsAreEnglish) {
    std::istringstream in("2x +2 2.7 -1 abc 99999999999 \n\n  1\t" + std::string(10000, '7') + " 3");
    std::vector<int> answers;
    while (const auto choice = readChoice(in))
        answers.push_back(*choice);
    EXPECT_EQ(answers, (std::vector<int>{2, 2, 2, -1, 0, 0, 1, 0, 3}));
    std::string ordinals;
    for (int i : {1, 2, 3, 4, 10, 11, 12, 13, 21, 22, 23, 101, 111, 112})
        ordinals += ordinalText(i) + " ";
    EXPECT_EQ(ordinals, "1st 2nd 3rd 4th 10th 11th 12th 13th 21st 22nd 23rd 101st 111th 112th ");
}

TEST(DesktopLayout, MonitorsAreSortedFromLeftToRightAndHashed) {
    EXPECT_EQ(makeDesktopLayout(1920, 1080, {{0, 0, 1920, 1080}}).display_hash, "192010800192010800");
    const DesktopLayout two = makeDesktopLayout(3200, 1080, {{0, 0, 1920, 1080}, {-1280, 0, 0, 1024}});
    EXPECT_EQ(two.display_hash, "32001080-12800102400192010800");
    // Stacked monitors (the same left edge) keep the order they were reported in.
    const DesktopLayout stacked = makeDesktopLayout(10, 20, {{5, 9, 6, 10}, {0, 10, 5, 20}, {0, 0, 5, 10}});
    EXPECT_EQ(stacked.monitors, (std::vector<MonitorInfo>{{0, 10, 5, 20}, {0, 0, 5, 10}, {5, 9, 6, 10}}));
    EXPECT_EQ(makeDesktopLayout(0, 0, {}).display_hash, "00");
}

// --- Controller selection against the simulated runtime ----------------------------------------------------

TEST(Selection, TheControllerWhoseTriggerIsPulledComesFirst) {
    struct Case {
        const char* scenario;
        std::vector<uint32_t> chosen;
    };
    const Case cases[] = {
        {"device 0 hmd\ndevice 3 controller\ndevice 4 tracker\n", {3}},
        {"device 1 controller\ndevice 2 controller\nstep polls=6\nstep\n  2 trigger 0.9\n", {2, 1}},
        {"device 1 controller\ndevice 2 controller\nstep polls=4\n  1 trigger 0.3\nstep\n  2 trigger 0.31\n",
         {2, 1}},
        {"device 1 controller\ndevice 2 controller\nstep\n  1 trigger 1\n  2 trigger 1\n", {1, 2}},
        {"device 2 controller\ndevice 15 controller\nstep polls=3\n  15 trigger 1\n", {15, 2}},
    };
    useVrLibrary(simVrLibrary());
    for (const Case& c : cases) {
        simLoadScenarioText(c.scenario);
        const VrStartup vr = startVr();
        ASSERT_EQ(vr.error, vr::VRInitError_None);
        std::vector<uint32_t> chosen;
        for (const TrackedController& t : selectControllers(vr.system, 1, {"primary"}))
            chosen.push_back(t.device_index);
        EXPECT_EQ(chosen, c.chosen) << c.scenario;
    }
}

} // namespace
