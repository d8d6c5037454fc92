// Bad and odd "default.config" texts as the reader meets them: each is either read with a definite
// meaning or refused with JsonCpp's error, never half read. What the programs make of them is checked
// end to end in pointer_faults_test.cpp.
#include "config/config_file.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

CalibratedMonitor monitor(int32_t left, float x) {
    return {{left, 0, left + 1920, 1080},
            {{{x, 1.25f, -0.75f}, {x, 0.91f, -0.75f}, {x + 0.6f, 0.91f, -0.75f}, {x + 0.6f, 1.25f, -0.75f}}}};
}

std::string parseError(const std::string& text) {
    try {
        parseConfigText(text);
    } catch (const Json::RuntimeError& error) {
        return error.what();
    }
    return "";
}

TEST(BadConfigText, EveryTruncationOfAWrittenFileIsAParseError) {
    const std::string text = configText({monitor(0, -0.5f), monitor(1920, 0.1f)}, "hash", 2);
    for (size_t length = 0; length < text.size(); ++length)
        EXPECT_NE(parseError(text.substr(0, length)), "") << "cut after " << length << " bytes";
    EXPECT_EQ(parseConfigText(text).displays.size(), 2u);
}

TEST(BadConfigText, NestingPastTheStackLimitIsAParseError) {
    for (size_t depth : {1001u, 100000u}) {
        const std::string arrays = std::string(depth, '[') + std::string(depth, ']');
        EXPECT_NE(parseError(arrays).find("Exceeded stackLimit"), std::string::npos) << depth;
        const std::string members = "{\"display\":" + std::string(depth, '[');
        EXPECT_NE(parseError(members).find("Exceeded stackLimit"), std::string::npos) << depth;
    }
    // Below the limit the document parses, and a nested array where a display belongs is a type error.
    const std::string nested = "{\"display\":" + std::string(900, '[') + std::string(900, ']') + "}";
    EXPECT_THROW(parseConfigText(nested), Json::LogicError);
}

TEST(BadConfigText, TenThousandDisplaysAreAllReadInOrder) {
    std::vector<CalibratedMonitor> monitors;
    for (int i = 0; i < 10000; ++i)
        monitors.push_back(monitor(i * 1920, static_cast<float>(i)));
    const ConfigContents read = parseConfigText(configText(monitors, "h", 1));
    ASSERT_EQ(read.displays.size(), 10000u);
    EXPECT_EQ(read.displays[9999].left, 9999.0f * 1920.0f);
    EXPECT_EQ(read.displays[9999].corners[0].x, 9999.0f);
    EXPECT_EQ(read.settings.handedness, 1);
}

TEST(BadConfigText, ByteOrderMarkAndCarriageReturnsReadLikeThePlainFile) {
    const std::string plain = configText({monitor(-1920, -0.5f)}, "h", 2);
    std::string crlf;
    for (char c : plain)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {"\xEF\xBB\xBF" + plain, "\xEF\xBB\xBF" + crlf}) {
        const ConfigContents read = parseConfigText(text);
        ASSERT_EQ(read.displays.size(), 1u);
        EXPECT_EQ(read.displays[0].left, -1920.0f);
        EXPECT_EQ(read.displays[0].corners[2].x, -0.5f + 0.6f);
        EXPECT_EQ(read.settings.handedness, 2);
        EXPECT_EQ(read.settings.dragging_threshold_ms, 200);
    }
    // A mark anywhere but at the start is not white space.
    EXPECT_NE(parseError("\xEF\xBB\xBF\xEF\xBB\xBF{}"), "");
    EXPECT_NE(parseError("{\"handedness\" :\xEF\xBB\xBF 1}"), "");
}

TEST(BadConfigText, OutOfRangeNumbersAreInfiniteRealsAndRefusedIntegers) {
    const float inf = std::numeric_limits<float>::infinity();
    const ConfigContents read =
        parseConfigText("{\"display\":[{\"v0\":{\"x\":1e400,\"y\":-1e400,\"z\":null},\"v3\":null}]}");
    ASSERT_EQ(read.displays.size(), 1u);
    EXPECT_EQ(read.displays[0].corners[0].x, inf);
    EXPECT_EQ(read.displays[0].corners[0].y, -inf);
    EXPECT_EQ(read.displays[0].corners[0].z, 0.0f);
    EXPECT_EQ(read.displays[0].corners[3].x, 0.0f);
    // A real beyond float but within double also becomes an infinity when narrowed.
    EXPECT_EQ(
        parseConfigText("{\"controller_angle_offset\":{\"y\":1e300}}").settings.controller_angle_offset_y,
        inf);

    for (const char* text :
         {"{\"handedness\":1e400}", "{\"handedness\":4294967297}", "{\"display\":[{\"left\":-2147483649}]}",
          "{\"trigger\":{\"dragging_threshold_ms\":"
          "18446744073709551616}}",
          "{\"stabilization\":{\"average_of_N_previous_positions\":2147483648}}"}) {
        EXPECT_THROW(parseConfigText(text), Json::LogicError) << text;
    }
    EXPECT_EQ(parseConfigText("{\"display\":[{\"left\":-2147483648,\"right\":2147483647}]}").displays[0].left,
              -2147483648.0f);
}

} // namespace
