// The one table every desktop backend fills in, and what the backends share. Each backend lives in its own
// folder and library under desktop/backends/ (X11, Wayland, GNOME's remote desktop, Windows) and only
// speaks its desktop's protocol; a click's two halves, the wheel's remainder and the chosen backend are
// kept once, in desktop.cpp. desktop/backends/backends.cpp lists the backends this platform builds, in
// order of preference, and chooses one.
#pragma once

#include "desktop/desktop.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// One open desktop connection's operations. Those marked optional may be left null.
struct DesktopOps {
    DesktopReport (*monitors)();
    bool (*move_to)(int32_t x, int32_t y);
    void (*button)(MouseButton button, bool press);
    // Optional: a click as one input (Windows: one record with the down and up flags). Without it a click
    // is a press and a release.
    void (*click)(MouseButton button) = nullptr;
    // The wheel in whole notches, positive away from the user; the remainder is kept in desktop.cpp.
    void (*wheel)(int32_t notches) = nullptr;
    // Optional: the wheel in 120ths of a notch, every amount as it comes (Windows), in place of `wheel`.
    void (*wheel_units)(int32_t units) = nullptr;
    void (*key)(Key key, bool press) = nullptr; // optional: without it no key can be sent
    // Optional: why `key` cannot be pressed here, for the user; empty when it can. Without it every key can.
    std::string (*key_problem)(Key key) = nullptr;
    // Optional: sends what is queued; with `wait`, returns once the desktop has acted on it.
    void (*finish)(bool wait) = nullptr;
    // Optional: whether the desktop has stopped taking this program's input for good; the reason has been
    // printed. Without it the desktop is never lost under the program (a lost X connection ends it in Xlib).
    bool (*lost)() = nullptr;
    // Optional: asks where the pointer is, and the answer to the last question (desktop.h's askCursorPos
    // and cursorPos). Without `position` it is never known (Wayland tells a client no such thing).
    void (*ask_position)() = nullptr;
    std::optional<CursorPosition> (*position)() = nullptr;
};

// A backend as the list names it: whether it serves only a Wayland session (WAYLAND_DISPLAY set), and how
// it is opened. `open` returns nullptr when this desktop cannot be used, with the reason in `refusal`.
struct DesktopBackend {
    bool wayland_only = false;
    const DesktopOps* (*open)(std::string& refusal);
};

// The backends. A build without a backend's libraries has a stand-in whose refusal says so.
// The X server of DISPLAY.
const DesktopOps* openX11Desktop(std::string& refusal);
// The Wayland compositor of WAYLAND_DISPLAY when it offers a way to move the pointer; the refusal is the
// first half of a sentence.
const DesktopOps* openWaylandDesktop(std::string& refusal);
// GNOME's compositor through org.gnome.Mutter.RemoteDesktop on the session bus; the refusal is the second
// half of a sentence.
const DesktopOps* openGnomeDesktop(std::string& refusal);
// The desktop of this Windows session, always there.
const DesktopOps* openWin32Desktop(std::string& refusal);

// Makes `ops` the desktop that desktop.h's functions talk to (nullptr: none).
void useDesktop(const DesktopOps* ops);

// A key as X and GNOME name it (a keysym), and as the kernel numbers it (an evdev code, which the
// Wayland backends send with a US keymap). Linux only.
uint32_t keysymOf(Key key);
uint32_t evdevCodeOf(Key key);

// The rectangle around both.
MonitorInfo around(const MonitorInfo& a, const MonitorInfo& b);
// The virtual screen's size from the monitors: their bounding box.
void fitVirtualScreen(DesktopReport& report);

} // namespace platform
