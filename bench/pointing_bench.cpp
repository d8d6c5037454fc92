// How steady the pointer is and where clicks land, for each way of steadying it. A simulated person
// (1 ms resolution) holds the controller with physiological tremor and slow drift, makes minimum-jerk
// moves between targets and clicks on each target with a short trigger pull that rotates the controller
// downward. The real runFrame plays them against the in-process simulated runtime on a synthetic clock,
// once per configuration, with the same person every time.
//
// pointing_bench [min_cutoff_hz beta derivative_cutoff_hz click_freeze_degrees [trials [seed]]]
// replaces the 1€ settings (defaults: the recommended ones) for trying other values, and the person.
#include "pointer/runner.h"
#include "sim/sim_core.h"
#include "vr/vr_runtime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

// Three 1920x1080 monitors, 0.6 m by 0.3375 m each, side by side in the plane 1.5 m in front of the
// controller: about 84 px per degree straight ahead.
constexpr double kDistance = 1.5;
constexpr double kRowWidth = 1.8;
constexpr double kHeight = 0.3375;
constexpr double kPixelsPerMetre = 1920.0 / 0.6;

std::vector<DisplayEntry> monitorRow() {
    std::vector<DisplayEntry> row;
    for (int i = 0; i < 3; ++i) {
        const auto x = static_cast<float>(-kRowWidth / 2 + 0.6 * i);
        const auto top = static_cast<float>(kHeight / 2);
        const auto z = static_cast<float>(-kDistance);
        DisplayEntry e;
        e.corners = {{{x, top, z}, {x, -top, z}, {x + 0.6f, -top, z}, {x + 0.6f, top, z}}};
        e.left = 1920.0f * static_cast<float>(i);
        e.right = e.left + 1920.0f;
        e.bottom = 1080.0f;
        row.push_back(e);
    }
    return row;
}

struct Angles {
    double yaw = 0.0;   // degrees, positive to the right
    double pitch = 0.0; // degrees, positive upward
};

struct Pixel {
    double x = 0.0;
    double y = 0.0;
};

// The desktop pixel that a direction from the controller's origin points at.
Pixel pixelOf(Angles a) {
    const double x = kDistance * std::tan(a.yaw * kDeg);
    const double y = kDistance * std::tan(a.pitch * kDeg) / std::cos(a.yaw * kDeg);
    return {(x + kRowWidth / 2) * kPixelsPerMetre, (kHeight / 2 - y) * kPixelsPerMetre};
}

