// wandpointer measured as it runs: the real program on Xvfb, driven by the simulated runtime.
//
// Steady phase: the controller aims at a monitor and nothing is pressed. The shipped program and a build
// of it with the earlier frame pacing (1 ms sleeps until the tick has moved on, wandpointer_1ms_sleeps)
// run one after the other, in a few rounds, alternating, so that both see the same machine. Each round
// also measures the floor, what the two things every frame must do cost on this machine, in a thread of
// the benchmark: sleeping to a deadline 5 ms on, and the same plus one XTest motion request sent over XCB
// as the runner sends it; the runner's CPU can't fall below the second. Then each program runs once more,
// instrumented: frames per second and the closest two frames (polls in the runtime's call log, on the
// runner's own clock), resident memory; for the shipped one also the heap allocations the whole process
// made per second (a preloaded counter; the loop should make none).
//
// Sharing the desk: in the same rounds, the shipped program with "handover" on, its aim still (held: a rest
// that never comes) and at rest (after half a second); with the cursor switched off by the menu button (the
// frames' own cost, without the desktop); and with a trembling hand (0.3 degrees up and down by turns) with
// the handover off and on. For each, the motion requests the X server acted on per second (raw motion
// events, counted on a connection of the benchmark's own).
//
// Latency phase: the pose alternates between two pixels. Each change is released by the benchmark at a
// moment unrelated to the runner's frames (it creates the file a step waits for) and timed until the X
// server reports the pointer at the new pixel, read back on a connection of the benchmark's own.
//
// Usage: pointer_live_bench [steady seconds, default 10] [latency samples, default 400] [rounds, default 3]
#include "demo/harness.h"
#include "os/os.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

using namespace harness;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const char* const kConfig = R"({
    "controller_angle_offset" : { "x" : 0, "y" : 0 },
    "display" : [ { "left" : 0, "top" : 0, "right" : 1920, "bottom" : 1080,
        "v0" : { "x" : 0, "y" : 1, "z" : -2 }, "v1" : { "x" : 0, "y" : -0.0546875, "z" : -2 },
        "v2" : { "x" : 1.875, "y" : -0.0546875, "z" : -2 }, "v3" : { "x" : 1.875, "y" : 1, "z" : -2 } } ],
    "displayhash" : "192010800192010800",
    "handedness" : 1,
    "stabilization" : { "average_of_N_previous_positions" : 5, "enable" : 0 },
    "trigger" : { "click_detection_threshold" : 10, "dragging_threshold_ms" : 200 }
})";

// A hand's tremor, 0.3 degrees up and down by turns; the menu button, which switches the cursor off once it
// has been placed, so that the frames reach the desktop no more.
const char* const kTremor = "  1 tremor 0.3\n";
const char* const kMenuPress = "step polls=20\n  1 buttons menu\nstep polls=2\n  1 buttons none\n";

// The config with one more member.
std::string withMember(const char* member) {
    std::string text = kConfig;
    return text.insert(text.rfind('}') - 1, std::string(",\n    ") + member);
}

std::string atPixel(int px, int py) {
    char line[160];
    std::snprintf(line, sizeof line, "  1 pose matrix 1 0 0 %.17g 0 1 0 %.17g 0 0 1 0\n", (px + 0.5) / 1024.0,
                  1.0 - (py + 0.5) / 1024.0);
    return line;
}

// The microsecond time stamps of the call log's GetControllerState lines: one per frame of the runner.
std::vector<int64_t> pollTimesUs(const std::string& log) {
    std::vector<int64_t> times;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line))
        if (line.find(" GetControllerState ") != std::string::npos)
            times.push_back(std::stoll(line));
    return times;
}

