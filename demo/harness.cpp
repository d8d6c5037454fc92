#include "demo/harness.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace harness {

int64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t monotonicMs() {
    return monotonicUs() / 1000;
}

std::filesystem::path ownFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void drain(int& fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, size_t(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else {
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                closeFd(fd);
            return;
        }
    }
}

} // namespace

void start(Child& child, const std::vector<std::string>& argv, const std::filesystem::path& folder,
           const Environment& env) {
    // Everything the new program needs is made before fork: the child only rearranges descriptors.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(env.begin(), env.end(), [&](const auto& kv) {
            return entry.compare(0, kv.first.size() + 1, kv.first + "=") == 0;
        });
        if (!replaced)
            environment.push_back(entry);
    }
    for (const auto& [key, value] : env)
        environment.push_back(key + "=" + value);
    std::vector<char*> args;
    std::vector<char*> envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string where = folder.string();

    int in[2], out[2], err[2], failed[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC) || pipe2(failed, O_CLOEXEC))
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    ::signal(SIGPIPE, SIG_IGN); // a program that has closed its input must not end ours
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (chdir(where.c_str()) == 0)
            execve(args[0], args.data(), envp.data());
        const int error = errno;
        [[maybe_unused]] ssize_t n = ::write(failed[1], &error, sizeof error);
        _exit(127);
    }
    for (int fd : {in[0], out[1], err[1], failed[1]})
        ::close(fd);
    int error = 0;
    const bool exec_failed = pid > 0 && ::read(failed[0], &error, sizeof error) == sizeof error;
    ::close(failed[0]);
    if (pid < 0 || exec_failed) {
        for (int fd : {in[1], out[0], err[0]})
            ::close(fd);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        throw std::runtime_error(argv[0] + ": " + std::strerror(pid < 0 ? errno : error));
    }
    child.pid = pid;
    child.input = in[1];
    child.output = out[0];
    child.errors = err[0];
    fcntl(child.output, F_SETFL, O_NONBLOCK);
    fcntl(child.errors, F_SETFL, O_NONBLOCK);
}

void writeInput(Child& child, const std::string& text) {
    for (size_t done = 0; child.input >= 0 && done < text.size();) {
        const ssize_t n = ::write(child.input, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR)
            return;
        done += n > 0 ? size_t(n) : 0;
    }
}

void closeInput(Child& child) {
    closeFd(child.input);
}

void readOutput(Child& child) {
    if (child.output >= 0)
        drain(child.output, child.out);
    if (child.errors >= 0)
        drain(child.errors, child.err);
}

std::optional<int> exitStatus(Child& child) {
    if (!child.status && child.pid > 0) {
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            child.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            // The program has ended: what it wrote is all in the pipes now.
            for (int* fd : {&child.output, &child.errors}) {
                if (*fd >= 0)
                    fcntl(*fd, F_SETFL, 0);
            }
        }
    }
    readOutput(child);
    return child.status;
}

std::optional<int> waitExit(Child& child, Timeout timeout) {
    const int64_t deadline = monotonicMs() + timeout.count();
    while (!exitStatus(child) && monotonicMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return child.status;
}

void signal(Child& child, int sig) {
    if (child.pid > 0 && !exitStatus(child))
        ::kill(child.pid, sig);
}

Child::~Child() {
    if (pid > 0 && !exitStatus(*this)) {
        ::kill(-pid, SIGTERM);
        if (!waitExit(*this, Timeout(5000))) {
            ::kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    for (int* fd : {&input, &output, &errors})
        closeFd(*fd);
}

namespace {

std::vector<Monitor> monitorsOf(Display* display) {
    std::vector<Monitor> result;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; monitors && i < count; ++i)
        result.push_back(
            {monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height, monitors[i].primary != 0});
    if (monitors)
        XRRFreeMonitors(monitors);
    std::sort(result.begin(), result.end(), [](const Monitor& a, const Monitor& b) { return a.x < b.x; });
    return result;
}

bool same(const std::vector<Monitor>& a, const std::vector<Monitor>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Monitor& m, const Monitor& n) {
        return m.x == n.x && m.y == n.y && m.width == n.width && m.height == n.height &&
               m.primary == n.primary;
    });
}

} // namespace