double distance(Pixel a, Pixel b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// A sum of sinusoids with random frequencies in [low, high] Hz and random phases, `rms` degrees RMS.
struct Oscillation {
    std::vector<double> hz, phase;
    double amplitude = 0.0;
    double at(double seconds) const {
        double sum = 0.0;
        for (size_t i = 0; i < hz.size(); ++i)
            sum += std::sin(2 * std::numbers::pi * hz[i] * seconds + phase[i]);
        return amplitude * sum;
    }
};

Oscillation oscillation(std::mt19937& rng, double low, double high, double rms, int count) {
    std::uniform_real_distribution<double> freq(low, high), phase(0.0, 2 * std::numbers::pi);
    Oscillation o;
    for (int i = 0; i < count; ++i) {
        o.hz.push_back(freq(rng));
        o.phase.push_back(phase(rng));
    }
    o.amplitude = rms * std::sqrt(2.0 / count);
    return o;
}

// Milliseconds of one trial, counted from the start of its move.
constexpr int kHoldMs = 1600;          // after the move has arrived
constexpr int kJitterFromMs = 400;     // jitter is measured from here...
constexpr int kJitterToMs = 1100;      // ...to here, after the move's end
constexpr int kPullAtMs = kJitterToMs; // the trigger pull starts here
constexpr int kPullMs = 60, kPullHeldMs = 60, kReleaseMs = 40;

struct Trial {
    int start = 0; // ms
    int move_ms = 0;
    Angles from, to;
    double sideways = 0.0; // share of the pull's rotation that goes sideways
};

// The whole session: trials back to back, and per ms the intended aim, the actual aim and the trigger.
struct Person {
    std::vector<Trial> trials;
    std::vector<Angles> intended, actual;
    std::vector<float> trigger;
    std::vector<int> moving; // 1 while a move is under way at more than a fifth of its peak speed
};

double minimumJerk(double s) {
    return s * s * s * (10 - 15 * s + 6 * s * s);
}

double triggerAt(int ms_into_pull) {
    const int t = ms_into_pull;
    if (t < 0 || t >= kPullMs + kPullHeldMs + kReleaseMs)
        return 0.0;
    if (t < kPullMs)
        return double(t) / kPullMs;
    if (t < kPullMs + kPullHeldMs)
        return 1.0;
    return 1.0 - double(t - kPullMs - kPullHeldMs) / kReleaseMs;
}

// `shaking` false gives the same person with a perfectly steady hand: the same moves and pulls without
// tremor and drift.
Person makePerson(int trial_count, unsigned seed, bool shaking) {
    std::mt19937 rng(seed);
    Person p;
    const Oscillation tremor_yaw = oscillation(rng, 7, 12, 0.035, 8);
    const Oscillation tremor_pitch = oscillation(rng, 7, 12, 0.035, 8);
    const Oscillation drift_yaw = oscillation(rng, 0.05, 0.5, 0.02, 4);
    const Oscillation drift_pitch = oscillation(rng, 0.05, 0.5, 0.02, 4);
    std::uniform_real_distribution<double> amplitude(3, 20), heading(0, 2 * std::numbers::pi),
        duration(250, 400), sideways(-0.25, 0.25);

    Angles at{0, 0};
    int now = 0;
    for (int i = 0; i < trial_count; ++i) {
        Trial t;
        t.start = now;
        t.move_ms = static_cast<int>(duration(rng));
        t.from = at;
        do {
            const double a = amplitude(rng), h = heading(rng);
            t.to = {at.yaw + a * std::cos(h), at.pitch + a * std::sin(h)};
        } while (std::fabs(t.to.yaw) > 25 || std::fabs(t.to.pitch) > 4.5);
        t.sideways = sideways(rng);
        p.trials.push_back(t);
        at = t.to;
        now += t.move_ms + kHoldMs;
    }

    p.intended.resize(now);
    p.actual.resize(now);
    p.trigger.resize(now);
    p.moving.resize(now);
    for (const Trial& t : p.trials) {
        for (int ms = t.start; ms < t.start + t.move_ms + kHoldMs; ++ms) {
            const double s = std::min(1.0, double(ms - t.start) / t.move_ms);
            const double share = minimumJerk(s);
            p.intended[ms] = {t.from.yaw + share * (t.to.yaw - t.from.yaw),
                              t.from.pitch + share * (t.to.pitch - t.from.pitch)};
            // Minimum-jerk speed relative to its peak, which is 1.875 times the mean speed.
            p.moving[ms] = s < 1.0 && 30 * s * s * (1 - s) * (1 - s) / 1.875 > 0.2;
            p.trigger[ms] = static_cast<float>(triggerAt(ms - (t.start + t.move_ms + kPullAtMs)));
        }
    }

    // The pull's rotation follows the trigger through a critically damped second-order response of
    // 8 Hz, scaled to 0.5 degrees at its peak.
    std::vector<double> down(now, 0.0);
    const double w = 2 * std::numbers::pi * 8, dt = 0.001;
    double y = 0, v = 0, peak = 0;
    for (int ms = 0; ms < now; ++ms) {
        v += dt * (w * w * (p.trigger[ms] - y) - 2 * w * v);
        y += dt * v;
        down[ms] = y;
        peak = std::max(peak, y);
    }
    for (const Trial& t : p.trials) {
        for (int ms = t.start; ms < t.start + t.move_ms + kHoldMs; ++ms) {
            const double sec = ms / 1000.0, rotation = down[ms] * 0.5 / peak;
            const double shake = shaking ? 1.0 : 0.0;
            p.actual[ms] = {
                p.intended[ms].yaw + shake * (tremor_yaw.at(sec) + drift_yaw.at(sec)) + t.sideways * rotation,
                p.intended[ms].pitch + shake * (tremor_pitch.at(sec) + drift_pitch.at(sec)) - rotation};
        }
    }
    return p;
}

struct Figures {
    double jitter = 0, lag = 0, settle = 0, click_mean = 0, click_max = 0;
    int clicks = 0;
};

struct Playback {
    const Person* person = nullptr;
    uint32_t now = 0;
    Pixel cursor;
    std::vector<Pixel> cursor_at;                   // per ms
    std::vector<std::pair<uint32_t, Pixel>> clicks; // when and where each left click went down
};

void showPerson(const Person& p, uint32_t ms) {
    SimDevice& controller = simProcessRuntime().devices[1];
    const size_t i = std::min<size_t>(ms, p.actual.size() - 1);
    const Angles a = p.actual[i];
    const double origin[3] = {0, 0, 0};
    const double target[3] = {std::sin(a.yaw * kDeg) * std::cos(a.pitch * kDeg), std::sin(a.pitch * kDeg),
                              -std::cos(a.yaw * kDeg) * std::cos(a.pitch * kDeg)};
    controller.pose = aimPose(origin, target);
    controller.trigger = p.trigger[i];
}

Figures play(const Person& person, const RunnerSettings& settings, vr::IVRSystem* system) {
    Playback pb;
    pb.person = &person;
    PointerIo io;
    io.set_cursor_pos = [&pb](int32_t x, int32_t y) {
        pb.cursor = {double(x), double(y)};
        return true;
    };
    io.mouse_button = [&pb](platform::MouseButton button, platform::ButtonAction action) {
        if (button == platform::MouseButton::left && action != platform::ButtonAction::up)
            pb.clicks.emplace_back(pb.now, pb.cursor);
    };
    io.tick_count = [&pb] { return pb.now; };
    io.sleep_until = [](uint32_t) {}; // the synthetic time moves in the 1 ms sleeps, which sample the cursor
    io.sleep_ms = [&pb](uint32_t ms) {
        for (uint32_t i = 0; i < ms; ++i) {
            pb.cursor_at.push_back(pb.cursor);
            ++pb.now;
            showPerson(*pb.person, pb.now);
        }
    };

    RunnerState runner;
    runner.displays = makeDisplayList(monitorRow());
    runner.settings = settings;
    runner.controller = makeTrackedController(system, 1);
    showPerson(person, 0);
    prepareFromSettings(runner);
    readControllerFrame(runner.controller, runner.aim);
    runner.trigger.seen_released = true;
    runner.frame_start_tick = pb.now;
    const auto total = static_cast<uint32_t>(person.actual.size());
    while (pb.now + 1 < total)
        runFrame(runner, io);

    std::vector<Pixel> aimed(person.intended.size());
    std::transform(person.intended.begin(), person.intended.end(), aimed.begin(), pixelOf);
    Figures f;
    double jitter_sum = 0;
    int jitter_windows = 0;
    double lag_sum = 0;
    int lag_samples = 0;
    double settle_sum = 0;
    for (const Trial& t : person.trials) {
        const int arrived = t.start + t.move_ms;
        const Pixel target = pixelOf(t.to);
        // Jitter: RMS distance from the window's mean position.
        Pixel mean;
        const int from = arrived + kJitterFromMs, to = arrived + kJitterToMs;
        for (int ms = from; ms < to; ++ms) {
            mean.x += pb.cursor_at[ms].x / (to - from);
            mean.y += pb.cursor_at[ms].y / (to - from);
        }
        double square = 0;
        for (int ms = from; ms < to; ++ms)
            square += std::pow(distance(pb.cursor_at[ms], mean), 2) / (to - from);
        jitter_sum += square;
        ++jitter_windows;
        // Lag: how long ago the intended aim was where the cursor is now, while the move is under way.
        for (int ms = t.start; ms < arrived; ++ms) {
            if (!person.moving[ms] || ms < 200)
                continue;
            int best = 0;
            double nearest = 1e30;
            for (int back = 0; back <= 200; ++back) {
                const double d = distance(pb.cursor_at[ms], aimed[ms - back]);
                if (d < nearest) {
                    nearest = d;
                    best = back;
                }
            }
            lag_sum += best;
            ++lag_samples;
        }
        // Settle: from the moment the aim comes within 5 px of the target until the cursor does.
        int on_target = t.start;
        while (distance(aimed[on_target], target) > 5.0)
            ++on_target;
        int settled = on_target;
        while (settled < arrived + kPullAtMs && distance(pb.cursor_at[settled], target) > 5.0)
            ++settled;
        settle_sum += settled - on_target;
    }
    f.jitter = std::sqrt(jitter_sum / jitter_windows);
    f.lag = lag_sum / std::max(1, lag_samples);
    f.settle = settle_sum / static_cast<double>(person.trials.size());
    // Click error: each click against the target of the trial it happened in.
    for (const auto& [when, where] : pb.clicks) {
        const auto trial =
            std::upper_bound(person.trials.begin(), person.trials.end(), when,
                             [](uint32_t ms, const Trial& t) { return ms < uint32_t(t.start); });
        const double e = distance(where, pixelOf(std::prev(trial)->to));
        f.click_mean += e / static_cast<double>(pb.clicks.size());
        f.click_max = std::max(f.click_max, e);
    }
    f.clicks = static_cast<int>(pb.clicks.size());
    return f;
}

} // namespace