// A scratch folder, removed with its contents at the end.
struct Scratch {
    fs::path path;
    Scratch() {
        std::string name = (fs::temp_directory_path() / "wand-bench.XXXXXX").string();
        if (!mkdtemp(name.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path = name;
    }
    ~Scratch() { fs::remove_all(path); }
};

struct ProcSample {
    double cpu_seconds = 0;
    long rss_kb = 0;
    long hwm_kb = 0;
};

// Seconds spent on a CPU by the process or thread of this /proc folder: schedstat's first field, in ns.
double onCpuSeconds(const std::string& proc_folder) {
    std::ifstream schedstat(proc_folder + "/schedstat");
    unsigned long long on_cpu_ns = 0;
    schedstat >> on_cpu_ns;
    return double(on_cpu_ns) / 1e9;
}

ProcSample sample(int pid) {
    ProcSample s;
    s.cpu_seconds = onCpuSeconds("/proc/" + std::to_string(pid));
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            s.rss_kb = std::stol(line.substr(6));
        if (line.rfind("VmHWM:", 0) == 0)
            s.hwm_kb = std::stol(line.substr(6));
    }
    return s;
}

// Instrumented: the runtime's call log (for the frames) and the allocation counter. Plain: as a user
// runs it, for CPU time and memory.
Environment environment(const XServer& server, const Scratch& dir, bool instrumented) {
    Environment env = {{"DISPLAY", server.display},
                       {"WAND_SIM_SCENARIO", (dir.path / "scenario").string()},
                       {"WAND_SIM_CONTROL", dir.path.string()}};
    if (instrumented) {
        env.push_back({"WAND_SIM_LOG", (dir.path / "sim.log").string()});
        env.push_back({"LD_PRELOAD", (ownFolder() / "libwand_alloc_count.so").string()});
        env.push_back({"WAND_ALLOC_COUNT_OUT", (dir.path / "allocations").string()});
    }
    return env;
}

// Raw motion from every master device: one event for each motion request the server acts on, whether it
// moves the pointer or not.
struct MotionCounter {
    Display* display = nullptr;
    int opcode = 0;
    explicit MotionCounter(const std::string& name) : display(XOpenDisplay(name.c_str())) {
        int event = 0, error = 0;
        XQueryExtension(display, "XInputExtension", &opcode, &event, &error);
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
        XSync(display, False);
    }
    ~MotionCounter() { XCloseDisplay(display); }
    // The motions that have arrived since the last call.
    int64_t take() {
        XSync(display, False);
        int64_t count = 0;
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            count += event.xcookie.type == GenericEvent && event.xcookie.extension == opcode;
        }
        return count;
    }
};

struct SteadyRun {
    double wall = 0;
    int64_t motions = 0; // raw motion events while measured
    int64_t frames = 0;
    double closest_ms = 0;        // the two frames closest together
    int64_t under_five_ticks = 0; // pairs of frames less than 5 ticks apart
    ProcSample before;
    ProcSample after;
    double cpuPercent() const { return 100.0 * (after.cpu_seconds - before.cpu_seconds) / wall; }
};

SteadyRun runSteady(const XServer& server, const Scratch& dir, const std::string& program, int seconds,
                    bool instrumented) {
    SteadyRun run;
    fs::remove(dir.path / "sim.log");
    XObserver observer;
    open(observer, server.display);
    MotionCounter motions(server.display);
    Child runner;
    start(runner, {(ownFolder() / program).string()}, dir.path, environment(server, dir, instrumented));
    const int64_t deadline = monotonicMs() + 10000; // a trembling aim moves the pointer up and down
    while (pointer(observer).x != 700 && monotonicMs() < deadline)
        std::this_thread::sleep_for(2ms);
    if (pointer(observer).x != 700) {
        readOutput(runner);
        std::fprintf(stderr, "%s did not place the pointer: %s%s\n", program.c_str(), runner.out.c_str(),
                     runner.err.c_str());
        std::exit(1);
    }
    std::this_thread::sleep_for(1s); // past start-up
    motions.take();
    const int64_t t1 = monotonicUs();
    run.before = sample(runner.pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int64_t t2 = monotonicUs();
    run.after = sample(runner.pid);
    run.motions = motions.take();
    std::this_thread::sleep_for(1s);
    harness::signal(runner, SIGTERM);
    waitExit(runner, 10s);
    run.wall = double(t2 - t1) / 1e6;
    if (instrumented) {
        std::vector<int64_t> polls = pollTimesUs(readFile(dir.path / "sim.log"));
        polls.erase(std::remove_if(polls.begin(), polls.end(), [&](int64_t t) { return t < t1 || t >= t2; }),
                    polls.end());
        run.frames = int64_t(polls.size());
        run.closest_ms = 1e9;
        for (size_t i = 1; i < polls.size(); ++i) {
            run.closest_ms = std::min(run.closest_ms, double(polls[i] - polls[i - 1]) / 1000.0);
            // The runner's tick is this clock's milliseconds, truncated.
            run.under_five_ticks += polls[i] / 1000 - polls[i - 1] / 1000 < 5;
        }
    }
    return run;
}

// CPU % of one core used by a thread that sleeps to a tick every 5 ms for `seconds`, and when
// `display` is given also moves the pointer there once per wake-up.
double floorPercent(const char* display, int seconds) {
    double percent = 0;
    std::thread([&] {
        xcb_connection_t* connection = display ? xcb_connect(display, nullptr) : nullptr;
        const std::string thread = "/proc/self/task/" + std::to_string(syscall(SYS_gettid));
        const int64_t t1 = monotonicUs();
        const double cpu1 = onCpuSeconds(thread);
        uint32_t due = platform::tickCount();
        for (int frame = 0; frame < seconds * 200; ++frame) {
            due += 5;
            platform::sleepUntil(due); // as the runner waits for its frames
            if (connection) {
                xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, XCB_NONE,
                                    int16_t(600 + frame % 2), 400, 0);
                xcb_flush(connection);
            }
        }
        percent = 100.0 * (onCpuSeconds(thread) - cpu1) / (double(monotonicUs() - t1) / 1e6);
        if (connection)
            xcb_disconnect(connection);
    }).join();
    return percent;
}

