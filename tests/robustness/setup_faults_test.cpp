// wandsetup against hostile console input, runtime start-up errors and a file system that refuses the
// new file: the real program on Xvfb with the simulated runtime and a scripted user. Checked from
// outside: the exit status, the console, and that "default.config" either holds the new calibration or
// is exactly what it was before.
#include "config/config_file.h"
#include "tests/setup/scripted_controller.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace setuptest;
using namespace testsupport;

namespace {

constexpr Timeout kRunTimeout{120000};
const char* const kOldFile = "{ \"an older calibration\" : true }";
const std::array<Vec3, 4> kScreen = screenCorners({-0.4f, 1.3f, -0.7f}, 0.5f, 0.3f);

struct SetupRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

ScriptedController touchingUser() {
    ScriptedController user;
    user.pressAll(touchPoses(kScreen));
    user.finish();
    return user;
}

SetupRun runSetup(const XServer& x, const TempDir& dir, const std::vector<std::string>& argv,
                  const std::string& answers, const ScriptedController& user = touchingUser()) {
    writeFile(dir.file("user.scenario"), user.text);
    ProcessOptions options;
    options.working_dir = dir.path().string();
    options.env = {x.displayEnv(), {"WAND_SIM_SCENARIO", dir.file("user.scenario")}};
    options.stdin_text = answers;
    RunResult result = runProcess(argv, options, kRunTimeout);
    return {result.status, withoutSummaries(result.out), result.err};
}

std::string expectedFile(int handedness) {
    return configText({{{0, 0, 1920, 1080}, touchedCorners(touchPoses(kScreen))}}, "192010800192010800",
                      handedness);
}

class SetupFaults : public testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new XServer({{0, 0, 1920, 1080, true}}); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    static XServer* server_;
};

XServer* SetupFaults::server_ = nullptr;

// --- Console input -------------------------------------------------------------------------------------

TEST_F(SetupFaults, HugeAndBinaryTokensAreInvalidAnswersAndAskedAgain) {
    const std::string menu = methodMenu(0, 1, "1st", 1920, 1080);
    struct Case {
        const char* name;
        std::string bad; // one invalid answer to the menu, and one to the handedness question
    };
    const std::vector<Case> cases = {
        {"1 MB of letters", std::string(1 << 20, 'x')},
        {"1 MB of digits", std::string(1 << 20, '1')},
        {"binary bytes", std::string("\x00\x01\xff\xfe\x80\x7f\x1b[2J", 10)},
        {"a NUL inside a number", std::string("\x00"
                                              "1",
                                              2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir.file("default.config"), kOldFile);
        const SetupRun run =
            runSetup(*server_, dir, {binPath("wandsetup")}, c.bad + "\n1\n" + c.bad + "\n2\n");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, startLines(1) + menu + menu + touchTranscript() + doneLine(0, 1) +
                               handednessQuestion() + handednessQuestion() + writtenLines());
        EXPECT_EQ(readFile(dir.path() / "default.config"), expectedFile(2));
    }
}

// --- Runtime start-up ----------------------------------------------------------------------------------

TEST_F(SetupFaults, EveryInitErrorIsReportedAndLeavesTheFile) {
    for (int error : {100, 101, 105, 108, 109, 110, 121, 126, 301, 9999}) {
        SCOPED_TRACE(error);
        TempDir dir;
        writeFile(dir.file("default.config"), kOldFile);
        ScriptedController user = touchingUser();
        user.text = "init-error " + std::to_string(error) + "\n" + user.text;
        const SetupRun run = runSetup(*server_, dir, {binPath("wandsetup")}, "1 1\n", user);
        ASSERT_EQ(run.status, 1) << run.out << run.err;
        if (error == 121) {
            EXPECT_EQ(run.out, "HMD not found! Please start SteamVR before running config.\n\n");
        } else {
            EXPECT_EQ(run.out.rfind("SteamVR init error: ", 0), 0u) << run.out;
            EXPECT_NE(run.out.find("(" + std::to_string(error) + ") \n\n"), std::string::npos) << run.out;
        }
        EXPECT_EQ(readFile(dir.path() / "default.config"), kOldFile);
    }
}

// --- File system ---------------------------------------------------------------------------------------

// Runs wandsetup in a small tmpfs of its own (a private mount namespace), prepared by `prepare` (shell
// commands run in it first), and copies the folder's contents out afterwards. Skips where the machine
// allows no private mounts.
struct MountedRun {
    SetupRun run;
    std::string file;               // "default.config" as it was left
    std::vector<std::string> names; // everything left in the folder
};

bool privateMountsWork() {
    const RunResult probe = runProcess({"unshare", "--map-root-user", "--mount", "sh", "-c",
                                        "mount -t tmpfs -o size=64k tmpfs /mnt && echo ok"});
    return probe.status == 0 && probe.out == "ok\n";
}

MountedRun runSetupInTmpfs(const XServer& x, const std::string& prepare) {
    TempDir outside;
    const std::string folder = outside.file("mounted");
    const std::string copy = outside.file("copy");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(copy);
    const std::string script = "set -e; mount -t tmpfs -o size=64k tmpfs \"$1\"; cd \"$1\"; printf '%s' '" +
                               std::string(kOldFile) + "' > default.config; " + prepare +
                               "; status=0; \"$2\" || status=$?; cp -a . \"$3\"/; exit $status";
    const SetupRun run = runSetup(x, outside,
                                  {"unshare", "--map-root-user", "--mount", "sh", "-c", script, "sh", folder,
                                   binPath("wandsetup"), copy},
                                  "1 1\n");
    MountedRun result{run, "", {}};
    if (std::filesystem::exists(std::filesystem::path(copy) / "default.config"))
        result.file = readFile(std::filesystem::path(copy) / "default.config");
    for (const auto& entry : std::filesystem::directory_iterator(copy))
        result.names.push_back(entry.path().filename().string());
    return result;
}

TEST_F(SetupFaults, ReadOnlyFolderAndFullDiskAreReportedAndKeepTheOldFile) {
    if (!privateMountsWork())
        GTEST_SKIP() << "this machine allows no private tmpfs mounts (unshare --map-root-user --mount)";
    struct Case {
        const char* name;
        std::string prepare;
    };
    const std::vector<Case> cases = {
        {"read-only folder", "mount -o remount,ro \"$1\""},
        {"disk full", "dd if=/dev/zero of=filler bs=1k 2>/dev/null || true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MountedRun mounted = runSetupInTmpfs(*server_, c.prepare);
        EXPECT_NE(mounted.run.status, 0) << mounted.run.out << mounted.run.err;
        EXPECT_NE(mounted.run.status, std::nullopt);
        EXPECT_NE(mounted.run.err.find("could not write 'default.config'"), std::string::npos)
            << mounted.run.err;
        EXPECT_EQ(mounted.run.out.find("Configuration file 'default.config' written"), std::string::npos)
            << mounted.run.out;
        EXPECT_EQ(mounted.file, kOldFile);
        for (const std::string& name : mounted.names)
            EXPECT_TRUE(name == "default.config" || name == "filler") << "left behind: " << name;
    }
}

} // namespace
