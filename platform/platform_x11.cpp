// Linux: time from CLOCK_MONOTONIC, the desktop from an X server (RandR monitors, Xinerama, or the root),
// pointer and buttons through XTest.
#include "platform/platform.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

uint64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

} // namespace

uint32_t tickCount() {
    return static_cast<uint32_t>(monotonicMs());
}

void sleepUntil(uint32_t deadline) {
    const uint64_t now = monotonicMs();
    const auto ahead = static_cast<int32_t>(deadline - static_cast<uint32_t>(now));
    if (ahead <= 0)
        return;
    // The tick reads `deadline` from the first nanosecond of that millisecond on: wake up right then,
    // on the same clock, so that no drift between sleep and tick can add a second wake-up.
    const uint64_t due = now + static_cast<uint64_t>(ahead);
    const timespec at{static_cast<time_t>(due / 1000u), static_cast<long>(due % 1000u) * 1000000L};
    // A signal ends the sleep early, as in sleepMs.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

void sleepMs(uint32_t ms) {
    timespec rest{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    // A signal ends the sleep early; the caller's loop looks at the shutdown flag next.
    nanosleep(&rest, nullptr);
}

void pauseConsole() {
    if (!isatty(STDIN_FILENO))
        return;
    std::printf("Press Enter to continue . . . ");
    std::fflush(stdout);
    int c;
    do {
        c = std::getchar();
    } while (c != '\n' && c != EOF);
}

void prepareProcess() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

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

} // namespace

DesktopReport enumerateMonitors() {
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
    int32_t left = report.monitors.front().left;
    int32_t top = report.monitors.front().top;
    int32_t right = report.monitors.front().right;
    int32_t bottom = report.monitors.front().bottom;
    for (const MonitorInfo& m : report.monitors) {
        left = std::min(left, m.left);
        top = std::min(top, m.top);
        right = std::max(right, m.right);
        bottom = std::max(bottom, m.bottom);
    }
    report.virtual_width = right - left;
    report.virtual_height = bottom - top;
    return report;
}

bool setCursorPos(int32_t x, int32_t y) {
    Display* dpy = display();
    if (!dpy)
        return false;
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    // Sent at once, without waiting for a reply: a round trip every frame would cost time and Xlib's
    // reply handling allocates.
    XFlush(dpy);
    return true;
}

namespace {

// Windows counts the wheel in 120ths of a notch; X knows whole notches only. The signed remainder is
// kept, and the quotient truncates toward zero, so small amounts in either direction add up symmetrically.
int32_t wheel_accumulator = 0;

void fakeButton(Display* dpy, unsigned button, bool press) {
    XTestFakeButtonEvent(dpy, button, press ? True : False, CurrentTime);
}

} // namespace

void sendMouseInput(const MouseInput& input) {
    Display* dpy = display();
    if (!dpy)
        return;
    // The order in which Windows acts on the flags of one record: each button's down before its up.
    struct FlagButton {
        uint32_t flag;
        unsigned button;
        bool press;
    };
    static constexpr FlagButton kOrder[] = {
        {kMouseLeftDown, 1, true}, {kMouseLeftUp, 1, false},    {kMouseRightDown, 3, true},
        {kMouseRightUp, 3, false}, {kMouseMiddleDown, 2, true}, {kMouseMiddleUp, 2, false},
    };
    for (const FlagButton& fb : kOrder) {
        if (input.flags & fb.flag)
            fakeButton(dpy, fb.button, fb.press);
    }
    if (input.flags & kMouseWheel) {
        wheel_accumulator += input.mouse_data;
        const int32_t notches = wheel_accumulator / 120;
        wheel_accumulator -= notches * 120;
        const unsigned button = notches > 0 ? 4 : 5;
        for (int32_t n = notches > 0 ? notches : -notches; n > 0; --n) {
            fakeButton(dpy, button, true);
            fakeButton(dpy, button, false);
        }
    }
    // A release must reach the server even when the program ends right after it (an orderly shutdown
    // releases the held button, then exits): wait until it has been processed.
    if (input.flags & (kMouseLeftUp | kMouseRightUp | kMouseMiddleUp))
        XSync(dpy, False);
    else
        XFlush(dpy);
}

namespace {

volatile std::sig_atomic_t shutdown_requested = 0;

extern "C" void onShutdownSignal(int) {
    shutdown_requested = 1;
}

} // namespace

void installShutdownHandler() {
    struct sigaction action {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep in progress ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool shutdownRequested() {
    return shutdown_requested != 0;
}

} // namespace platform

// Replacing a file in one step, for the configuration writer.
std::string platform::replaceFile(const std::string& source, const std::string& target) {
    // Put the new contents on the disk before they take the old file's place.
    const int file = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::strerror(errno);
    }
    if (fsync(file) != 0) {
        const int error = errno;
        close(file);
        return std::strerror(error);
    }
    close(file);
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        return std::strerror(errno);
    }
    // Make the new directory entry durable too; some file systems cannot sync a directory, which
    // does not make the replacement itself fail.
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return {};
}
