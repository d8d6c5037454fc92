// Everything Wand needs from the operating system, as free functions. Windows: platform_win32.cpp. Linux:
// platform_posix.cpp, and platform_linux.cpp for the desktop, which talks to X11 or to a Wayland compositor.
#pragma once

#include "geometry/geometry.h"

#include <cstdint>
#include <string>
#include <vector>

#if defined(__GNUC__)
#define WAND_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define WAND_PRINTF_FORMAT
#endif

namespace platform {

// Milliseconds with GetTickCount's semantics: unsigned 32 bits, wrapping; only differences matter.
uint32_t tickCount();
// Sleeps `ms` milliseconds, or less when a request to stop arrives (once the handler below is installed).
void sleepMs(uint32_t ms);
// Sleeps until tickCount() reaches `deadline` (compared by wrapping difference; a deadline already
// passed returns at once), in one wake-up where the system has a precise timer. It may return early: on
// a signal, or on Windows without a high-resolution timer, where it does not sleep at all. Callers check
// the tick afterwards.
void sleepUntil(uint32_t deadline);

// The console's "pause": waits for Enter (a key on Windows) only when standard input is interactive, so
// scripts and tests never block.
void pauseConsole();

// The programs' messages, printf-style: to standard output (print) or standard error (printError),
// flushed at once, and each line that is not empty also to the log file, after a time stamp, when one is
// open.
void print(const char* format, ...) WAND_PRINTF_FORMAT;
void printError(const char* format, ...) WAND_PRINTF_FORMAT;
// Opens `path` for appending, its folders created, as the log file of every message from now on. Returns
// an empty string on success, else the reason.
std::string openLogFile(const std::string& path);

// Called first thing by both programs: unbuffered console output, per-monitor DPI awareness and a 1 ms
// timer resolution on Windows.
void prepareProcess();

// The desktop's monitors as the platform reports them, in its order, and the virtual screen's size.
struct DesktopReport {
    int32_t virtual_width = 0;
    int32_t virtual_height = 0;
    std::vector<MonitorInfo> monitors;
};
DesktopReport enumerateMonitors();

// Whether the desktop has stopped taking this program's input for good (GNOME's remote desktop session
// ended by the user or the compositor); the reason has been printed. Looked at between frames.
bool desktopLost();

// Moves the cursor to a virtual-desktop pixel. Returns false when there is no desktop to talk to.
bool setCursorPos(int32_t x, int32_t y);

// One mouse input record with the Win32 MOUSEEVENTF_ flag values; sent at the cursor's position.
struct MouseInput {
    uint32_t flags = 0;
    int32_t mouse_data = 0;
};
inline constexpr uint32_t kMouseLeftDown = 0x0002;
inline constexpr uint32_t kMouseLeftUp = 0x0004;
inline constexpr uint32_t kMouseRightDown = 0x0008;
inline constexpr uint32_t kMouseRightUp = 0x0010;
inline constexpr uint32_t kMouseMiddleDown = 0x0020;
inline constexpr uint32_t kMouseMiddleUp = 0x0040;
inline constexpr uint32_t kMouseWheel = 0x0800;
void sendMouseInput(const MouseInput& input);

// Ctrl+C, SIGINT, SIGTERM, closing the console: the handler only records the request.
void installShutdownHandler();
bool shutdownRequested();

// Claims `name` among the user's running processes for as long as this one runs (Linux: an abstract
// socket; Windows: a named mutex). False when another process holds it.
bool claimProcessName(const std::string& name);

// The running program's own file, as an absolute path.
std::string programPath();
// The folder of the user's settings: Linux $XDG_CONFIG_HOME, else ~/.config; Windows %APPDATA%, or with
// `local` %LOCALAPPDATA% (Linux: the same folder). Empty when the environment names none.
std::string userSettingsFolder(bool local = false);

// A shared library by path, or by bare file name searched the system's way (Linux: the dynamic loader's
// folders; Windows: the standard search), loaded for the rest of the process. Null when it cannot be
// loaded, with the system's reason in `why`.
void* loadLibrary(const std::string& name, std::string& why);
// A function exported by a loaded library under `name`, or null.
void* librarySymbol(void* library, const char* name);

// Replaces `target` by `source` in one step (both in the same folder). On failure `target` is untouched,
// `source` is left for the caller to remove, and the reason is returned; an empty string means success.
std::string replaceFile(const std::string& source, const std::string& target);

} // namespace platform
