// wandpointer.exe under Wine on a desktop with a monitor left of the primary one: the cursor on the
// exact pixel (read back through the X server), and the clicks, drags and wheel that the low-level mouse
// hook sees.
#include "tests/win/wine_session.h"
#include "tests/win/wine_test_data.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace winetest;
using testsupport::XObserver;

constexpr Timeout kEventTimeout{20000};

std::vector<HookEvent> buttonsNamed(const std::vector<HookEvent>& events, const std::string& prefix) {
    std::vector<HookEvent> result;
    for (const HookEvent& event : events)
        if (event.message.rfind(prefix, 0) == 0)
            result.push_back(event);
    return result;
}

class WinePointer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveWindowsProgram("wandpointer.exe") || !haveWindowsProgram("openvr_api.dll"))
            GTEST_FAIL() << "no wandpointer.exe and openvr_api.dll in " << windowsBin();
    }

    // Starts wandpointer.exe with the two-monitor file once the hook runs, and waits until it is running.
    testsupport::Process startPointer(const std::string& scenario) {
        testsupport::writeFile(dir.file("default.config"), twoMonitorConfig());
        auto pointer = desktop.start("wandpointer.exe", dir.path().string(), simEnv(dir, scenario));
        EXPECT_TRUE(pointer.waitForOutput("SteamVR initialized!", kStartTimeout))
            << pointer.out() << pointer.err();
        return pointer;
    }

    // Waits for the X pointer at the Windows pixel (x, y).
    void expectPointerAt(XObserver& observer, int x, int y, const testsupport::Process& pointer) {
        EXPECT_TRUE(observer.waitForPointer(x + kWindowsToX, y, kEventTimeout))
            << "pointer at " << observer.pointer().x << "," << observer.pointer().y << "\n"
            << pointer.out();
    }

    void touch(const std::string& name) { testsupport::writeFile(dir.file(name), ""); }

    testsupport::TempDir dir;
    WineDesktop desktop;
};

TEST_F(WinePointer, PlacesTheCursorOnTheExactPixelOfEitherMonitor) {
    desktop.startHook();
    // Wine sees the layout: primary at the origin, the other monitor at negative x.
    const auto monitors = desktop.hookMonitors();
    ASSERT_EQ(monitors.size(), 2u) << desktop.hookLog();
    EXPECT_EQ(desktop.hookVirtualScreen(), "-1280 0 3200 1080");

    XObserver observer(desktop.xserver().display());
    auto pointer = startPointer(kHeadsetAndController + "step wait=go-left\n" + kOnPrimaryMonitor +
                                "step wait=end\n" + kOnLeftMonitor);
    expectPointerAt(observer, 1440, 810, pointer);
    touch("go-left");
    expectPointerAt(observer, -960, 256, pointer);
    EXPECT_TRUE(pointer.running());
}

TEST_F(WinePointer, ClicksDragsWheelAndGripReachTheDesktopAsInjectedInput) {
    desktop.startHook();
    XObserver observer(desktop.xserver().display());
    auto pointer = startPointer(kHeadsetAndController + "step wait=click\n" + kOnLeftMonitor +
                                // a short pull: a click at release
                                "step ms=40\n  1 trigger 1\n"
                                "step wait=drag\n  1 trigger 0\n"
                                // a long one: button down after 200 ms, up at release
                                "step ms=600\n  1 trigger 1\n"
                                "step wait=wheel\n  1 trigger 0\n"
                                // the thumb resting on the pad's upper centre for three frames
                                "step polls=3\n  1 pad 0 0.5\n"
                                "step wait=grip\n  1 pad 0 0\n"
                                "step polls=3\n  1 buttons 0x4\n"
                                "step wait=end\n  1 buttons none\n");
    ASSERT_TRUE(observer.waitForPointer(-960 + kWindowsToX, 256, kEventTimeout)) << pointer.out();
    EXPECT_TRUE(desktop.hookButtons().empty()) << toString(desktop.hookButtons());

    touch("click");
    ASSERT_TRUE(desktop.waitForHookButtons(2, kEventTimeout)) << desktop.hookLog();
    touch("drag");
    ASSERT_TRUE(desktop.waitForHookButtons(4, kEventTimeout)) << desktop.hookLog();
    touch("wheel");
    ASSERT_TRUE(desktop.waitForHookButtons(7, kEventTimeout)) << desktop.hookLog();
    touch("grip");
    ASSERT_TRUE(desktop.waitForHookButtons(9, kEventTimeout)) << desktop.hookLog();
    touch("end");

    const std::vector<HookEvent> expected = {
        {"WM_LBUTTONDOWN", -960, 256, 0, true}, {"WM_LBUTTONUP", -960, 256, 0, true},
        {"WM_LBUTTONDOWN", -960, 256, 0, true}, {"WM_LBUTTONUP", -960, 256, 0, true},
        {"WM_MOUSEWHEEL", -960, 256, 15, true}, {"WM_MOUSEWHEEL", -960, 256, 15, true},
        {"WM_MOUSEWHEEL", -960, 256, 15, true}, {"WM_MBUTTONDOWN", -960, 256, 0, true},
        {"WM_MBUTTONUP", -960, 256, 0, true}};
    EXPECT_EQ(toString(desktop.hookButtons()), toString(expected));
    // SendInput's buttons stay inside Wine: the X server saw none of them.
    observer.pump();
    EXPECT_TRUE(observer.buttonEvents().empty());
    EXPECT_TRUE(pointer.running());
}

// Ctrl+C while a drag holds the button: the button is released before the program ends.
TEST_F(WinePointer, CtrlCReleasesTheHeldButton) {
    desktop.startHook();
    // The trigger is pulled a few frames into the loop and held: a drag starts 200 ms later.
    auto pointer =
        startPointer(kHeadsetAndController + "step polls=3\n" + kOnLeftMonitor + "step\n  1 trigger 1\n");
    ASSERT_TRUE(desktop.waitForHookButtons(1, kEventTimeout)) << desktop.hookLog();
    EXPECT_EQ(toString(desktop.hookButtons()), toString({{"WM_LBUTTONDOWN", -960, 256, 0, true}}));

    pointer.signal(SIGINT); // Wine turns it into CTRL_C_EVENT for the console handler
    ASSERT_TRUE(desktop.waitForHookButtons(2, kEventTimeout)) << desktop.hookLog() << pointer.out();
    EXPECT_EQ(buttonsNamed(desktop.hookButtons(), "WM_LBUTTONUP").size(), 1u) << desktop.hookLog();
    const auto status = pointer.waitExit(kEventTimeout);
    ASSERT_TRUE(status.has_value()) << "still running after Ctrl+C\n" << pointer.out();
    EXPECT_LT(*status, 128) << "ended by a signal, not by its own exit\n" << pointer.out();
    EXPECT_EQ(toString(desktop.hookButtons()),
              toString({{"WM_LBUTTONDOWN", -960, 256, 0, true}, {"WM_LBUTTONUP", -960, 256, 0, true}}));
}

} // namespace