struct Variant {
    const char* label;
    const char* program;
    std::string config;
    const char* scenario_tail = ""; // after the still aim's step
    bool instrumented = false;      // also runs once more, instrumented
    std::vector<double> cpu = {};   // plain runs, % of one core
    std::vector<double> motions_per_second = {};
    SteadyRun counted = {};
};

std::vector<double> sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

double median(const std::vector<double>& v) {
    const std::vector<double> s = sorted(v);
    return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
}

// "median (lowest to highest)" of a few runs' figures.
std::string spread(const std::vector<double>& v, const char* unit = " %") {
    const std::vector<double> s = sorted(v);
    char text[80];
    std::snprintf(text, sizeof text, "%.2f%s (%.2f to %.2f)", median(v), unit, s.front(), s.back());
    return text;
}

int steady(const XServer& server, int seconds, int rounds) {
    Scratch dir;
    const std::string still = std::string("device 0 hmd\ndevice 1 controller\nstep\n") + atPixel(700, 400);
    const std::string held = withMember("\"handover\" : { \"rest_seconds\" : 86400 }");
    const std::string rest = withMember("\"handover\" : { \"rest_seconds\" : 0.5 }");
    Variant variants[] = {
        {.label = "shipped pacing", .program = "wandpointer", .config = kConfig, .instrumented = true},
        {.label = "1 ms sleeps",
         .program = "wandpointer_1ms_sleeps",
         .config = kConfig,
         .instrumented = true},
        {.label = "handover, held", .program = "wandpointer", .config = held, .instrumented = true},
        {.label = "handover, rest", .program = "wandpointer", .config = rest},
        {.label = "cursor off", .program = "wandpointer", .config = kConfig, .scenario_tail = kMenuPress},
        {.label = "tremor", .program = "wandpointer", .config = kConfig, .scenario_tail = kTremor},
        {.label = "tremor, handover", .program = "wandpointer", .config = held, .scenario_tail = kTremor}};
    std::vector<double> sleeping;
    std::vector<double> sending;
    auto run = [&](Variant& v, bool instrumented) {
        writeFile(dir.path / "default.config", v.config);
        writeFile(dir.path / "scenario", still + v.scenario_tail);
        SteadyRun r = runSteady(server, dir, v.program, seconds, instrumented);
        v.motions_per_second.push_back(double(r.motions) / r.wall);
        return r;
    };
    // Alternating, so that the machine's changing cost of a wake-up falls on all of them alike.
    for (int round = 0; round < rounds; ++round) {
        for (Variant& v : variants)
            v.cpu.push_back(run(v, false).cpuPercent());
        sleeping.push_back(floorPercent(nullptr, seconds));
        sending.push_back(floorPercent(server.display.c_str(), seconds));
    }
    for (Variant& v : variants) {
        if (!v.instrumented)
            continue;
        v.counted = run(v, true);
        fs::rename(dir.path / "allocations", dir.path / ("allocations." + std::string(v.label)));
    }
    std::printf("steady: %d rounds of %.1f s per program, CPU as the median (lowest to highest)\n", rounds,
                variants[0].counted.wall);
    for (const Variant& v : variants) {
        std::printf("  %-16s runner CPU %s of one core, %s motion requests/s", v.label, spread(v.cpu).c_str(),
                    spread(v.motions_per_second, "").c_str());
        if (v.instrumented)
            std::printf("; %.1f frames/s (%.2f %% CPU with the call log and the counter), %ld kB resident "
                        "(peak %ld kB), closest frames %.2f ms apart, %lld pairs under 5 ticks",
                        double(v.counted.frames) / v.counted.wall, v.counted.cpuPercent(),
                        v.counted.after.rss_kb, v.counted.after.hwm_kb, v.counted.closest_ms,
                        static_cast<long long>(v.counted.under_five_ticks));
        std::printf("\n");
    }
    std::vector<double> ratios, held_over_floor, rest_over_held, off_over_floor, held_over_off;
    for (int round = 0; round < rounds; ++round) {
        ratios.push_back(variants[0].cpu[round] / variants[1].cpu[round]);
        held_over_floor.push_back(variants[2].cpu[round] - sleeping[round]);
        rest_over_held.push_back(variants[3].cpu[round] / variants[2].cpu[round]);
        off_over_floor.push_back(variants[4].cpu[round] - sleeping[round]);
        held_over_off.push_back(variants[2].cpu[round] - variants[4].cpu[round]);
    }
    std::printf("  CPU ratio, shipped / 1 ms sleeps, round by round: %s\n", spread(ratios, "").c_str());
    std::printf("  floor: a thread waking every 5 ms, %s; the same sending one motion request per wake-up "
                "as the runner does, %s\n",
                spread(sleeping).c_str(), spread(sending).c_str());
    std::printf("  handover, held still, minus the bare wake-up floor, round by round: %s points\n",
                spread(held_over_floor, "").c_str());
    std::printf("  cursor off (no desktop traffic) minus the bare wake-up floor, round by round: %s points\n",
                spread(off_over_floor, "").c_str());
    std::printf("  handover, held still, minus cursor off, round by round: %s points\n",
                spread(held_over_off, "").c_str());
    std::printf("  handover, at rest / held still, round by round: %s\n", spread(rest_over_held, "").c_str());

    // Allocations per second of each counted program's life; the loop runs from about the first second on.
    for (const char* label : {"shipped pacing", "handover, held"}) {
        std::ifstream counts(dir.path / ("allocations." + std::string(label)));
        std::string line;
        std::vector<unsigned long> per_second;
        while (std::getline(counts, line)) {
            const auto colon = line.find(':');
            per_second.push_back(std::stoul(line.substr(colon + 2)));
        }
        std::printf("  %s: heap allocations ", label);
        for (size_t s = 0; s < per_second.size(); ++s)
            std::printf("%s%lu", s ? " " : "", per_second[s]);
        std::printf(" (per second of the run)\n");
        unsigned long in_loop = 0;
        const size_t first = size_t(1 + 1);
        for (size_t s = first; s + 1 < per_second.size(); ++s)
            in_loop += per_second[s];
        std::printf("  %s: allocations while looping (seconds %zu to %zu): %lu\n", label, first,
                    per_second.size() >= 2 ? per_second.size() - 2 : 0, in_loop);
    }
    return 0;
}

