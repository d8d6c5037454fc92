// A throwaway X server (Xvfb) with RandR monitors for end-to-end tests, and an observer connection that
// sees where the pointer is and which button and motion events the server produced.
// No X header is included here (Xlib's macros clash with GoogleTest's); include <X11/Xlib.h> after
// <gtest/gtest.h> only where display() is used directly.
#pragma once

#include "tests/support/process.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace testsupport {

// A monitor in X root coordinates; right and bottom edges are x + width and y + height, exclusive.
struct TestMonitor {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool primary = false;
};

inline bool operator==(const TestMonitor& a, const TestMonitor& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && a.primary == b.primary;
}

// For readable assertion failures: "1920x1080+1280+0*" (the star marks the primary).
std::string toString(const TestMonitor& monitor);
std::string toString(const std::vector<TestMonitor>& monitors);

class XServer {
  public:
    // Starts Xvfb at the monitors' bounding box (from 0,0) on a free display and defines the monitors as
    // RandR user monitors, then waits until the server reports exactly these rectangles. Throws
    // std::runtime_error (with Xvfb's or xrandr's messages) on failure or after the timeout.
    explicit XServer(const std::vector<TestMonitor>& monitors, Timeout timeout = kDefaultTimeout);

    // A width x height root with no monitor at all: the server's only output is switched off, so RandR
    // (XRRGetMonitors) reports zero monitors and Xinerama is inactive with zero screens, while the root
    // keeps its size. Programs that fall back to the whole root then see one monitor of that size.
    static XServer withoutMonitors(int32_t width, int32_t height, Timeout timeout = kDefaultTimeout);

    // A width x height root left as Xvfb starts it: RandR reports one automatic monitor covering the
    // root (not marked primary).
    static XServer plain(int32_t width, int32_t height, Timeout timeout = kDefaultTimeout);

    // Terminates the server (SIGTERM, then SIGKILL if it does not end in time) and reaps it.
    ~XServer();
    XServer(XServer&&) noexcept;
    XServer& operator=(XServer&&) noexcept;
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":57"
    const std::string& display() const;
    int displayNumber() const;
    int32_t width() const;
    int32_t height() const;

    // {"DISPLAY", display()} for ProcessOptions::env.
    std::pair<std::string, std::string> displayEnv() const;

    // Replaces all monitors by new ones (the root keeps its size, so they must fit in it) and waits until
    // the server reports them.
    void setMonitors(const std::vector<TestMonitor>& monitors, Timeout timeout = kDefaultTimeout);

    // Xvfb's own output so far, for diagnostics.
    std::string serverLog() const;

  private:
    XServer() = default;
    void start(int32_t width, int32_t height, Timeout timeout);

    std::string display_;
    int number_ = -1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<std::string> monitor_names_;
    int next_name_ = 0;
    std::unique_ptr<Process> server_;
};

// What RandR reports on a connection, in the server's order (XRRGetMonitors, active monitors only).
std::vector<TestMonitor> queryMonitors(Display* display);
// The same, on a connection of its own to the named display.
std::vector<TestMonitor> queryMonitors(const std::string& display);

struct PointerPosition {
    int32_t x = 0;
    int32_t y = 0;
};

inline bool operator==(const PointerPosition& a, const PointerPosition& b) {
    return a.x == b.x && a.y == b.y;
}

struct RootSize {
    int32_t width = 0;
    int32_t height = 0;
};

// A raw button event as the server produced it (for the master pointer): 1 left, 2 middle, 3 right,
// 4/5 wheel up/down. server_ms is the event's server timestamp, CLOCK_MONOTONIC milliseconds on Xvfb.
struct ButtonEvent {
    int button = 0;
    bool press = false;
    uint32_t server_ms = 0;
};

inline bool operator==(const ButtonEvent& a, const ButtonEvent& b) {
    return a.button == b.button && a.press == b.press;
}

// A raw motion event: the server's timestamp, and when the observer read it (CLOCK_MONOTONIC
// microseconds, comparable with monotonicUs()). received_us is only meaningful for latency while a
// thread keeps reading events (waitForMotionEvents) during the injection.
struct MotionEvent {
    uint32_t server_ms = 0;
    int64_t received_us = 0;
};

// A connection of the test's own to the server. Selects XI2 raw button press/release and raw motion
// events on the root for all master devices before the constructor returns, so everything injected
// afterwards is seen. Use one observer from one thread at a time.
class XObserver {
  public:
    explicit XObserver(const std::string& display);
    ~XObserver();
    XObserver(const XObserver&) = delete;
    XObserver& operator=(const XObserver&) = delete;

    Display* display() const { return display_; }

    PointerPosition pointer();
    // Polls the pointer until it is at x, y; false if it is not there by the deadline.
    bool waitForPointer(int32_t x, int32_t y, Timeout timeout = kDefaultTimeout);

    // Reads the events that have arrived so far.
    void pump();
    // The button events collected so far, removed from the observer.
    std::vector<ButtonEvent> buttonEvents();
    // Waits until at least `count` button events are collected (not removed).
    bool waitForButtonEvents(size_t count, Timeout timeout = kDefaultTimeout);
    std::vector<MotionEvent> motionEvents();
    bool waitForMotionEvents(size_t count, Timeout timeout = kDefaultTimeout);

    // XTest input from this connection, synced: the server has processed it when these return. XTest
    // motion produces raw motion events; `xdotool mousemove` warps the pointer and produces none.
    void injectMotion(int32_t x, int32_t y);
    void injectButton(int button, bool press);

    std::vector<TestMonitor> monitors();
    // Root size as the server reports it now.
    RootSize rootSize();

  private:
    bool waitForEvents(const std::function<bool()>& done, Timeout timeout);

    Display* display_ = nullptr;
    int xi_opcode_ = 0;
    std::vector<ButtonEvent> buttons_;
    std::vector<MotionEvent> motions_;
};

} // namespace testsupport
