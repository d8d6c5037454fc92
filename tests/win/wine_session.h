// Running the cross-built Windows programs under Wine for end-to-end tests: a throwaway X server with the
// two-monitor layout (a 1280x1024 monitor left of a 1920x1080 primary one), the project's Wine prefix
// pointed at it, and the low-level mouse hook that sees the input Wine keeps to itself.
//
// In that layout Windows puts the primary monitor at (0,0)-(1920,1080) and the left one at
// (-1280,0)-(0,1024): an X root coordinate is the Windows one plus 1280 horizontally.
#pragma once

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winetest {

using testsupport::Timeout;

inline constexpr int32_t kWindowsToX = 1280;
// Wine's first start against a new display takes a while on a busy machine.
inline constexpr Timeout kStartTimeout{60000};

// The Windows build's folder (build-win/bin) and one program in it.
std::string windowsBin();
std::string windowsProgram(const std::string& name);
bool haveWindowsProgram(const std::string& name);

// "Z:\tmp\x\y" for "/tmp/x/y": how a Windows program under Wine names a Linux path.
std::string windowsPath(const std::string& linux_path);

// One line of the hook's log.
struct HookEvent {
    std::string message; // "WM_LBUTTONDOWN"
    int32_t x = 0;
    int32_t y = 0;
    int32_t wheel = 0;
    bool injected = false;
};
std::string toString(const HookEvent& event);
std::string toString(const std::vector<HookEvent>& events);

struct HookMonitor {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class WineDesktop {
  public:
    // Starts Xvfb with the two monitors and stops any wineserver of the prefix, so that the next Wine
    // program connects to this display.
    WineDesktop();
    ~WineDesktop();
    WineDesktop(const WineDesktop&) = delete;
    WineDesktop& operator=(const WineDesktop&) = delete;

    const testsupport::XServer& xserver() const { return xserver_; }

    // WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY, plus `extra`.
    std::vector<std::pair<std::string, std::string>>
    env(std::vector<std::pair<std::string, std::string>> extra = {}) const;

    // Starts a program of the Windows build (by its file name) under Wine.
    testsupport::Process start(const std::string& program, const std::string& working_dir,
                               std::vector<std::pair<std::string, std::string>> extra_env = {},
                               const std::string& stdin_text = "");

    // Starts the mouse hook and waits for its ready line. Started first, it also brings up Wine's own
    // session processes, which then belong to the hook's process group rather than to a program under test.
    void startHook();
    // The monitors and virtual screen the hook saw as Windows reports them.
    std::vector<HookMonitor> hookMonitors() const;
    std::string hookVirtualScreen() const;
    // Button and wheel events seen so far (moves are left out).
    std::vector<HookEvent> hookButtons() const;
    // Waits until the hook has seen at least `count` button and wheel events.
    bool waitForHookButtons(size_t count, Timeout timeout = testsupport::kDefaultTimeout) const;
    std::string hookLog() const;

  private:
    testsupport::XServer xserver_;
    std::optional<testsupport::Process> hook_;
};

// A scenario file for the simulated runtime in `dir`; returns the environment that selects it (Windows
// paths) and, with `log`, the runtime's call log.
std::vector<std::pair<std::string, std::string>> simEnv(const testsupport::TempDir& dir,
                                                        const std::string& scenario, bool log = false);

// The texts a Windows program writes through a text-mode stream: every "\n" becomes "\r\n".
std::string crlf(const std::string& text);

} // namespace winetest