int latency(const XServer& server, int samples) {
    Scratch dir;
    writeFile(dir.path / "default.config", kConfig);
    std::string scenario = "device 0 hmd\ndevice 1 controller\nstep wait=s0\n" + atPixel(400, 300);
    const int xs[2] = {1500, 400};
    for (int k = 1; k <= samples; ++k)
        scenario += "step wait=s" + std::to_string(k) + "\n" + atPixel(xs[k % 2], 300 + k % 2 * 400);
    writeFile(dir.path / "scenario", scenario);
    XObserver observer;
    open(observer, server.display);
    Child runner;
    start(runner, {(ownFolder() / "wandpointer").string()}, dir.path, environment(server, dir, false));
    if (!waitForPointer(observer, {400, 300})) {
        std::fprintf(stderr, "the runner did not place the pointer\n");
        return 1;
    }
    std::vector<double> ms;
    unsigned seed = 12345;
    for (int k = 0; k < samples; ++k) {
        // A pause of 3 to 13 ms, so that changes fall at every phase of the runner's frame.
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds(3000 + (seed >> 8) % 10000));
        const int next = k + 1;
        const PointerPosition want{xs[next % 2], 300 + next % 2 * 400};
        const int64_t t0 = monotonicUs();
        char gate[32];
        std::snprintf(gate, sizeof gate, "s%d", k);
        writeFile(dir.path / gate, "");
        const int64_t deadline = t0 + 5'000'000;
        for (;;) {
            if (pointer(observer) == want) {
                ms.push_back(double(monotonicUs() - t0) / 1000.0);
                break;
            }
            if (monotonicUs() > deadline) {
                std::fprintf(stderr, "sample %d: the pointer never reached %d,%d\n", k, want.x, want.y);
                return 1;
            }
            std::this_thread::sleep_for(100us);
        }
    }
    harness::signal(runner, SIGTERM);
    waitExit(runner, 10s);
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    std::printf("latency: %zu pose changes, pose change to pointer seen on the X server\n", ms.size());
    std::printf("  min %.2f ms, median %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms\n", ms.front(), at(0.5),
                at(0.9), at(0.99), ms.back());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 400;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    XServer server;
    start(server, {{0, 0, 1920, 1080, true}});
    if (int rc = steady(server, seconds, rounds))
        return rc;
    return latency(server, samples);
}