void start(XServer& x, const std::vector<Monitor>& monitors, Timeout timeout) {
    int32_t width = 0, height = 0;
    for (const Monitor& m : monitors) {
        width = std::max(width, m.x + m.width);
        height = std::max(height, m.y + m.height);
    }
    // Xvfb picks a free display and writes its number to the descriptor it is given.
    int ready[2];
    if (pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    char screen[64];
    std::snprintf(screen, sizeof screen, "%dx%dx24", int(width), int(height));
    start(x.server,
          {"/usr/bin/Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset", "-displayfd",
           std::to_string(ready[1])},
          std::filesystem::temp_directory_path(), {});
    ::close(ready[1]);
    std::string number;
    char c = 0;
    pollfd fd{ready[0], POLLIN, 0};
    while (poll(&fd, 1, int(timeout.count())) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(ready[0]);
    if (c != '\n')
        throw std::runtime_error("Xvfb did not start: " + x.server.err);
    x.display = ":" + number;

    std::vector<Monitor> wanted;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Monitor& m = monitors[i];
        // Sizes for 96 dots per inch; the first monitor takes the server's only output.
        char geometry[128];
        std::snprintf(geometry, sizeof geometry, "%d/%dx%d/%d+%d+%d", int(m.width),
                      int((m.width * 254 + 480) / 960), int(m.height), int((m.height * 254 + 480) / 960),
                      int(m.x), int(m.y));
        char name[32];
        std::snprintf(name, sizeof name, "%sM%zu", m.primary ? "*" : "", i);
        Child xrandr;
        start(xrandr, {"/usr/bin/xrandr", "--setmonitor", name, geometry, i == 0 ? "screen" : "none"},
              std::filesystem::temp_directory_path(), {{"DISPLAY", x.display}});
        if (waitExit(xrandr, timeout) != 0)
            throw std::runtime_error("xrandr failed: " + xrandr.err);
        wanted.push_back(m);
    }
    std::sort(wanted.begin(), wanted.end(), [](const Monitor& a, const Monitor& b) { return a.x < b.x; });
    Display* display = XOpenDisplay(x.display.c_str());
    const int64_t deadline = monotonicMs() + timeout.count();
    while (display && !same(monitorsOf(display), wanted) && monotonicMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool ok = display && same(monitorsOf(display), wanted);
    if (display)
        XCloseDisplay(display);
    if (!ok)
        throw std::runtime_error("the X server does not report the monitors");
}

void open(XObserver& observer, const std::string& display) {
    observer.display = XOpenDisplay(display.c_str());
    int event = 0, error = 0, major = 2, minor = 2;
    if (!observer.display ||
        !XQueryExtension(observer.display, "XInputExtension", &observer.xi_opcode, &event, &error) ||
        XIQueryVersion(observer.display, &major, &minor) != Success)
        throw std::runtime_error("no X server with XInput 2.2 at " + display);
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(observer.display, DefaultRootWindow(observer.display), &mask, 1);
    XSync(observer.display, False);
}

XObserver::~XObserver() {
    if (display)
        XCloseDisplay(display);
}

PointerPosition pointer(XObserver& observer) {
    Window root = 0, child = 0;
    int x = 0, y = 0, window_x = 0, window_y = 0;
    unsigned mask = 0;
    XQueryPointer(observer.display, DefaultRootWindow(observer.display), &root, &child, &x, &y, &window_x,
                  &window_y, &mask);
    return {x, y};
}

bool waitForPointer(XObserver& observer, PointerPosition at, Timeout timeout) {
    const int64_t deadline = monotonicMs() + timeout.count();
    while (!(pointer(observer) == at)) {
        if (monotonicMs() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<ButtonEvent> buttonEvents(XObserver& observer) {
    std::vector<ButtonEvent> events;
    while (XPending(observer.display) > 0) {
        XEvent event;
        XNextEvent(observer.display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != observer.xi_opcode ||
            !XGetEventData(observer.display, cookie))
            continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        events.push_back({raw->detail, cookie->evtype == XI_RawButtonPress, uint32_t(raw->time)});
        XFreeEventData(observer.display, cookie);
    }
    return events;
}

} // namespace harness
