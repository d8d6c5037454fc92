// wandsetup.exe under Wine on a desktop with a monitor left of the primary one: a scripted user
// calibrates both monitors by touch, and the file comes out as Windows writes it.
#include "tests/win/wine_session.h"
#include "tests/win/wine_test_data.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <sstream>

namespace {

using namespace winetest;

struct Corner {
    float x, y, z;
};

// The corners of twoMonitorConfig(), left monitor first, each in the order upper left, lower left,
// lower right, upper right.
const Corner kCorners[2][4] = {
    {{-2.5f, 2.0f, -1.0f}, {-2.5f, 0.0f, -1.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 2.0f, -1.0f}},
    {{0.5f, 2.0f, -1.0f}, {0.5f, 0.0f, -1.0f}, {3.5f, 0.0f, -1.0f}, {3.5f, 2.0f, -1.0f}}};

// The user touches each corner with the controller's tip and presses the application button.
std::string touchAllCorners() {
    std::ostringstream s;
    s << kHeadsetAndController << "step\n  0 pose at 0 1.6 0.6\n" << controllerAt("0", "1");
    for (const auto& monitor : kCorners)
        for (const Corner& c : monitor) {
            s << "step polls=2\n  1 buttons none\n  1 pose tip " << c.x << " " << c.y << " " << c.z << "\n";
            s << "step polls=2\n  1 buttons 0x2\n";
        }
    s << "step\n  1 buttons none\n";
    return s.str();
}

class WineSetup : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveWindowsProgram("wandsetup.exe") || !haveWindowsProgram("openvr_api.dll"))
            GTEST_FAIL() << "no wandsetup.exe and openvr_api.dll in " << windowsBin();
    }

    testsupport::TempDir dir;
    WineDesktop desktop;
};

TEST_F(WineSetup, CalibratesBothMonitorsAndWritesTheConfigWithCrLf) {
    // The primary's corners (3 x 2 m for 16:9 pixels) warn about the aspect: the third answer keeps them.
    auto setup =
        desktop.start("wandsetup.exe", dir.path().string(), simEnv(dir, touchAllCorners()), "1\n1\n1\n1\n");
    const auto status = setup.waitExit(kStartTimeout);
    ASSERT_EQ(status, 0) << setup.out() << setup.err();

    const std::string out = setup.out();
    EXPECT_NE(out.find(crlf("\n2 monitors found.")), std::string::npos) << out;
    EXPECT_NE(out.find(crlf("\nCalibrating monitor 1/2 (1st from left)\nMonitor resolution: 1280x1024")),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(crlf("\nCalibrating monitor 2/2 (2nd from left)\nMonitor resolution: 1920x1080")),
              std::string::npos)
        << out;
    EXPECT_TRUE(out.ends_with(
        crlf("\nConfiguration file 'default.config' written\nYou can start the main program now\n\n")))
        << out;

    const std::string file = testsupport::readFile(dir.file("default.config"));
    // Windows line ends throughout: every line feed follows a carriage return, none stands alone.
    const auto line_feeds = std::count(file.begin(), file.end(), '\n');
    size_t crlf_count = 0;
    for (size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2))
        ++crlf_count;
    EXPECT_GT(line_feeds, 40);
    EXPECT_EQ(size_t(line_feeds), crlf_count) << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '\r'), line_feeds) << file;
    EXPECT_TRUE(file.starts_with("{\r\n\t\"controller_angle_offset\" : \r\n\t{\r\n")) << file;
    EXPECT_TRUE(file.ends_with("\r\n}")) << file;
    // The left monitor's negative edge, and the "-" of it in the hash.
    EXPECT_NE(file.find("\t\t\t\"left\" : -1280,\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\t\"displayhash\" : \"32001080-12800102400192010800\",\r\n"), std::string::npos)
        << file;

    Json::Value root;
    std::istringstream in(file);
    in >> root;
    ASSERT_EQ(root["display"].size(), 2u);
    const int rectangles[2][4] = {{-1280, 0, 0, 1024}, {0, 0, 1920, 1080}};
    const char* keys[4] = {"v0", "v1", "v2", "v3"};
    for (Json::ArrayIndex m = 0; m < 2; ++m) {
        const Json::Value& display = root["display"][m];
        EXPECT_EQ(display["left"].asInt(), rectangles[m][0]);
        EXPECT_EQ(display["top"].asInt(), rectangles[m][1]);
        EXPECT_EQ(display["right"].asInt(), rectangles[m][2]);
        EXPECT_EQ(display["bottom"].asInt(), rectangles[m][3]);
        for (int k = 0; k < 4; ++k) {
            const Json::Value& v = display[keys[k]];
            EXPECT_NEAR(v["x"].asFloat(), kCorners[m][k].x, 1e-5) << "monitor " << m << " " << keys[k];
            EXPECT_NEAR(v["y"].asFloat(), kCorners[m][k].y, 1e-5) << "monitor " << m << " " << keys[k];
            EXPECT_NEAR(v["z"].asFloat(), kCorners[m][k].z, 1e-5) << "monitor " << m << " " << keys[k];
        }
    }
    EXPECT_EQ(root["handedness"].asInt(), 1);
}

} // namespace
