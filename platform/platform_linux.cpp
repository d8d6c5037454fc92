// Linux: the desktop that both programs talk to, chosen once when the process starts. Under Wayland the
// compositor's own virtual pointer, or GNOME's remote desktop, because X input through Xwayland reaches
// only X programs; otherwise the X server.
#include "platform/desktop_backends.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

const DesktopOps* chooseDesktop() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!wayland || !*wayland)
        return openX11Desktop();
    std::string refusal;
    if (const DesktopOps* ops = openWaylandDesktop(refusal))
        return ops;
    std::string gnome_refusal;
    if (const DesktopOps* ops = openGnomeDesktop(gnome_refusal))
        return ops;
    print("\n%s, and %s: Wand has no way to move the pointer under Wayland.\n", refusal.c_str(),
          gnome_refusal.c_str());
    const DesktopOps* x11 = openX11Desktop();
    if (x11)
        print("Using X11 through Xwayland instead: only X programs will see the pointer.\n");
    else
        print("There is no X11 display either: the pointer cannot be moved.\n");
    return x11;
}

const DesktopOps* desktop() {
    static const DesktopOps* const chosen = chooseDesktop();
    return chosen;
}

// Windows counts the wheel in 120ths of a notch; the desktops here know whole notches only. The signed
// remainder is kept, and the quotient truncates toward zero, so small amounts in either direction add up
// symmetrically.
int32_t wheel_accumulator = 0;

} // namespace

void prepareProcess() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    desktop();
}

MonitorInfo around(const MonitorInfo& a, const MonitorInfo& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

void fitVirtualScreen(DesktopReport& report) {
    if (report.monitors.empty())
        return;
    MonitorInfo box = report.monitors.front();
    for (const MonitorInfo& m : report.monitors)
        box = around(box, m);
    report.virtual_width = box.right - box.left;
    report.virtual_height = box.bottom - box.top;
}

DesktopReport enumerateMonitors() {
    const DesktopOps* ops = desktop();
    return ops ? ops->monitors() : DesktopReport{};
}

bool desktopLost() {
    const DesktopOps* ops = desktop();
    return ops && ops->lost && ops->lost();
}

bool setCursorPos(int32_t x, int32_t y) {
    const DesktopOps* ops = desktop();
    return ops && ops->move_to(x, y);
}

void sendMouseInput(const MouseInput& input) {
    const DesktopOps* ops = desktop();
    if (!ops)
        return;
    // The order in which Windows acts on the flags of one record: each button's down before its up.
    struct FlagButton {
        uint32_t flag;
        MouseButton button;
        bool press;
    };
    static constexpr FlagButton kOrder[] = {
        {kMouseLeftDown, MouseButton::left, true},     {kMouseLeftUp, MouseButton::left, false},
        {kMouseRightDown, MouseButton::right, true},   {kMouseRightUp, MouseButton::right, false},
        {kMouseMiddleDown, MouseButton::middle, true}, {kMouseMiddleUp, MouseButton::middle, false},
    };
    for (const FlagButton& fb : kOrder) {
        if (input.flags & fb.flag)
            ops->button(fb.button, fb.press);
    }
    if (input.flags & kMouseWheel) {
        wheel_accumulator += input.mouse_data;
        const int32_t notches = wheel_accumulator / 120;
        wheel_accumulator -= notches * 120;
        if (notches != 0)
            ops->wheel(notches);
    }
    // A release must reach the desktop even when the program ends right after it (an orderly shutdown
    // releases the held button, then exits): wait until it has been processed.
    ops->finish((input.flags & (kMouseLeftUp | kMouseRightUp | kMouseMiddleUp)) != 0);
}

} // namespace platform
