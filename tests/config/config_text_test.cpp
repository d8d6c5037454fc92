// The file's text, compared with bytes built here independently of JsonCpp.
#include "config/config_file.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

const std::string kComment =
    "// Used to change the pointing angle of the controller. For a typical gungrip hold try "
    "values between -1.3 and -5 for 'y' first. The config program ignores this value.";

CalibratedMonitor monitor(MonitorInfo rect, Vec3 v0, Vec3 v1, Vec3 v2, Vec3 v3) {
    return CalibratedMonitor{rect, {v0, v1, v2, v3}};
}

std::string realText(float f) {
    if (std::isnan(f)) {
        return "null";
    }
    if (std::isinf(f)) {
        return f > 0 ? "1e+9999" : "-1e+9999";
    }
    if (f == 0.0f && std::signbit(f)) {
        return "-0.0"; // the one real kept apart from %.17g, so that its sign survives reading
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(f));
    return buffer;
}

std::string tabs(int n) {
    return std::string(static_cast<size_t>(n), '\t');
}

std::string expectedText(const std::vector<CalibratedMonitor>& monitors, const std::string& hash,
                         int handedness) {
    std::string s = "{\n";
    s += tabs(1) + "\"controller_angle_offset\" : \n" + tabs(1) + "{\n";
    s += tabs(2) + "\"x\" : 0,\n" + tabs(2) + "\"y\" : 0\n" + tabs(2) + kComment + "\n";
    s += tabs(1) + "},\n";
    if (!monitors.empty()) {
        s += tabs(1) + "\"display\" : \n" + tabs(1) + "[\n";
        for (size_t i = 0; i < monitors.size(); ++i) {
            const CalibratedMonitor& m = monitors[i];
            s += tabs(2) + "{\n";
            s += tabs(3) + "\"bottom\" : " + std::to_string(m.rect.bottom) + ",\n";
            s += tabs(3) + "\"left\" : " + std::to_string(m.rect.left) + ",\n";
            s += tabs(3) + "\"right\" : " + std::to_string(m.rect.right) + ",\n";
            s += tabs(3) + "\"top\" : " + std::to_string(m.rect.top) + ",\n";
            for (int c = 0; c < 4; ++c) {
                const Vec3& v = m.corners[static_cast<size_t>(c)];
                s += tabs(3) + "\"v" + std::to_string(c) + "\" : \n" + tabs(3) + "{\n";
                s += tabs(4) + "\"x\" : " + realText(v.x) + ",\n";
                s += tabs(4) + "\"y\" : " + realText(v.y) + ",\n";
                s += tabs(4) + "\"z\" : " + realText(v.z) + "\n";
                s += tabs(3) + "}" + (c < 3 ? "," : "") + "\n";
            }
            s += tabs(2) + "}" + (i + 1 < monitors.size() ? "," : "") + "\n";
        }
        s += tabs(1) + "],\n";
    }
    s += tabs(1) + "\"displayhash\" : \"" + hash + "\",\n";
    s += tabs(1) + "\"handedness\" : " + std::to_string(handedness) + ",\n";
    s += tabs(1) + "\"stabilization\" : \n" + tabs(1) + "{\n";
    s += tabs(2) + "\"average_of_N_previous_positions\" : 5,\n" + tabs(2) + "\"enable\" : 0\n";
    s += tabs(1) + "},\n";
    s += tabs(1) + "\"trigger\" : \n" + tabs(1) + "{\n";
    s += tabs(2) + "\"click_detection_threshold\" : 10,\n" + tabs(2) + "\"dragging_threshold_ms\" : 200\n";
    s += tabs(1) + "}\n}";
    return s;
}

