// Start-up failures of both Windows programs under Wine: the same texts (with Windows line ends) and the
// same exit statuses as the Linux build gives for the same situation.
#include "tests/win/wine_session.h"
#include "tests/win/wine_test_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace winetest;

struct StartupCase {
    const char* name;
    const char* program; // without ".exe"
    bool config;         // a valid "default.config" in the working folder
    const char* scenario;
    std::optional<std::string> text; // the expected console text, when this test knows it
};

std::ostream& operator<<(std::ostream& out, const StartupCase& c) {
    return out << c.name;
}

class WineStartup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(WineStartup, FailsWithTheSameTextAndStatusAsOnLinux) {
    const StartupCase& c = GetParam();
    WineDesktop desktop;

    testsupport::TempDir windows_dir;
    if (c.config)
        testsupport::writeFile(windows_dir.file("default.config"), twoMonitorConfig());
    auto program = desktop.start(std::string(c.program) + ".exe", windows_dir.path().string(),
                                 simEnv(windows_dir, c.scenario), "1\n1\n1\n");
    const auto windows_status = program.waitExit(kStartTimeout);
    const std::string windows_out = program.out();
    EXPECT_EQ(windows_status, 1) << windows_out << program.err();
    if (c.text) {
        EXPECT_EQ(windows_out, crlf(*c.text));
    }

    // The Linux build, in the same situation.
    const std::string linux_program = testsupport::binPath(c.program);
    if (!std::filesystem::exists(linux_program))
        GTEST_FAIL() << "no Linux build of " << c.program << " in " << testsupport::binDir();
    testsupport::TempDir linux_dir;
    if (c.config) {
        // The same desktop as X sees it: no negative coordinates, so another display hash. With the
        // hash of its own layout the Linux build, like the Windows one, has no layout warning to give.
        std::string config = twoMonitorConfig();
        const std::string windows_hash = "32001080-12800102400192010800";
        config.replace(config.find(windows_hash), windows_hash.size(), "3200108001280102401280320010800");
        testsupport::writeFile(linux_dir.file("default.config"), config);
    }
    testsupport::writeFile(linux_dir.file("scenario.txt"), c.scenario);
    const auto linux_run = testsupport::runProcess(
        {linux_program},
        {.working_dir = linux_dir.path().string(),
         .env = {desktop.xserver().displayEnv(), {"WAND_SIM_SCENARIO", linux_dir.file("scenario.txt")}},
         .stdin_text = "1\n1\n1\n"},
        kStartTimeout);
    EXPECT_EQ(windows_status, linux_run.status);
    EXPECT_EQ(windows_out, crlf(linux_run.out)) << "Linux printed:\n" << linux_run.out;
    EXPECT_FALSE(linux_run.out.empty());
}

// WAND_STARTUP_PROGRAM names the program under test: this source makes one test program per Windows
// program, each registered once that program has been built.
std::vector<StartupCase> startupFailures() {
    const std::vector<StartupCase> all = {
        {"PointerWithoutConfig", "wandpointer", false, "device 0 hmd\ndevice 1 controller\n",
         "Could not open default.config, run config first!\n\n"},
        {"PointerWithoutRuntime", "wandpointer", true, "init-error 121\n",
         "HMD not found! Please start SteamVR before running program.\n\n"},
        {"PointerOtherInitError", "wandpointer", true, "init-error 108\n", std::nullopt},
        {"SetupWithoutRuntime", "wandsetup", false, "init-error 121\n",
         "HMD not found! Please start SteamVR before running config.\n\n"},
        {"SetupOtherInitError", "wandsetup", false, "init-error 108\n", std::nullopt}};
    std::vector<StartupCase> cases;
    for (const StartupCase& c : all)
        if (std::string(c.program) == WAND_STARTUP_PROGRAM)
            cases.push_back(c);
    return cases;
}

std::string caseName(const ::testing::TestParamInfo<StartupCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Windows, WineStartup, ::testing::ValuesIn(startupFailures()), caseName);

// Both programs declare per-monitor DPI awareness (v2) and ask for a 1 ms timer resolution first thing,
// before they look at the desktop. Wine 8 makes every process per-monitor aware on its own, so the
// coordinates cannot tell; Wine's call trace shows what the program asked for.
class WineProcessSetup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(WineProcessSetup, DeclaresPerMonitorDpiAwarenessAndAMillisecondTimer) {
    const StartupCase& c = GetParam();
    WineDesktop desktop;
    testsupport::TempDir dir;
    if (c.config)
        testsupport::writeFile(dir.file("default.config"), twoMonitorConfig());
    auto env = simEnv(dir, c.scenario);
    env.emplace_back("WINEDEBUG", "+relay");
    auto program = desktop.start(std::string(c.program) + ".exe", dir.path().string(), env, "1\n1\n1\n");
    ASSERT_EQ(program.waitExit(kStartTimeout), 1) << program.out();
    const std::string trace = program.err();
    const auto dpi =
        trace.find("Call user32.SetProcessDpiAwarenessContext(fffffffffffffffc)"); // PER_MONITOR_AWARE_V2
    const auto timer = trace.find("Call winmm.timeBeginPeriod(00000001)");
    EXPECT_NE(dpi, std::string::npos) << "no per-monitor v2 declaration";
    EXPECT_NE(timer, std::string::npos) << "no timeBeginPeriod(1)";
    const auto monitors = trace.find("Call user32.EnumDisplayMonitors");
    if (monitors != std::string::npos) {
        EXPECT_LT(dpi, monitors) << "monitors enumerated before the DPI awareness was declared";
    }
}

// Stops right after the process setup: the pointer for want of its file, the configurator for want of a
// runtime.
StartupCase earlyFailure() {
    if (std::string(WAND_STARTUP_PROGRAM) == "wandpointer")
        return {"Pointer", "wandpointer", false, "device 0 hmd\ndevice 1 controller\n", std::nullopt};
    return {"Setup", "wandsetup", false, "init-error 121\n", std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(Windows, WineProcessSetup, ::testing::Values(earlyFailure()), caseName);

} // namespace
