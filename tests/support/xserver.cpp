#include "tests/support/xserver.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<int64_t>(left, 0, 1000000));
}

std::vector<TestMonitor> sorted(std::vector<TestMonitor> monitors) {
    std::sort(monitors.begin(), monitors.end(), [](const TestMonitor& a, const TestMonitor& b) {
        return std::tie(a.x, a.y, a.width, a.height, a.primary) <
               std::tie(b.x, b.y, b.width, b.height, b.primary);
    });
    return monitors;
}

// Physical size for a 96 dpi monitor, as xrandr wants it.
int millimetres(int32_t pixels) {
    return int((pixels * 254 + 480) / 960);
}

Display* openDisplay(const std::string& name) {
    Display* display = XOpenDisplay(name.c_str());
    if (!display) {
        throw std::runtime_error("cannot open X display " + name);
    }
    return display;
}

int x_error_code = 0;
int recordXError(Display*, XErrorEvent* event) {
    x_error_code = event->error_code;
    return 0;
}

// Switches every CRTC off, which leaves the server with no active monitor.
void switchOutputsOff(const std::string& name) {
    Display* display = openDisplay(name);
    XSync(display, False);
    x_error_code = 0;
    auto previous = XSetErrorHandler(recordXError);
    Window root = DefaultRootWindow(display);
    if (XRRScreenResources* resources = XRRGetScreenResources(display, root)) {
        for (int i = 0; i < resources->ncrtc; ++i) {
            XRRSetCrtcConfig(display, resources, resources->crtcs[i], CurrentTime, 0, 0, None, RR_Rotate_0,
                             nullptr, 0);
        }
        XRRFreeScreenResources(resources);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    if (x_error_code != 0) {
        throw std::runtime_error("switching the X outputs off failed with X error " +
                                 std::to_string(x_error_code));
    }
}

} // namespace

std::string toString(const TestMonitor& monitor) {
    return std::to_string(monitor.width) + "x" + std::to_string(monitor.height) + "+" +
           std::to_string(monitor.x) + "+" + std::to_string(monitor.y) + (monitor.primary ? "*" : "");
}

std::string toString(const std::vector<TestMonitor>& monitors) {
    std::string text = "[";
    for (size_t i = 0; i < monitors.size(); ++i) {
        text += (i ? " " : "") + toString(monitors[i]);
    }
    return text + "]";
}

std::vector<TestMonitor> queryMonitors(Display* display) {
    std::vector<TestMonitor> result;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; monitors && i < count; ++i) {
        result.push_back(
            {monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height, monitors[i].primary != 0});
    }
    if (monitors) {
        XRRFreeMonitors(monitors);
    }
    return result;
}

std::vector<TestMonitor> queryMonitors(const std::string& display_name) {
    Display* display = openDisplay(display_name);
    auto result = queryMonitors(display);
    XCloseDisplay(display);
    return result;
}

XServer::XServer(const std::vector<TestMonitor>& monitors, Timeout timeout) {
    if (monitors.empty()) {
        throw std::invalid_argument("XServer needs monitors; use XServer::withoutMonitors or XServer::plain");
    }
    int32_t width = 0;
    int32_t height = 0;
    for (const auto& monitor : monitors) {
        if (monitor.x < 0 || monitor.y < 0 || monitor.width <= 0 || monitor.height <= 0) {
            throw std::invalid_argument("monitor outside the X root: " + toString(monitor));
        }
        width = std::max(width, monitor.x + monitor.width);
        height = std::max(height, monitor.y + monitor.height);
    }
    start(width, height, timeout);
    setMonitors(monitors, timeout);
}

