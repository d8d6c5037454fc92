// The test support itself: a real Xvfb with two monitors, pointer and buttons seen through the observer,
// child processes with input, output and exit status.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace testsupport;

namespace {

const std::vector<TestMonitor> kTwoMonitors = {{0, 0, 1280, 1024, false}, {1280, 0, 1920, 1080, true}};

TEST(XServerTest, ReportsRequestedMonitorsAndSeesPointerAndButtons) {
    XServer server(kTwoMonitors);
    XObserver observer(server.display());

    auto monitors = observer.monitors();
    ASSERT_EQ(monitors.size(), 2u) << toString(monitors);
    // The primary comes first in RandR's list.
    EXPECT_EQ(monitors[0], kTwoMonitors[1]) << toString(monitors);
    EXPECT_EQ(monitors[1], kTwoMonitors[0]) << toString(monitors);
    EXPECT_EQ(observer.rootSize().width, 3200);
    EXPECT_EQ(observer.rootSize().height, 1080);

    ProcessOptions options;
    options.env = {server.displayEnv()};
    auto moved = runProcess({"xdotool", "mousemove", "1500", "300"}, options);
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_TRUE(observer.waitForPointer(1500, 300));

    // XTest motion from another client arrives as raw motion.
    observer.motionEvents();
    XObserver injector(server.display());
    injector.injectMotion(100, 200);
    EXPECT_TRUE(observer.waitForPointer(100, 200));
    ASSERT_TRUE(observer.waitForMotionEvents(1));
    EXPECT_LE(int64_t(observer.motionEvents().back().server_ms), monotonicMs() + 1);

    auto clicked = runProcess({"xdotool", "click", "1"}, options);
    ASSERT_EQ(clicked.status, 0) << clicked.err;
    ASSERT_TRUE(observer.waitForButtonEvents(2));
    auto buttons = observer.buttonEvents();
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0], (ButtonEvent{1, true, 0}));
    EXPECT_EQ(buttons[1], (ButtonEvent{1, false, 0}));
    EXPECT_LE(buttons[0].server_ms, buttons[1].server_ms);
    // Xvfb stamps events with CLOCK_MONOTONIC milliseconds.
    int64_t now = monotonicMs();
    EXPECT_LE(int64_t(buttons[1].server_ms), now + 1);
    EXPECT_GT(int64_t(buttons[1].server_ms), now - 60000);
    EXPECT_TRUE(observer.buttonEvents().empty());
}

TEST(XServerTest, MonitorsCanBeRedefined) {
    XServer server(kTwoMonitors);
    std::vector<TestMonitor> single = {{100, 50, 800, 600, true}};
    server.setMonitors(single);
    EXPECT_EQ(queryMonitors(server.display()), single);
}

TEST(XServerTest, WithoutMonitorsReportsNone) {
    XServer server = XServer::withoutMonitors(1024, 768);
    XObserver observer(server.display());
    EXPECT_TRUE(observer.monitors().empty());
    EXPECT_EQ(observer.rootSize().width, 1024);
    EXPECT_EQ(observer.rootSize().height, 768);
}

TEST(XServerTest, PlainServerReportsTheRootAsOneMonitor) {
    XServer server = XServer::plain(1024, 768);
    EXPECT_EQ(queryMonitors(server.display()), (std::vector<TestMonitor>{{0, 0, 1024, 768, false}}));
}

TEST(XServerTest, TwoServersGetDifferentDisplays) {
    XServer first = XServer::plain(640, 480);
    XServer second = XServer::plain(640, 480);
    EXPECT_NE(first.display(), second.display());
}

TEST(ProcessTest, PassesInputAndCapturesOutputAndStatus) {
    auto result = runProcess({"sh", "-c", "cat; echo err >&2; exit 3"}, {.stdin_text = "hello\nworld\n"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "hello\nworld\n");
    EXPECT_EQ(result.err, "err\n");
}

TEST(ProcessTest, LargeOutputOnBothStreamsDoesNotBlock) {
    // 4 MB on each stream and 4 MB of input, far beyond any pipe buffer.
    std::string input(4 << 20, 'x');
    auto result = runProcess({"sh", "-c", "head -c 4194304 /dev/zero >&2; cat"}, {.stdin_text = input},
                             std::chrono::seconds(60));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.size(), input.size());
    EXPECT_EQ(result.err.size(), 4u << 20);
}

TEST(ProcessTest, InteractiveInputAndSignals) {
    TempDir dir;
    Process process({"sh", "-c", "echo \"in $PWD $WAND_X\"; while read line; do echo \"got $line\"; done"},
                    {.working_dir = dir.path().string(), .env = {{"WAND_X", "42"}}, .keep_stdin_open = true});
    EXPECT_TRUE(process.waitForOutput("in " + dir.path().string() + " 42\n"));
    process.writeStdin("a\n");
    EXPECT_TRUE(process.waitForOutput("got a\n"));
    process.writeStdin("b\n");
    EXPECT_TRUE(process.waitForOutput("got ", kDefaultTimeout, 2));
    EXPECT_TRUE(process.running());
    process.closeStdin();
    EXPECT_EQ(process.waitExit(), 0);

    Process sleeper({"sleep", "1000"});
    EXPECT_FALSE(sleeper.waitExit(std::chrono::milliseconds(50)));
    sleeper.signal(SIGTERM);
    EXPECT_EQ(sleeper.waitExit(), 128 + SIGTERM);
}

TEST(ProcessTest, ChildThatIgnoresItsInputAndMissingPrograms) {
    auto result = runProcess({"true"}, {.stdin_text = std::string(1 << 20, 'x')});
    EXPECT_EQ(result.status, 0);
    EXPECT_THROW(Process({"wand-no-such-program"}), std::runtime_error);
    EXPECT_THROW(Process({"true"}, {.working_dir = "/nonexistent/folder"}), std::runtime_error);
}

TEST(FilesTest, TempDirHoldsFilesAndIsRemoved) {
    std::filesystem::path path;
    {
        TempDir dir = tempDir();
        path = dir.path();
        std::string bytes("a\0b\r\n", 5);
        writeFile(dir.file("x.bin"), bytes);
        EXPECT_EQ(readFile(dir.file("x.bin")), bytes);
        EXPECT_THROW(readFile(dir.file("missing")), std::runtime_error);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(binDir().filename(), "bin");
}

} // namespace
