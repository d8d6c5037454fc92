// Linux/X11: the desktop from an X server (RandR monitors, Xinerama, or the root), pointer and buttons
// through XTest.
#include "platform/desktop_backends.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

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

bool x11MoveTo(int32_t x, int32_t y) {
    XTestFakeMotionEvent(display(), -1, x, y, CurrentTime);
    // Sent at once, without waiting for a reply: a round trip every frame would cost time and Xlib's
    // reply handling allocates.
    XFlush(display());
    return true;
}

void x11Button(MouseButton button, bool press) {
    const unsigned number = button == MouseButton::left ? 1 : button == MouseButton::right ? 3 : 2;
    XTestFakeButtonEvent(display(), number, press ? True : False, CurrentTime);
}

// X knows whole notches only, as presses of button 4 (up) and 5 (down).
void x11Wheel(int32_t notches) {
    const unsigned button = notches > 0 ? 4 : 5;
    for (int32_t n = notches > 0 ? notches : -notches; n > 0; --n) {
        XTestFakeButtonEvent(display(), button, True, CurrentTime);
        XTestFakeButtonEvent(display(), button, False, CurrentTime);
    }
}

void x11Finish(bool wait) {
    if (wait)
        XSync(display(), False);
    else
        XFlush(display());
}

constexpr DesktopOps kX11Ops{x11Monitors, x11MoveTo, x11Button, x11Wheel, x11Finish};

} // namespace

const DesktopOps* openX11Desktop() {
    return display() ? &kX11Ops : nullptr;
}

} // namespace platform
