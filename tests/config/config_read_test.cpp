// Reading "default.config" as the runner does.
#include "config/config_file.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

uint32_t bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

CalibratedMonitor squareMonitor(MonitorInfo rect, std::array<Vec3, 4> corners) {
    return {rect, corners};
}

// The corners read back from a written file are the very floats that were measured.
void expectSameBits(const std::vector<CalibratedMonitor>& written, const ConfigContents& read) {
    ASSERT_EQ(read.displays.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        for (size_t c = 0; c < 4; ++c) {
            const Vec3& w = written[i].corners[c];
            const Vec3& r = read.displays[i].corners[c];
            EXPECT_EQ(bits(r.x), bits(w.x)) << "display " << i << " corner " << c << " x " << w.x;
            EXPECT_EQ(bits(r.y), bits(w.y)) << "display " << i << " corner " << c << " y " << w.y;
            EXPECT_EQ(bits(r.z), bits(w.z)) << "display " << i << " corner " << c << " z " << w.z;
        }
        EXPECT_EQ(read.displays[i].left, static_cast<float>(written[i].rect.left));
        EXPECT_EQ(read.displays[i].top, static_cast<float>(written[i].rect.top));
        EXPECT_EQ(read.displays[i].right, static_cast<float>(written[i].rect.right));
        EXPECT_EQ(read.displays[i].bottom, static_cast<float>(written[i].rect.bottom));
    }
}

TEST(ConfigRead, WrittenFileReadsBackBitExact) {
    const float denormal = std::numeric_limits<float>::denorm_min();
    const std::vector<CalibratedMonitor> monitors = {
        squareMonitor({-1280, -24, 0, 1000}, {{{0.1f, 1e-5f, denormal},
                                               {-0.0f, FLT_MAX, -FLT_MAX},
                                               {3e-39f, FLT_MIN, -denormal},
                                               {0.0f, -2.0f, 16777216.0f}}}),
        // Corners of a real calibration by pointing.
        squareMonitor({0, 0, 1920, 1080}, {{{-0.48317432f, 1.2716345f, -0.70251977f},
                                            {-0.48522118f, 0.93817925f, -0.71340036f},
                                            {0.11420935f, 0.93126774f, -0.72931457f},
                                            {0.11689812f, 1.2649786f, -0.71850324f}}}),
        squareMonitor({1920, 0, 4480, 1440}, {{{0.30000001f, 0.077f, 0.038f},
                                               {1.0f / 3.0f, -1.0f / 7.0f, 1e-38f},
                                               {123456.79f, -9.9999997e-10f, 2.5e-41f},
                                               {1e17f, -1e18f, 99999998430674944.0f}}}),
    };
    TempFolder folder;
    const std::string path = folder.file("default.config");
    ASSERT_EQ(writeConfigFile(monitors, "hash", 2, path), "");
    const std::optional<ConfigContents> read = readConfigFile(path);
    ASSERT_TRUE(read.has_value());
    expectSameBits(monitors, *read);
    EXPECT_EQ(read->settings.dragging_threshold_ms, 200);
    EXPECT_EQ(read->settings.handedness, 2);
    EXPECT_EQ(read->click_detection_threshold, 10);
    EXPECT_FALSE(read->settings.stabilization_enable);
    EXPECT_EQ(read->settings.average_of_N_previous_positions, 5);
    EXPECT_EQ(bits(read->settings.controller_angle_offset_x), bits(0.0f));
    EXPECT_EQ(bits(read->settings.controller_angle_offset_y), bits(0.0f));
    EXPECT_TRUE(read->has_display_hash);
    EXPECT_EQ(read->display_hash, "hash");
}

TEST(ConfigRead, NonFiniteCornersReadAsInfinitiesAndZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::string text = configText(
        {squareMonitor({0, 0, 1, 1}, {{{inf, -inf, std::numeric_limits<float>::quiet_NaN()}, {}, {}, {}}})},
        "", 1);
    ASSERT_NE(text.find("\"x\" : 1e+9999,"), std::string::npos);
    ASSERT_NE(text.find("\"y\" : -1e+9999,"), std::string::npos);
    ASSERT_NE(text.find("\"z\" : null\n"), std::string::npos);
    const ConfigContents read = parseConfigText(text);
    EXPECT_EQ(read.displays.at(0).corners[0].x, inf);
    EXPECT_EQ(read.displays.at(0).corners[0].y, -inf);
    EXPECT_EQ(bits(read.displays.at(0).corners[0].z), 0u);

    // Overflowing numbers anywhere read as infinities; the same text inside strings and comments is left
    // alone.
    const ConfigContents edited = parseConfigText("// 1e+9999\n{\"controller_angle_offset\":{\"x\":-2e308,"
                                                  "\"y\":1E400},\"displayhash\":\"1e+9999\" /* -1e999 */}");
    EXPECT_EQ(edited.settings.controller_angle_offset_x, -inf);
    EXPECT_EQ(edited.settings.controller_angle_offset_y, inf);
    EXPECT_EQ(edited.display_hash, "1e+9999");
    EXPECT_THROW(parseConfigText("{\"handedness\":1e+9999}"), Json::LogicError);
}

