// Everything Wand needs from the operating system, as free functions. Windows: platform_win32.cpp. Linux:
// platform_posix.cpp, and platform_linux.cpp for the desktop, which talks to X11 or to a Wayland compositor.
#pragma once

#include "geometry/geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Called first thing by both programs, before the command line is read: standard input, output and error
// that are closed are opened on the null device, so that no file or connection opened later takes their
// place; a write to a closed pipe fails instead of ending the process; console output is unbuffered. On
// Windows also per-monitor DPI awareness and a 1 ms timer resolution.
void prepareProcess();

// Opens the desktop that the monitor, cursor and mouse functions below talk to. Returns an empty string,
// or one line for the user that names the desktop tried and says that it cannot be reached.
std::string openDesktop();

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

// Where the pointer is, in the pixels setCursorPos takes, in two halves so that a look need not wait:
// askCursorPos asks, and cursorPos gives the answer to the last question, where the pointer was when it was
// asked, waiting only while the answer has not come (on X11 a question is a round trip to the server; on
// Windows the answer is where the pointer is when it is read). Nothing when nothing was asked, where the
// desktop does not tell a client (Wayland gives no global position) or where there is no desktop.
struct CursorPosition {
    int32_t x = 0;
    int32_t y = 0;
};
void askCursorPos();
std::optional<CursorPosition> cursorPos();

// The mouse, at the cursor's position: a button clicked (pressed and released as one input), pressed or
// released, and the wheel turned by `units`, 120 to a notch, positive away from the user. Desktops that
// know whole notches only keep the remainder, so small amounts add up to notches either way.
enum class MouseButton { left, right, middle };
enum class ButtonAction { click, down, up };
void sendMouseButton(MouseButton button, ButtonAction action);
void sendMouseWheel(int32_t units);

// The keys Wand presses, named as "default.config"'s bindings name them (kKeyNames).
// clang-format off
enum class Key : uint8_t {
    a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z,
    digit_0, digit_1, digit_2, digit_3, digit_4, digit_5, digit_6, digit_7, digit_8, digit_9,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
    escape, tab, space, enter, backspace, delete_, insert, home, end, page_up, page_down, up, down, left, right,
    print, volume_up, volume_down, mute, play_pause, next, previous,
    ctrl, alt, shift, super, // the modifiers
};
// clang-format on
inline constexpr size_t kKeyCount = static_cast<size_t>(Key::super) + 1;
inline constexpr std::array<std::string_view, kKeyCount> kKeyNames = {
    "a",      "b",         "c",           "d",       "e",          "f",     "g",        "h",         "i",
    "j",      "k",         "l",           "m",       "n",          "o",     "p",        "q",         "r",
    "s",      "t",         "u",           "v",       "w",          "x",     "y",        "z",         "0",
    "1",      "2",         "3",           "4",       "5",          "6",     "7",        "8",         "9",
    "f1",     "f2",        "f3",          "f4",      "f5",         "f6",    "f7",       "f8",        "f9",
    "f10",    "f11",       "f12",         "escape",  "tab",        "space", "enter",    "backspace", "delete",
    "insert", "home",      "end",         "page_up", "page_down",  "up",    "down",     "left",      "right",
    "print",  "volume_up", "volume_down", "mute",    "play_pause", "next",  "previous", "ctrl",      "alt",
    "shift",  "super"};
inline std::string_view keyName(Key key) {
    return kKeyNames[static_cast<size_t>(key)];
}
inline bool isModifier(Key key) {
    return key >= Key::ctrl;
}
// Presses or releases a key. A release has reached the desktop when this returns.
void sendKey(Key key, bool press);
// Why this desktop cannot press `key`, for the user (the X server's keymap has no key for it, the
// compositor offers no way to send keys); empty when it can, or when there is no desktop at all.
std::string keyProblem(Key key);

// Requests to end the process: Ctrl+C, Ctrl+Break and closing the console on Windows; on Linux every
// signal that would end the process and can be caught (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, the
// real-time signals...). The handler only records the request, and a sleep it interrupts ends early.
// Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT...) keep their default.
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
