// Linux: the desktop that both programs talk to, chosen once when the process starts. Under Wayland the
// compositor's own virtual pointer, or GNOME's remote desktop, because X input through Xwayland reaches
// only X programs; otherwise the X server.
#include "platform/desktop_backends.h"
#include "platform/held_input.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

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
    return x11;
}

const DesktopOps* desktop() {
    static const DesktopOps* const chosen = chooseDesktop();
    return chosen;
}

// The wheel comes in 120ths of a notch; the desktops here know whole notches only. The signed
// remainder is kept, and the quotient truncates toward zero, so small amounts in either direction add up
// symmetrically.
int32_t wheel_accumulator = 0;

// The buttons and keys held down, counted, whichever backend sends them.
HeldInput held_input;

} // namespace

std::string openDesktop() {
    if (desktop())
        return {};
    const std::string wayland = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    const std::string x11 = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    const std::string lead = "No desktop to work on: ";
    if (wayland.empty() && x11.empty())
        return lead + "neither WAYLAND_DISPLAY nor DISPLAY is set.";
    if (wayland.empty())
        return lead + "the X display \"" + x11 + "\" cannot be opened.";
    if (x11.empty())
        return lead + "the Wayland desktop \"" + wayland + "\" cannot be used, and DISPLAY is not set.";
    return lead + "neither the Wayland desktop \"" + wayland + "\" nor the X display \"" + x11 +
           "\" can be used.";
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

void askCursorPos() {
    const DesktopOps* ops = desktop();
    if (ops && ops->ask_position)
        ops->ask_position();
}

std::optional<CursorPosition> cursorPos() {
    const DesktopOps* ops = desktop();
    return ops && ops->position ? ops->position() : std::nullopt;
}

void sendMouseButton(MouseButton button, ButtonAction action) {
    const DesktopOps* ops = desktop();
    if (!ops || !countHold(held_input, button, action))
        return;
    if (action != ButtonAction::up)
        ops->button(button, true);
    if (action != ButtonAction::down)
        ops->button(button, false);
    // A release must reach the desktop even when the program ends right after it (an orderly shutdown
    // releases the held button, then exits): wait until it has been processed.
    ops->finish(action != ButtonAction::down);
}

void sendMouseWheel(int32_t units) {
    const DesktopOps* ops = desktop();
    if (!ops)
        return;
    wheel_accumulator += units;
    const int32_t notches = wheel_accumulator / 120;
    wheel_accumulator -= notches * 120;
    if (notches != 0)
        ops->wheel(notches);
    ops->finish(false);
}

void sendKey(Key key, bool press) {
    const DesktopOps* ops = desktop();
    if (!ops || !ops->key || !countHold(held_input, key, press))
        return;
    ops->key(key, press);
    ops->finish(!press);
}

std::string keyProblem(Key key) {
    const DesktopOps* ops = desktop();
    if (!ops)
        return {};
    if (!ops->key)
        return "this desktop cannot be sent keys";
    return ops->key_problem ? ops->key_problem(key) : std::string();
}

namespace {

struct KeyCodes {
    uint32_t keysym;
    uint16_t evdev;
};

// In the order of Key.
// clang-format off
constexpr KeyCodes kKeyCodes[] = {
    {XK_a, KEY_A}, {XK_b, KEY_B}, {XK_c, KEY_C}, {XK_d, KEY_D}, {XK_e, KEY_E}, {XK_f, KEY_F}, {XK_g, KEY_G},
    {XK_h, KEY_H}, {XK_i, KEY_I}, {XK_j, KEY_J}, {XK_k, KEY_K}, {XK_l, KEY_L}, {XK_m, KEY_M}, {XK_n, KEY_N},
    {XK_o, KEY_O}, {XK_p, KEY_P}, {XK_q, KEY_Q}, {XK_r, KEY_R}, {XK_s, KEY_S}, {XK_t, KEY_T}, {XK_u, KEY_U},
    {XK_v, KEY_V}, {XK_w, KEY_W}, {XK_x, KEY_X}, {XK_y, KEY_Y}, {XK_z, KEY_Z},
    {XK_0, KEY_0}, {XK_1, KEY_1}, {XK_2, KEY_2}, {XK_3, KEY_3}, {XK_4, KEY_4}, {XK_5, KEY_5}, {XK_6, KEY_6},
    {XK_7, KEY_7}, {XK_8, KEY_8}, {XK_9, KEY_9},
    {XK_F1, KEY_F1}, {XK_F2, KEY_F2}, {XK_F3, KEY_F3}, {XK_F4, KEY_F4}, {XK_F5, KEY_F5}, {XK_F6, KEY_F6},
    {XK_F7, KEY_F7}, {XK_F8, KEY_F8}, {XK_F9, KEY_F9}, {XK_F10, KEY_F10}, {XK_F11, KEY_F11}, {XK_F12, KEY_F12},
    {XK_Escape, KEY_ESC}, {XK_Tab, KEY_TAB}, {XK_space, KEY_SPACE}, {XK_Return, KEY_ENTER},
    {XK_BackSpace, KEY_BACKSPACE}, {XK_Delete, KEY_DELETE}, {XK_Insert, KEY_INSERT}, {XK_Home, KEY_HOME},
    {XK_End, KEY_END}, {XK_Page_Up, KEY_PAGEUP}, {XK_Page_Down, KEY_PAGEDOWN}, {XK_Up, KEY_UP},
    {XK_Down, KEY_DOWN}, {XK_Left, KEY_LEFT}, {XK_Right, KEY_RIGHT}, {XK_Print, KEY_SYSRQ},
    {XF86XK_AudioRaiseVolume, KEY_VOLUMEUP}, {XF86XK_AudioLowerVolume, KEY_VOLUMEDOWN},
    {XF86XK_AudioMute, KEY_MUTE}, {XF86XK_AudioPlay, KEY_PLAYPAUSE}, {XF86XK_AudioNext, KEY_NEXTSONG},
    {XF86XK_AudioPrev, KEY_PREVIOUSSONG},
    {XK_Control_L, KEY_LEFTCTRL}, {XK_Alt_L, KEY_LEFTALT}, {XK_Shift_L, KEY_LEFTSHIFT}, {XK_Super_L, KEY_LEFTMETA},
};
// clang-format on
static_assert(std::size(kKeyCodes) == kKeyCount);

} // namespace

uint32_t keysymOf(Key key) {
    return kKeyCodes[static_cast<size_t>(key)].keysym;
}

uint32_t evdevCodeOf(Key key) {
    return kKeyCodes[static_cast<size_t>(key)].evdev;
}

} // namespace platform
