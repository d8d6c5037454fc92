// The runner's per-frame work without the runtime and the desktop: the ray mapped onto every monitor,
// cursor placement through the stabilizer, and the button handling. Placements and input records go to
// counters instead of the desktop. A replaced global operator new counts heap allocations made while
// the frames run.
#include "pointer/runner.h"
#include "sim/sim_core.h"
#include "vr/vr_runtime.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<uint64_t> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// The frame's one placement: the pixel the ray points at among the monitors, through the stabilizer.
void placeOnce(const std::vector<DisplayPlane>& displays, std::optional<size_t>& current, const Ray& ray,
               CursorStabilizer& stabilizer, const PointerIo& io) {
    if (const std::optional<DesktopPixel> pixel = pixelOnMonitors(displays, current, ray)) {
        const platform::CursorPosition at = stabilizedPosition(stabilizer, pixel->x, pixel->y);
        io.set_cursor_pos(at.x, at.y);
    }
}

// A row of flat monitors, 0.6 m by 0.34 m each, 2 m in front of the controller, 1920x1080 pixels each.
std::vector<DisplayPlane> row(int count) {
    std::vector<DisplayPlane> displays;
    for (int i = 0; i < count; ++i) {
        const float x = -0.3f * static_cast<float>(count) + 0.6f * static_cast<float>(i);
        const float left = 1920.0f * static_cast<float>(i);
        displays.push_back(makeDisplayPlane({x, 0.17f, -2.0f}, {x, -0.17f, -2.0f}, {x + 0.6f, -0.17f, -2.0f},
                                            {x + 0.6f, 0.17f, -2.0f}, left, 0.0f, left + 1920.0f, 1080.0f));
    }
    return displays;
}

struct Sink {
    int64_t placements = 0;
    int64_t inputs = 0;
    uint32_t now = 0;
};

PointerIo sinkIo(Sink& sink) {
    PointerIo io;
    io.set_cursor_pos = [&sink](int32_t, int32_t) {
        ++sink.placements;
        return true;
    };
    io.mouse_button = [&sink](platform::MouseButton, platform::ButtonAction) { ++sink.inputs; };
    io.mouse_wheel = [&sink](int32_t) { ++sink.inputs; };
    io.tick_count = [&sink] { return sink.now; };
    io.sleep_ms = [&sink](uint32_t ms) { sink.now += ms; };
    io.sleep_until = [&sink](uint32_t deadline) {
        if (static_cast<int32_t>(deadline - sink.now) > 0)
            sink.now = deadline;
    };
    return io;
}

// The ray mapped onto every monitor of the row and the cursor placed directly: the mapping alone.
void mapping(benchmark::State& st) {
    const int monitors = static_cast<int>(st.range(0));
    std::vector<DisplayPlane> displays = row(monitors);
    CursorStabilizer direct = makeCursorStabilizer(0, false);
    std::optional<size_t> current;
    Sink sink;
    const PointerIo io = sinkIo(sink);
    float sweep = 0.0f;
    const uint64_t before = allocations.load();
    for (auto _ : st) {
        sweep += 0.001f;
        if (sweep > 1.0f)
            sweep = -1.0f;
        const float x = sweep * 0.35f * static_cast<float>(monitors);
        placeOnce(displays, current, {{x, 0.0f, 0.0f}, {0.0f, 0.05f * sweep, -1.0f}}, direct, io);
    }
    if (allocations.load() != before)
        st.SkipWithError("the mapping allocated on the heap");
    benchmark::DoNotOptimize(sink.placements);
}