TEST(ConfigText, ExampleFileByteForByte) {
    const std::vector<CalibratedMonitor> monitors = {monitor({0, 0, 1920, 1080}, {-0.5f, 1.25f, -0.75f},
                                                             {-0.5f, 0.91f, -0.75f}, {0.1f, 0.91f, -0.75f},
                                                             {0.1f, 1.25f, -0.75f})};
    const std::string expected =
        "{\n"
        "\t\"controller_angle_offset\" : \n"
        "\t{\n"
        "\t\t\"x\" : 0,\n"
        "\t\t\"y\" : 0\n"
        "\t\t// Used to change the pointing angle of the controller. For a typical gungrip "
        "hold try values between -1.3 and -5 for 'y' first. The config program ignores "
        "this value.\n"
        "\t},\n"
        "\t\"display\" : \n"
        "\t[\n"
        "\t\t{\n"
        "\t\t\t\"bottom\" : 1080,\n"
        "\t\t\t\"left\" : 0,\n"
        "\t\t\t\"right\" : 1920,\n"
        "\t\t\t\"top\" : 0,\n"
        "\t\t\t\"v0\" : \n"
        "\t\t\t{\n"
        "\t\t\t\t\"x\" : -0.5,\n"
        "\t\t\t\t\"y\" : 1.25,\n"
        "\t\t\t\t\"z\" : -0.75\n"
        "\t\t\t},\n"
        "\t\t\t\"v1\" : \n"
        "\t\t\t{\n"
        "\t\t\t\t\"x\" : -0.5,\n"
        "\t\t\t\t\"y\" : 0.9100000262260437,\n"
        "\t\t\t\t\"z\" : -0.75\n"
        "\t\t\t},\n"
        "\t\t\t\"v2\" : \n"
        "\t\t\t{\n"
        "\t\t\t\t\"x\" : 0.10000000149011612,\n"
        "\t\t\t\t\"y\" : 0.9100000262260437,\n"
        "\t\t\t\t\"z\" : -0.75\n"
        "\t\t\t},\n"
        "\t\t\t\"v3\" : \n"
        "\t\t\t{\n"
        "\t\t\t\t\"x\" : 0.10000000149011612,\n"
        "\t\t\t\t\"y\" : 1.25,\n"
        "\t\t\t\t\"z\" : -0.75\n"
        "\t\t\t}\n"
        "\t\t}\n"
        "\t],\n"
        "\t\"displayhash\" : \"192010800192010800\",\n"
        "\t\"handedness\" : 1,\n"
        "\t\"stabilization\" : \n"
        "\t{\n"
        "\t\t\"average_of_N_previous_positions\" : 5,\n"
        "\t\t\"enable\" : 0\n"
        "\t},\n"
        "\t\"trigger\" : \n"
        "\t{\n"
        "\t\t\"click_detection_threshold\" : 10,\n"
        "\t\t\"dragging_threshold_ms\" : 200\n"
        "\t}\n"
        "}";
    EXPECT_EQ(configText(monitors, "192010800192010800", 1), expected);
    EXPECT_EQ(kComment.size(), 167u);
}

TEST(ConfigText, LayoutsWithNegativeCoordinatesMatchIndependentText) {
    const float third = 1.0f / 3.0f;
    const std::vector<std::vector<CalibratedMonitor>> layouts = {
        // Left monitor of a two-monitor desktop lies left of the primary.
        {monitor({-1280, 0, 0, 1024}, {-1.2f, 1.4f, -0.9f}, {-1.2f, 0.95f, -0.9f}, {-0.6f, 0.95f, -1.0f},
                 {-0.6f, 1.4f, -1.0f}),
         monitor({0, 0, 1920, 1080}, {-0.55f, 1.3f, -1.1f}, {-0.55f, 0.9f, -1.1f}, {0.2f, 0.9f, -1.05f},
                 {0.2f, 1.3f, -1.05f})},
        // Three monitors, one above and left of the primary, values with long and exponent forms.
        {monitor({-1920, -200, 0, 880}, {-2.0f, 2.0f, 0.0f}, {1e-5f, third, -third},
                 {16777216.0f, -3.0f, 12.5f}, {-0.0f, 1.2339999557298142e-05f, 123456.789f}),
         monitor({0, 0, 2560, 1440}, {0.30000001192092896f, -1.0f, 1e10f}, {3e-39f, FLT_MIN, FLT_MAX},
                 {-FLT_MAX, 1e-45f, 0.077f}, {0.038f, 7.0f, -7.5f}),
         monitor({2560, -1080, 4480, 0}, {0.1f, 0.2f, 0.3f}, {-0.1f, -0.2f, -0.3f},
                 {100.0f, -100.0f, 4096.5f}, {9.99999e16f, 1e17f, -1e18f})},
        // A degenerate calibration: non-finite corners.
        {monitor({0, 0, 800, 600},
                 {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                  std::numeric_limits<float>::quiet_NaN()},
                 {1.0f, 1.0f, 1.0f}, {2.0f, 2.0f, 2.0f}, {3.0f, 3.0f, 3.0f})},
    };
    const std::string hashes[] = {"1280102401920108001", "4480252002560144012800", "8006000800600"};
    for (size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string& hash = hashes[i];
        EXPECT_EQ(configText(layouts[i], hash, static_cast<int>(i % 2) + 1),
                  expectedText(layouts[i], hash, static_cast<int>(i % 2) + 1));
    }
}

TEST(ConfigText, StringsAreEscaped) {
    const std::string text = configText({}, "a\"b\\c", 1);
    EXPECT_NE(text.find("\"displayhash\" : \"a\\\"b\\\\c\",\n"), std::string::npos);
}

} // namespace
