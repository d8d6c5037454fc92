// wandpointer measured as it runs: the real program on Xvfb, driven by the simulated runtime.
//
// Steady phase: the controller aims at a monitor and nothing is pressed. Over a measured window it
// reports frames per second (polls in the runtime's call log), CPU time of the runner per second of wall
// time, resident memory, and the heap allocations the whole process made per second (a preloaded
// counter; the loop should make none).
//
// Latency phase: the pose alternates between two pixels. Each change is released by the benchmark at a
// moment unrelated to the runner's frames (it creates the file a step waits for) and timed until the X
// server reports the pointer at the new pixel, read back on a connection of the benchmark's own.
//
// Usage: pointer_live_bench [steady seconds, default 10] [latency samples, default 400]
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/scenario_text.h"
#include "tests/support/xserver.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace testsupport;
using namespace std::chrono_literals;

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

std::string atPixel(int px, int py) {
    char line[160];
    std::snprintf(line, sizeof line, "  1 pose matrix 1 0 0 %.17g 0 1 0 %.17g 0 0 1 0\n", (px + 0.5) / 1024.0,
                  1.0 - (py + 0.5) / 1024.0);
    return line;
}

struct ProcSample {
    double cpu_seconds = 0;
    long rss_kb = 0;
    long hwm_kb = 0;
};

ProcSample sample(int pid) {
    ProcSample s;
    // Time spent on a CPU in nanoseconds: the first field of schedstat.
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long on_cpu_ns = 0;
    schedstat >> on_cpu_ns;
    s.cpu_seconds = double(on_cpu_ns) / 1e9;
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

// Instrumented: the runtime's call log (for the frame count) and the allocation counter. Plain: as a
// user runs it, for CPU time and memory.
ProcessOptions options(const XServer& server, const TempDir& dir, bool instrumented) {
    ProcessOptions o;
    o.working_dir = dir.path().string();
    o.env = {server.displayEnv(),
             {"WAND_SIM_SCENARIO", dir.file("scenario")},
             {"WAND_SIM_CONTROL", dir.path().string()}};
    if (instrumented) {
        o.env.push_back({"WAND_SIM_LOG", dir.file("sim.log")});
        o.env.push_back({"LD_PRELOAD", binPath("libwand_alloc_count.so")});
        o.env.push_back({"WAND_ALLOC_COUNT_OUT", dir.file("allocations")});
    }
    return o;
}

struct SteadyRun {
    double wall = 0;
    int64_t frames = 0;
    ProcSample before;
    ProcSample after;
};

SteadyRun runSteady(const XServer& server, const TempDir& dir, int seconds, bool instrumented) {
    SteadyRun run;
    XObserver observer(server.display());
    Process runner({binPath("wandpointer")}, options(server, dir, instrumented));
    if (!observer.waitForPointer(700, 400)) {
        std::fprintf(stderr, "the runner did not place the pointer: %s%s\n", runner.out().c_str(),
                     runner.err().c_str());
        std::exit(1);
    }
    std::this_thread::sleep_for(1s); // past start-up
    const int64_t t1 = monotonicUs();
    run.before = sample(runner.pid());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int64_t t2 = monotonicUs();
    run.after = sample(runner.pid());
    std::this_thread::sleep_for(1s);
    runner.signal(SIGTERM);
    runner.waitExit();
    run.wall = double(t2 - t1) / 1e6;
    if (instrumented) {
        const std::vector<int64_t> polls = pollTimesUs(readFile(dir.path() / "sim.log"));
        run.frames = std::count_if(polls.begin(), polls.end(), [&](int64_t t) { return t >= t1 && t < t2; });
    }
    return run;
}

int steady(const XServer& server, int seconds) {
    TempDir dir;
    writeFile(dir.path() / "default.config", kConfig);
    writeFile(dir.path() / "scenario",
              std::string("device 0 hmd\ndevice 1 controller\nstep\n") + atPixel(700, 400));
    const SteadyRun plain = runSteady(server, dir, seconds, false);
    const SteadyRun counted = runSteady(server, dir, seconds, true);
    std::printf("steady: %.1f s measured\n", plain.wall);
    std::printf("  frame rate        %.1f frames/s\n", double(counted.frames) / counted.wall);
    std::printf("  runner CPU        %.2f %% of one core (%.2f %% with the call log and the counter)\n",
                100.0 * (plain.after.cpu_seconds - plain.before.cpu_seconds) / plain.wall,
                100.0 * (counted.after.cpu_seconds - counted.before.cpu_seconds) / counted.wall);
    std::printf("  resident memory   %ld kB (peak %ld kB)\n", plain.after.rss_kb, plain.after.hwm_kb);

    // Allocations per second of the process's life; the loop runs from about the first second on.
    std::ifstream counts(dir.file("allocations"));
    std::string line;
    std::vector<unsigned long> per_second;
    while (std::getline(counts, line)) {
        const auto colon = line.find(':');
        per_second.push_back(std::stoul(line.substr(colon + 2)));
    }
    std::printf("  heap allocations  ");
    for (size_t s = 0; s < per_second.size(); ++s)
        std::printf("%s%lu", s ? " " : "", per_second[s]);
    std::printf(" (per second of the run)\n");
    unsigned long in_loop = 0;
    const size_t first = size_t(1 + 1);
    for (size_t s = first; s + 1 < per_second.size(); ++s)
        in_loop += per_second[s];
    std::printf("  allocations while looping (seconds %zu to %zu): %lu\n", first,
                per_second.size() >= 2 ? per_second.size() - 2 : 0, in_loop);
    return 0;
}

int latency(const XServer& server, int samples) {
    TempDir dir;
    writeFile(dir.path() / "default.config", kConfig);
    std::string scenario = "device 0 hmd\ndevice 1 controller\nstep wait=s0\n" + atPixel(400, 300);
    const int xs[2] = {1500, 400};
    for (int k = 1; k <= samples; ++k)
        scenario += "step wait=s" + std::to_string(k) + "\n" + atPixel(xs[k % 2], 300 + k % 2 * 400);
    writeFile(dir.path() / "scenario", scenario);
    XObserver observer(server.display());
    Process runner({binPath("wandpointer")}, options(server, dir, false));
    if (!observer.waitForPointer(400, 300)) {
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
        writeFile(dir.path() / ("s" + std::to_string(k)), "");
        const int64_t deadline = t0 + 5'000'000;
        for (;;) {
            if (observer.pointer() == want) {
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
    runner.signal(SIGTERM);
    runner.waitExit();
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
    XServer server({{0, 0, 1920, 1080, true}});
    if (int rc = steady(server, seconds))
        return rc;
    return latency(server, samples);
}
