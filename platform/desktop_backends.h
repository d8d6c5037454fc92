// The Linux desktop behind platform.h's monitor, cursor and mouse functions. platform_linux.cpp picks one
// backend when the process starts: X11 (platform_x11.cpp), Wayland (platform_wayland.cpp) or GNOME's
// remote desktop (platform_gnome.cpp), the last two when the build has them. Each backend only speaks its
// protocol; a click's two halves, the wheel's remainder and the keys' codes are kept once, in
// platform_linux.cpp.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace platform {

// One open desktop connection's operations.
struct DesktopOps {
    DesktopReport (*monitors)();
    bool (*move_to)(int32_t x, int32_t y);
    void (*button)(MouseButton button, bool press);
    void (*wheel)(int32_t notches);             // positive: away from the user
    void (*key)(Key key, bool press) = nullptr; // without it no key can be sent
    // Why `key` cannot be pressed here, for the user; empty when it can. Without it every key can.
    std::string (*key_problem)(Key key) = nullptr;
    // Sends what is queued; with `wait`, returns once the desktop has acted on it.
    void (*finish)(bool wait);
    // Whether the desktop has stopped taking this program's input for good; the reason has been printed.
    // Without it the desktop is never lost under the program (a lost X connection ends it in Xlib).
    bool (*lost)() = nullptr;
    // Asks where the pointer is, and the answer to the last question (platform.h's askCursorPos and
    // cursorPos). Without them the position is never known (Wayland tells a client no such thing).
    void (*ask_position)() = nullptr;
    std::optional<CursorPosition> (*position)() = nullptr;
};

// The X server of DISPLAY, or nullptr when none can be opened.
const DesktopOps* openX11Desktop();

// The Wayland compositor of WAYLAND_DISPLAY when it offers a way to move the pointer. Otherwise nullptr,
// and `refusal` says why, for the user, as the first half of a sentence.
const DesktopOps* openWaylandDesktop(std::string& refusal);

// GNOME's compositor through org.gnome.Mutter.RemoteDesktop on the session bus. Otherwise nullptr, and
// `refusal` says why, for the user, as the second half of a sentence.
const DesktopOps* openGnomeDesktop(std::string& refusal);

// A key as X and GNOME name it (a keysym), and as the kernel numbers it (an evdev code, which the
// Wayland backends send with a US keymap).
uint32_t keysymOf(Key key);
uint32_t evdevCodeOf(Key key);

// The rectangle around both.
MonitorInfo around(const MonitorInfo& a, const MonitorInfo& b);
// The virtual screen's size from the monitors: their bounding box.
void fitVirtualScreen(DesktopReport& report);

} // namespace platform