void frameWork(benchmark::State& st) {
    const int monitors = static_cast<int>(st.range(0));
    const bool stabilize = st.range(1) != 0;
    std::vector<DisplayPlane> displays = row(monitors);
    CursorStabilizer stabilizer = makeCursorStabilizer(5, stabilize);
    const TrackedController controller = makeTrackedController(nullptr, 1);
    ControllerFrame frame_in;
    std::optional<size_t> current;
    RunnerSettings settings{};
    settings.handedness = 1;
    settings.dragging_threshold_ms = 200;
    ButtonState buttons{};
    TriggerMachine trigger{};
    Sink sink;
    const PointerIo io = sinkIo(sink);

    // The ray sweeps across the whole row and beyond it, the thumb rests on the centre strip and the
    // trigger is pulled now and then, so that every branch of a frame is taken.
    float sweep = 0.0f;
    uint64_t frame = 0;
    const uint64_t before = allocations.load();
    for (auto _ : st) {
        sweep += 0.001f;
        if (sweep > 1.0f)
            sweep = -1.0f;
        const float x = sweep * 0.35f * static_cast<float>(monitors);
        const Ray ray{{x, 0.0f, 0.0f}, {0.0f, 0.05f * sweep, -1.0f}};
        ControlState& pulled = frame_in.controls[static_cast<size_t>(Control::trigger)];
        const bool held = (frame % 64) < 20;
        pulled = {held, held && !pulled.held, !held && pulled.held};
        frame_in.thumb_touching = true;
        frame_in.thumb_x = 0.1f;
        frame_in.thumb_y = sweep;
        frame_in.controls[static_cast<size_t>(Control::pad_centre)].held = true;
        sink.now += 5;
        placeOnce(displays, current, ray, stabilizer, io);
        handleButtons({controller, frame_in, settings}, buttons, trigger, io);
        ++frame;
    }
    const uint64_t allocated = allocations.load() - before;
    st.counters["allocs_per_frame"] = static_cast<double>(allocated) / static_cast<double>(frame ? frame : 1);
    st.counters["placements_per_frame"] =
        static_cast<double>(sink.placements) / static_cast<double>(frame ? frame : 1);
    if (allocated != 0)
        st.SkipWithError("the frame work allocated on the heap");
}

// The whole of runFrame with the simulated runtime in process: pacing on a synthetic clock (each 1 ms
// sleep advances it), the controller update through the runtime's interface, mapping, placement and
// buttons. The thumb rests on the centre strip so that every frame also sends a wheel record.
void wholeFrame(benchmark::State& st) {
    const int monitors = static_cast<int>(st.range(0));
    useVrLibrary(simVrLibrary());
    simLoadScenarioText("device 0 hmd\ndevice 1 controller\nstep\n  1 pose matrix 1 0 0 0.1 0 1 0 0 0 0 1 0\n"
                        "  1 pad 0 0.5\n");
    const VrStartup vr = startVr();
    if (vr.error != vr::VRInitError_None) {
        st.SkipWithError("the simulated runtime did not start");
        return;
    }
    RunnerState runner;
    runner.displays = row(monitors);
    runner.settings.handedness = 1;
    runner.settings.dragging_threshold_ms = 200;
    runner.controller = makeTrackedController(vr.system, 1);
    readControllerFrame(runner.controller);
    runner.stabilizer = makeCursorStabilizer(5, true);
    Sink sink;
    const PointerIo io = sinkIo(sink);
    runner.frame_start_tick = io.tick_count();
    uint64_t frames = 0;
    const uint64_t before = allocations.load();
    for (auto _ : st) {
        runFrame(runner, io);
        ++frames;
    }
    const uint64_t allocated = allocations.load() - before;
    st.counters["allocs_per_frame"] =
        static_cast<double>(allocated) / static_cast<double>(frames ? frames : 1);
    st.counters["inputs_per_frame"] =
        static_cast<double>(sink.inputs) / static_cast<double>(frames ? frames : 1);
    VR_ShutdownInternal();
    if (allocated != 0)
        st.SkipWithError("a frame allocated on the heap");
}

} // namespace

BENCHMARK(wholeFrame)->Arg(1)->Arg(3)->Arg(10)->ArgName("monitors");
BENCHMARK(mapping)->Arg(1)->Arg(3)->Arg(10)->ArgName("monitors");
BENCHMARK(frameWork)->ArgsProduct({{1, 3, 10}, {0, 1}})->ArgNames({"monitors", "stabilize"});
BENCHMARK_MAIN();
