// The configurator's flow once the layout is known, without a VR runtime: a desktop without monitors
// needs no calibration.
#include "config/config_file.h"
#include "setup/configurator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct Folder {
    std::filesystem::path path;
    Folder() {
        path =
            std::filesystem::temp_directory_path() /
            ("wand_configurator_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

TEST(CalibrateAndWrite, NoMonitorsAsksOnlyForTheHandedness) {
    Folder folder;
    const std::string file = (folder.path / "default.config").string();
    DesktopLayout layout;
    layout.virtual_width = 1024;
    layout.virtual_height = 768;
    layout.display_hash = "1024768";
    TrackedController controller; // never polled: there is nothing to calibrate
    std::istringstream in("abc\n\n2\n");
    testing::internal::CaptureStdout();
    const int status = calibrateAndWrite(in, controller, layout, file);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    const std::string question = "\nAre you:\n1: Right-handed\n2: Left-handed\n";
    EXPECT_EQ(out,
              "\n0 monitors found." + question + question +
                  "\nConfiguration file 'default.config' written\nYou can start the main program now\n\n");
    const std::string written = readAll(file);
    EXPECT_EQ(written, configText({}, "1024768", 2));
    EXPECT_EQ(written.find("\"display\""), std::string::npos);
    EXPECT_NE(written.find("\"displayhash\" : \"1024768\""), std::string::npos);
}

TEST(CalibrateAndWrite, EndOfInputLeavesTheOldFile) {
    Folder folder;
    const std::string file = (folder.path / "default.config").string();
    std::ofstream(file) << "old";
    DesktopLayout layout;
    TrackedController controller;
    std::istringstream in("0 5 x");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = calibrateAndWrite(in, controller, layout, file);
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, kExitInputEnded);
    EXPECT_EQ(err, "\nwandsetup: standard input ended before the answer; nothing was written\n");
    EXPECT_EQ(readAll(file), "old");
}

} // namespace
