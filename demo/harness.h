// What the demo and the live benchmark need to run the programs as a user would: a throwaway X server
// with RandR monitors, child processes with their console on pipes, and a connection of their own to the
// X server that sees the pointer and the button events.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace harness {

using Timeout = std::chrono::milliseconds;
using Environment = std::vector<std::pair<std::string, std::string>>;

// CLOCK_MONOTONIC, the clock of the runner's tick, the simulator's log and Xvfb's event times.
int64_t monotonicUs();
int64_t monotonicMs();

// The folder of the running program; the programs it starts are built beside it.
std::filesystem::path ownFolder();

void writeFile(const std::filesystem::path& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// A running program. Standard output and error are read from pipes whenever they are asked for; the
// programs write little, so the pipes never fill. The destructor ends a program still running.
struct Child {
    int pid = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
    std::string out;
    std::string err;
    std::optional<int> status; // exit code, or 128 + signal

    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();
};

// Starts argv[0] (a path) in `folder` with the environment plus `env`; standard input stays open for
// writeInput until closeInput. Throws std::runtime_error when the program cannot be started.
void start(Child& child, const std::vector<std::string>& argv, const std::filesystem::path& folder,
           const Environment& env);
void writeInput(Child& child, const std::string& text);
void closeInput(Child& child);
// Reads what the program has written since the last call into child.out and child.err.
void readOutput(Child& child);
// The exit status once the program has ended (its output then read to the end), without waiting.
std::optional<int> exitStatus(Child& child);
// Waits for the end until the deadline; empty if the program still runs.
std::optional<int> waitExit(Child& child, Timeout timeout);
void signal(Child& child, int sig);

// A monitor in X root coordinates.
struct Monitor {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool primary = false;
};

// Xvfb at the monitors' bounding box on a free display, the monitors defined with xrandr; ready when
// RandR reports them all.
struct XServer {
    Child server;
    std::string display; // ":57"
};
void start(XServer& x, const std::vector<Monitor>& monitors, Timeout timeout = Timeout(10000));

struct PointerPosition {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const PointerPosition&) const = default;
};

// A button as the X server produced it: 1 left, 2 middle, 3 right, 4/5 wheel; server_ms its time.
struct ButtonEvent {
    int button = 0;
    bool press = false;
    uint32_t server_ms = 0;
};

// A connection of our own; it sees every button event after open() returns.
struct XObserver {
    Display* display = nullptr;
    int xi_opcode = 0;

    XObserver() = default;
    XObserver(const XObserver&) = delete;
    XObserver& operator=(const XObserver&) = delete;
    ~XObserver();
};
void open(XObserver& observer, const std::string& display);
PointerPosition pointer(XObserver& observer);
bool waitForPointer(XObserver& observer, PointerPosition at, Timeout timeout = Timeout(10000));
// The button events that have arrived since the last call.
std::vector<ButtonEvent> buttonEvents(XObserver& observer);

} // namespace harness