XServer XServer::withoutMonitors(int32_t width, int32_t height, Timeout timeout) {
    XServer server;
    server.start(width, height, timeout);
    switchOutputsOff(server.display_);
    auto deadline = Clock::now() + timeout;
    while (!queryMonitors(server.display_).empty()) {
        if (Clock::now() >= deadline) {
            throw std::runtime_error("X server still reports monitors: " +
                                     toString(queryMonitors(server.display_)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return server;
}

XServer XServer::plain(int32_t width, int32_t height, Timeout timeout) {
    XServer server;
    server.start(width, height, timeout);
    return server;
}

void XServer::start(int32_t width, int32_t height, Timeout timeout) {
    width_ = width;
    height_ = height;
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::string failures;
    int base = 50 + int(getpid() % 200);
    for (int number = base; number < base + 300; ++number) {
        if (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            continue;
        }
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        ProcessOptions options;
        options.keep_fds = {ready[1]};
        auto server = std::make_unique<Process>(
            std::vector<std::string>{"Xvfb", ":" + std::to_string(number), "-screen", "0", screen,
                                     "-nolisten", "tcp", "-noreset", "-displayfd", std::to_string(ready[1])},
            options);
        ::close(ready[1]);

        // The server writes its display number and a line break when it accepts connections; end of file
        // means it gave up (typically: the display is taken).
        std::string reply;
        auto deadline = Clock::now() + timeout;
        bool ended = false;
        while (reply.find('\n') == std::string::npos) {
            pollfd fd{ready[0], POLLIN, 0};
            int left = remainingMs(deadline);
            if (left == 0) {
                break;
            }
            if (::poll(&fd, 1, left) < 0 && errno != EINTR) {
                break;
            }
            char buffer[64];
            ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n > 0) {
                reply.append(buffer, size_t(n));
            } else if (n == 0) {
                ended = true;
                break;
            } else if (errno != EINTR && errno != EAGAIN) {
                ended = true;
                break;
            }
        }
        ::close(ready[0]);
        if (reply.find('\n') != std::string::npos) {
            if (std::stoi(reply) != number) {
                throw std::runtime_error("Xvfb reported display " + reply + " instead of " +
                                         std::to_string(number));
            }
            number_ = number;
            display_ = ":" + std::to_string(number);
            server_ = std::move(server);
            return;
        }
        if (!ended) {
            throw std::runtime_error("Xvfb did not become ready in time: " + server->err());
        }
        server->waitExit(timeout);
        failures = server->err();
    }
    throw std::runtime_error("no display number was free for Xvfb; last failure: " + failures);
}

XServer::~XServer() = default;
XServer::XServer(XServer&&) noexcept = default;
XServer& XServer::operator=(XServer&&) noexcept = default;

const std::string& XServer::display() const {
    return display_;
}
int XServer::displayNumber() const {
    return number_;
}
int32_t XServer::width() const {
    return width_;
}
int32_t XServer::height() const {
    return height_;
}
std::pair<std::string, std::string> XServer::displayEnv() const {
    return {"DISPLAY", display_};
}

std::string XServer::serverLog() const {
    return server_ ? server_->err() + server_->out() : std::string();
}

void XServer::setMonitors(const std::vector<TestMonitor>& monitors, Timeout timeout) {
    ProcessOptions options;
    options.env = {displayEnv()};
    auto xrandr = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xrandr"};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult result = runProcess(argv, options, timeout);
        if (result.status != 0) {
            std::string command;
            for (const auto& arg : argv) {
                command += arg + " ";
            }
            throw std::runtime_error(command + "failed: " + result.err);
        }
    };
    for (const auto& name : monitor_names_) {
        xrandr({"--delmonitor", name});
    }
    monitor_names_.clear();
    for (size_t i = 0; i < monitors.size(); ++i) {
        const auto& m = monitors[i];
        std::string name = "M" + std::to_string(next_name_++);
        std::string geometry = std::to_string(m.width) + "/" + std::to_string(millimetres(m.width)) + "x" +
                               std::to_string(m.height) + "/" + std::to_string(millimetres(m.height)) + "+" +
                               std::to_string(m.x) + "+" + std::to_string(m.y);
        // The first monitor takes the server's only output, which removes the automatic whole-root monitor.
        xrandr({"--setmonitor", (m.primary ? "*" : "") + name, geometry, i == 0 ? "screen" : "none"});
        monitor_names_.push_back(name);
    }
    auto wanted = sorted(monitors);
    auto deadline = Clock::now() + timeout;
    Display* display = openDisplay(display_);
    for (;;) {
        auto seen = sorted(queryMonitors(display));
        if (seen == wanted) {
            break;
        }
        if (Clock::now() >= deadline) {
            XCloseDisplay(display);
            throw std::runtime_error("X server reports monitors " + toString(seen) + " instead of " +
                                     toString(wanted));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XCloseDisplay(display);
}

XObserver::XObserver(const std::string& display_name) : display_(openDisplay(display_name)) {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display_, "XInputExtension", &xi_opcode_, &event, &error)) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server has no XInput extension");
    }
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display_, &major, &minor) != Success) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server has no XInput 2.2");
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{};
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XSync(display_, False);
}

XObserver::~XObserver() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

PointerPosition XObserver::pointer() {
    Window root = 0;
    Window child = 0;
    int root_x = 0;
    int root_y = 0;
    int win_x = 0;
    int win_y = 0;
    unsigned int mask = 0;
    XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &root_x, &root_y, &win_x, &win_y,
                  &mask);
    return {root_x, root_y};
}

bool XObserver::waitForPointer(int32_t x, int32_t y, Timeout timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (pointer() == PointerPosition{x, y}) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void XObserver::pump() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xi_opcode_ ||
            !XGetEventData(display_, cookie)) {
            continue;
        }
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        switch (cookie->evtype) {
        case XI_RawButtonPress:
            buttons_.push_back({raw->detail, true, uint32_t(raw->time)});
            break;
        case XI_RawButtonRelease:
            buttons_.push_back({raw->detail, false, uint32_t(raw->time)});
            break;
        case XI_RawMotion:
            motions_.push_back({uint32_t(raw->time), monotonicUs()});
            break;
        default:
            break;
        }
        XFreeEventData(display_, cookie);
    }
}

bool XObserver::waitForEvents(const std::function<bool()>& done, Timeout timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        pump();
        if (done()) {
            return true;
        }
        int left = remainingMs(deadline);
        if (left == 0) {
            return false;
        }
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        ::poll(&fd, 1, std::min(left, 100));
    }
}

std::vector<ButtonEvent> XObserver::buttonEvents() {
    pump();
    return std::exchange(buttons_, {});
}

bool XObserver::waitForButtonEvents(size_t count, Timeout timeout) {
    return waitForEvents([&] { return buttons_.size() >= count; }, timeout);
}

std::vector<MotionEvent> XObserver::motionEvents() {
    pump();
    return std::exchange(motions_, {});
}

bool XObserver::waitForMotionEvents(size_t count, Timeout timeout) {
    return waitForEvents([&] { return motions_.size() >= count; }, timeout);
}

void XObserver::injectMotion(int32_t x, int32_t y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

void XObserver::injectButton(int button, bool press) {
    XTestFakeButtonEvent(display_, unsigned(button), press ? True : False, CurrentTime);
    XSync(display_, False);
}

std::vector<TestMonitor> XObserver::monitors() {
    return queryMonitors(display_);
}

RootSize XObserver::rootSize() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, DefaultRootWindow(display_), &attributes);
    return {attributes.width, attributes.height};
}

} // namespace testsupport
