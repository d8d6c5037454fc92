// A connection to a Wayland compositor: its monitors from xdg-output, and a pointer that moves and clicks
// and keys that are pressed through the wlroots virtual pointer and virtual keyboard (sway, Hyprland,
// river) or KDE's fake input (KWin). The desktop
// layer keeps one for the process's life; each call works on the connection it is given.
#pragma once

#include "desktop/desktop_backend.h"

#include <cstdint>
#include <string>

namespace platform {

struct WaylandDesktop;

enum class WaylandPointer { none, wlroots, kde };

// Connects to the named display (nullptr: WAYLAND_DISPLAY's) and learns its globals and monitors;
// nullptr when there is no compositor to connect to.
WaylandDesktop* connectWayland(const char* name);
void disconnectWayland(WaylandDesktop* desktop);

// The way this compositor lets the pointer be moved; the wlroots one where both are offered.
WaylandPointer pointerKind(const WaylandDesktop& desktop);

// The outputs' logical rectangles in the compositor's order.
DesktopReport waylandMonitors(WaylandDesktop& desktop);

// Places the pointer on the layout pixel (x, y), clamped to the outputs' bounding box; false without
// outputs or a pointer.
bool waylandMoveTo(WaylandDesktop& desktop, int32_t x, int32_t y);
void waylandButton(WaylandDesktop& desktop, MouseButton button, bool press);
void waylandWheel(WaylandDesktop& desktop, int32_t notches);
void waylandKey(WaylandDesktop& desktop, Key key, bool press);
// Why this compositor cannot be sent keys, for the user; empty when it can.
std::string waylandKeyProblem(WaylandDesktop& desktop);
void waylandFinish(WaylandDesktop& desktop, bool wait);
// Whether the compositor has closed the connection (it ended, or was killed); the first time, says so.
bool waylandLost(WaylandDesktop& desktop);

} // namespace platform