TEST(ConfigRead, ErrorPositionsSurviveInfiniteValues) {
    try {
        parseConfigText("{\"a\":1e+9999, x}");
        FAIL() << "no parse error";
    } catch (const Json::RuntimeError& error) {
        EXPECT_NE(std::string(error.what()).find("Line 1, Column 15"), std::string::npos) << error.what();
    }
}

TEST(ConfigRead, MissingMembersReadAsZero) {
    const ConfigContents empty = parseConfigText("{}");
    EXPECT_TRUE(empty.displays.empty());
    EXPECT_EQ(empty.settings.dragging_threshold_ms, 0);
    EXPECT_EQ(empty.settings.handedness, 0);
    EXPECT_FALSE(empty.settings.stabilization_enable);
    EXPECT_EQ(empty.settings.average_of_N_previous_positions, 0);
    EXPECT_EQ(empty.settings.controller_angle_offset_x, 0.0f);
    EXPECT_EQ(empty.settings.controller_angle_offset_y, 0.0f);
    EXPECT_EQ(empty.click_detection_threshold, 0);
    EXPECT_FALSE(empty.has_display_hash);

    EXPECT_TRUE(parseConfigText("null").displays.empty());

    const ConfigContents partial = parseConfigText(
        "{\"display\":[{\"v0\":{\"x\":1.5},\"v2\":{},\"left\":-10,\"bottom\":5}, null],\"trigger\":{}}");
    ASSERT_EQ(partial.displays.size(), 2u);
    const DisplayEntry& first = partial.displays[0];
    EXPECT_EQ(first.corners[0].x, 1.5f);
    EXPECT_EQ(first.corners[0].y, 0.0f);
    EXPECT_EQ(first.corners[1].x, 0.0f);
    EXPECT_EQ(first.corners[3].z, 0.0f);
    EXPECT_EQ(first.left, -10.0f);
    EXPECT_EQ(first.top, 0.0f);
    EXPECT_EQ(first.right, 0.0f);
    EXPECT_EQ(first.bottom, 5.0f);
    EXPECT_EQ(partial.displays[1].right, 0.0f);
}

TEST(ConfigRead, DisplayCount) {
    EXPECT_TRUE(parseConfigText("{\"display\":[]}").displays.empty());
    EXPECT_TRUE(parseConfigText("{\"display\":{}}").displays.empty());
    EXPECT_TRUE(parseConfigText("{\"display\":7}").displays.empty());
    EXPECT_TRUE(parseConfigText("{\"display\":\"two\"}").displays.empty());
    EXPECT_EQ(parseConfigText("{\"display\":[{},{},{}]}").displays.size(), 3u);
    try {
        parseConfigText("{\"display\":{\"a\":{}}}");
        FAIL() << "an object display was indexed by number";
    } catch (const Json::LogicError& error) {
        EXPECT_STREQ(error.what(), "in Json::Value::operator[](ArrayIndex): requires arrayValue");
    }
}

TEST(ConfigRead, EnableConvertsLikeABool) {
    for (const char* on : {"true", "1", "2.5", "-1"}) {
        EXPECT_TRUE(parseConfigText(std::string("{\"stabilization\":{\"enable\":") + on + "}}")
                        .settings.stabilization_enable)
            << on;
    }
    for (const char* off : {"false", "0", "0.0", "null"}) {
        EXPECT_FALSE(parseConfigText(std::string("{\"stabilization\":{\"enable\":") + off + "}}")
                         .settings.stabilization_enable)
            << off;
    }
    EXPECT_FALSE(parseConfigText("{\"stabilization\":{}}").settings.stabilization_enable);
}