int main(int argc, char** argv) {
    RunnerSettings base;
    base.handedness = 1;
    base.dragging_threshold_ms = 200;
    base.average_of_N_previous_positions = 5;
    RunnerSettings one_euro = base;
    one_euro.stabilization_enable = true;
    one_euro.stabilization_filter = StabilizationFilter::one_euro;
    float freeze = 0.6f;
    int trials = 300;
    if (argc >= 5) {
        one_euro.min_cutoff_hz = std::strtof(argv[1], nullptr);
        one_euro.beta = std::strtof(argv[2], nullptr);
        one_euro.derivative_cutoff_hz = std::strtof(argv[3], nullptr);
        freeze = std::strtof(argv[4], nullptr);
    }
    if (argc >= 6)
        trials = std::atoi(argv[5]);
    const unsigned seed = argc >= 7 ? static_cast<unsigned>(std::atoi(argv[6])) : 12;

    useVrLibrary(simVrLibrary());
    simLoadScenarioText("device 0 hmd\ndevice 1 controller\n");
    const VrStartup vr = startVr();
    if (vr.error != vr::VRInitError_None) {
        std::fprintf(stderr, "the simulated runtime did not start\n");
        return 1;
    }
    // Jitter and clicks come from the shaking hand. Lag and settle time come from the steady one, so that
    // they show the delay of the filter itself rather than where the tremor happened to be.
    const Person person = makePerson(trials, seed, true);
    const Person steady = makePerson(trials, seed, false);

    struct Row {
        const char* name;
        RunnerSettings settings;
    };
    RunnerSettings average = base;
    average.stabilization_enable = true;
    RunnerSettings frozen = one_euro;
    frozen.click_freeze_degrees = freeze;
    const Row rows[] = {{"raw", base},
                        {"moving average N=5", average},
                        {"1€ filter", one_euro},
                        {"1€ filter + click freeze", frozen}};

    std::printf("%d trials; 1€ min_cutoff_hz %g, beta %g, derivative_cutoff_hz %g; click freeze %g°\n\n",
                trials, one_euro.min_cutoff_hz, one_euro.beta, one_euro.derivative_cutoff_hz, freeze);
    std::printf(
        "| stabilization | jitter (px RMS) | lag (ms) | settle (ms) | click error mean / max (px) |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        Figures f = play(person, row.settings, vr.system);
        const Figures moves = play(steady, row.settings, vr.system);
        f.lag = moves.lag;
        f.settle = moves.settle;
        std::printf("| %s | %.2f | %.1f | %.1f | %.1f / %.1f |", row.name, f.jitter, f.lag, f.settle,
                    f.click_mean, f.click_max);
        if (f.clicks != trials)
            std::printf(" (%d clicks for %d pulls)", f.clicks, trials);
        std::printf("\n");
    }
    VR_ShutdownInternal();
    return 0;
}
