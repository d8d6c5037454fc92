// The desktop the programs work on, as free functions: its monitors, the cursor, mouse buttons, the wheel
// and keys. They go through the backend that openDesktop chose (desktop_backend.h); before that, and
// without a desktop, they do nothing. The operating system's other services are os/os.h's, in the same
// namespace.
#pragma once

#include "geometry/geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Chooses the desktop that the monitor, cursor and mouse functions below talk to, once per process, from
// the backends this build has (desktop/backends/backends.cpp). Returns an empty string, or one line for
// the user that names the desktop tried and says that it cannot be reached.
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

} // namespace platform
