// Linux/X11: the desktop from an X server (RandR monitors, Xinerama, or the root), pointer, buttons and
// keys through XTest. The monitors are read with Xlib; the pointer's requests, sent every frame, go straight
// to the connection's XCB side: Xlib's flush also reads the socket for events this client never asks for (two
// more system calls a frame), XCB's only waits until it can write, and writes.
#include "desktop/desktop_backend.h"
#include "watchdog/watchdog.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <xcb/xtest.h>

#include <array>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

Display* display() {
    static Display* connection = XOpenDisplay(nullptr);
    return connection;
}

bool readRandrMonitors(Display* dpy, Window root, std::vector<MonitorInfo>& out) {
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(dpy, &event_base, &error_base) || !XRRQueryVersion(dpy, &major, &minor))
        return false;
    if (major < 1 || (major == 1 && minor < 5))
        return false;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy, root, True, &count);
    if (!monitors)
        return false;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        out.push_back({m.x, m.y, m.x + m.width, m.y + m.height});
    }
    XRRFreeMonitors(monitors);
    return !out.empty();
}

bool readXineramaScreens(Display* dpy, std::vector<MonitorInfo>& out) {
    int event_base = 0;
    int error_base = 0;
    if (!XineramaQueryExtension(dpy, &event_base, &error_base) || !XineramaIsActive(dpy))
        return false;
    int count = 0;
    XineramaScreenInfo* screens = XineramaQueryScreens(dpy, &count);
    if (!screens)
        return false;
    for (int i = 0; i < count; ++i) {
        const XineramaScreenInfo& s = screens[i];
        out.push_back({s.x_org, s.y_org, s.x_org + s.width, s.y_org + s.height});
    }
    XFree(screens);
    return !out.empty();
}

DesktopReport x11Monitors() {
    DesktopReport report;
    Display* dpy = display();
    if (!dpy)
        return report;
    const Window root = DefaultRootWindow(dpy);
    if (!readRandrMonitors(dpy, root, report.monitors) && !readXineramaScreens(dpy, report.monitors)) {
        // DisplayWidth is cached when the connection opens; the window attributes are current.
        XWindowAttributes attributes{};
        XGetWindowAttributes(dpy, root, &attributes);
        report.monitors.push_back({0, 0, attributes.width, attributes.height});
    }
    fitVirtualScreen(report);
    return report;
}

xcb_connection_t* connection() {
    static xcb_connection_t* const xcb = XGetXCBConnection(display());
    return xcb;
}

// Whether the server has XTest (without it, as with Xlib's XTest calls, nothing is sent).
bool haveXTest() {
    static const bool present = [] {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection(), &xcb_test_id);
        return extension && extension->present;
    }();
    return present;
}

void fakeInput(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0) {
    if (haveXTest())
        xcb_test_fake_input(connection(), type, detail, XCB_CURRENT_TIME, XCB_NONE, x, y, 0);
}

// Events and errors this client did not ask for collect in XCB's queue as the socket is read; dropped here,
// without a system call. A lost connection is left to Xlib, which reports it and ends the program as it
// always has.
void afterSending() {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection()))
        std::free(event);
    if (xcb_connection_has_error(connection()))
        XFlush(display());
}

bool x11MoveTo(int32_t x, int32_t y) {
    // Sent at once, without waiting for a reply: a round trip every frame would cost time.
    fakeInput(XCB_MOTION_NOTIFY, 0, static_cast<int16_t>(x), static_cast<int16_t>(y));
    xcb_flush(connection());
    afterSending();
    return true;
}

void x11Button(MouseButton button, bool press) {
    const uint8_t number = button == MouseButton::left ? 1 : button == MouseButton::right ? 3 : 2;
    fakeInput(press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, number);
    watchdog::tell(watchdog::InputKind::button, number, press);
}

// X knows whole notches only, as presses of button 4 (up) and 5 (down).
void x11Wheel(int32_t notches) {
    const uint8_t button = notches > 0 ? 4 : 5;
    for (int32_t n = notches > 0 ? notches : -notches; n > 0; --n) {
        fakeInput(XCB_BUTTON_PRESS, button);
        fakeInput(XCB_BUTTON_RELEASE, button);
    }
}

// The key code that the server's keymap, as it is now, gives the keysym: the first key that has it,
// preferring the keysym without Shift or other levels. 0 when no key has it.
xcb_keycode_t keycodeOf(xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection());
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        connection(), xcb_get_keyboard_mapping(connection(), first, static_cast<uint8_t>(count)), nullptr);
    if (!mapping)
        return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int per_key = mapping->keysyms_per_keycode;
    xcb_keycode_t found = 0;
    for (int level = 0; level < per_key && !found; ++level) {
        for (int key = 0; key < count && !found; ++key) {
            if (keysyms[key * per_key + level] == keysym)
                found = static_cast<xcb_keycode_t>(first + key);
        }
    }
    std::free(mapping);
    return found;
}

// The key code each held key went down with: its release lets go of exactly that key, whatever the keymap
// has become since (a layout switched while a binding holds the key). 0 while not held.
std::array<xcb_keycode_t, kKeyCount> pressed_codes{};

void x11Key(Key key, bool press) {
    // Looked up at every press: the user may change the keymap while Wand runs.
    xcb_keycode_t& pressed = pressed_codes[static_cast<size_t>(key)];
    const xcb_keycode_t code = press ? keycodeOf(keysymOf(key)) : pressed;
    pressed = press ? code : 0;
    if (!code)
        return;
    fakeInput(press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code);
    watchdog::tell(watchdog::InputKind::key, code, press);
}

std::string x11KeyProblem(Key key) {
    if (keycodeOf(keysymOf(key)))
        return {};
    const char* name = XKeysymToString(keysymOf(key));
    return std::string("the X server's keymap has no key with the keysym ") + (name ? name : "?");
}

void x11Finish(bool wait) {
    if (wait)
        std::free(xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr));
    else
        xcb_flush(connection());
    afterSending();
}

// The question about the pointer's position that is out, if any. The server answers it after every
// placement sent before it, so a pointer this program placed is never taken for one moved by another.
struct PositionQuestion {
    bool out = false;
    xcb_query_pointer_cookie_t cookie{};
};

PositionQuestion& question() {
    static PositionQuestion asked;
    return asked;
}

void x11AskPosition() {
    xcb_connection_t* const c = connection();
    if (question().out)
        xcb_discard_reply(c, question().cookie.sequence);
    question() = {true, xcb_query_pointer(c, DefaultRootWindow(display()))};
    xcb_flush(c);
}

std::optional<CursorPosition> x11Position() {
    if (!question().out)
        return std::nullopt;
    question().out = false;
    xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(connection(), question().cookie, nullptr);
    afterSending();
    if (!reply)
        return std::nullopt;
    const CursorPosition at{reply->root_x, reply->root_y};
    std::free(reply);
    return at;
}

constexpr DesktopOps kX11Ops{.monitors = x11Monitors,
                             .move_to = x11MoveTo,
                             .button = x11Button,
                             .wheel = x11Wheel,
                             .key = x11Key,
                             .key_problem = x11KeyProblem,
                             .finish = x11Finish,
                             .ask_position = x11AskPosition,
                             .position = x11Position};

} // namespace

const DesktopOps* openX11Desktop(std::string&) {
    return display() ? &kX11Ops : nullptr;
}

} // namespace platform