TEST(ConfigRead, HandEditedValues) {
    const ConfigContents read = parseConfigText("{\"trigger\":{\"dragging_threshold_ms\":150.9,"
                                                "\"click_detection_threshold\":-3},\"handedness\":2,"
                                                "\"stabilization\":{\"average_of_N_previous_positions\":12},"
                                                "\"controller_angle_offset\":{\"x\":-1.3,\"y\":-5}}");
    EXPECT_EQ(read.settings.dragging_threshold_ms, 150);
    EXPECT_EQ(read.click_detection_threshold, -3);
    EXPECT_EQ(read.settings.handedness, 2);
    EXPECT_EQ(read.settings.average_of_N_previous_positions, 12);
    EXPECT_EQ(bits(read.settings.controller_angle_offset_x), bits(-1.3f));
    EXPECT_EQ(read.settings.controller_angle_offset_y, -5.0f);
}

TEST(ConfigRead, SecondValueAfterRootIsIgnored) {
    const ConfigContents read = parseConfigText("{\"handedness\":2}\n{\"handedness\":1} trailing words");
    EXPECT_EQ(read.settings.handedness, 2);
}

TEST(ConfigRead, DisplayHashOnlyWhenAString) {
    EXPECT_EQ(parseConfigText("{\"displayhash\":\"19201080\"}").display_hash, "19201080");
    const ConfigContents number = parseConfigText("{\"displayhash\":19201080}");
    EXPECT_FALSE(number.has_display_hash);
    EXPECT_EQ(number.display_hash, "");
    EXPECT_FALSE(parseConfigText("{\"displayhash\":{\"a\":1}}").has_display_hash);
}

TEST(ConfigRead, WrongTypesRaiseLogicErrors) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"{\"controller_angle_offset\":{\"x\":\"-1.3\"}}", "Value is not convertible to float."},
        {"{\"display\":[{\"v1\":{\"y\":[1]}}]}", "Value is not convertible to float."},
        {"{\"display\":[{\"top\":\"0\"}]}", "Value is not convertible to Int."},
        {"{\"handedness\":{}}", "Value is not convertible to Int."},
        {"{\"trigger\":{\"dragging_threshold_ms\":3000000000}}", nullptr},
        {"{\"trigger\":{\"click_detection_threshold\":1e10}}", "double out of Int range"},
        {"{\"stabilization\":{\"enable\":\"yes\"}}", "Value is not convertible to bool."},
        {"{\"stabilization\":7}", nullptr},
        {"{\"display\":[3]}", nullptr},
        {"[1, 2]", nullptr},
        {"42", nullptr},
    };
    for (const Case& c : cases) {
        try {
            parseConfigText(c.text);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const Json::LogicError& error) {
            if (c.message != nullptr) {
                EXPECT_STREQ(error.what(), c.message) << c.text;
            }
        }
    }
}

TEST(ConfigRead, ParseErrorsRaiseRuntimeErrorsAndArePrinted) {
    for (const char* text : {"", "   \n", "{\"handedness\":1", "{\"a\" 1}", "'single'", "Infinity"}) {
        EXPECT_THROW(parseConfigText(text), Json::RuntimeError) << text;
    }

    TempFolder folder;
    const std::string path = folder.file("default.config");
    writeBytes(path, "");
    testing::internal::CaptureStderr();
    std::string message;
    try {
        readConfigFile(path);
    } catch (const Json::RuntimeError& error) {
        message = error.what();
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_FALSE(message.empty());
    EXPECT_NE(message.find("Syntax error: value, object or array expected."), std::string::npos) << message;
    EXPECT_EQ(printed, "Error from reader: " + message);
}

TEST(ConfigRead, MissingFileIsReportedToTheCaller) {
    TempFolder folder;
    EXPECT_FALSE(readConfigFile(folder.file("default.config")).has_value());
    EXPECT_FALSE(readConfigFile(folder.path.string()).has_value());
}

TEST(ConfigRead, CarriageReturnLineEndsAreAccepted) {
    std::string text =
        configText({squareMonitor({0, 0, 640, 480}, {{{0.5f, 1.0f, -1.0f}, {}, {}, {}}})}, "h", 2);
    std::string crlf;
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    TempFolder folder;
    writeBytes(folder.file("default.config"), crlf);
    const std::optional<ConfigContents> read = readConfigFile(folder.file("default.config"));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->displays.size(), 1u);
    EXPECT_EQ(read->displays[0].corners[0].x, 0.5f);
    EXPECT_EQ(read->displays[0].right, 640.0f);
    EXPECT_EQ(read->settings.handedness, 2);
    EXPECT_EQ(read->display_hash, "h");
}

} // namespace
