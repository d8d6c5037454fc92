#include "pointer/pointer_filter.h"

#include <cmath>
#include <numbers>

namespace {

// The smoothing factor of a first-order low-pass with this cutoff over one step of dt seconds.
double smoothingFactor(double cutoff_hz, double dt) {
    const double r = 2.0 * std::numbers::pi * cutoff_hz * dt;
    return r / (1.0 + r);
}

void lowPass(Vec3d& state, const Vec3d& input, double factor) {
    state = state + factor * (input - state);
}

} // namespace

DirectionFilter makeDirectionFilter(const RunnerSettings& settings) {
    DirectionFilter filter;
    filter.enabled =
        settings.stabilization_enable && settings.stabilization_filter == StabilizationFilter::one_euro;
    filter.min_cutoff_hz = settings.min_cutoff_hz;
    filter.beta = settings.beta;
    filter.derivative_cutoff_hz = settings.derivative_cutoff_hz;
    return filter;
}

Vec3 filterDirection(DirectionFilter& filter, Vec3 direction, uint32_t tick) {
    if (!filter.enabled)
        return direction;
    const Vec3d input = widen(direction);
    const double norm = length(input);
    if (!std::isfinite(norm) || norm == 0.0)
        return direction;
    const Vec3d unit = (1.0 / norm) * input;

    const uint32_t elapsed = tick - filter.last_tick;
    if (!filter.primed || elapsed > kDirectionFilterGapMs) {
        filter.primed = true;
        filter.last_tick = tick;
        filter.raw = filter.filtered = unit;
        filter.velocity = {};
        return narrow(unit);
    }
    // A clock that has not moved since the last frame gives no rate; this frame's motion is counted
    // with the next one's.
    if (elapsed == 0)
        return narrow(filter.filtered);

    const double dt = elapsed / 1000.0;
    lowPass(filter.velocity, (unit - filter.raw) / dt, smoothingFactor(filter.derivative_cutoff_hz, dt));
    const double speed_degrees = length(filter.velocity) * 180.0 / std::numbers::pi;
    const double cutoff = filter.min_cutoff_hz + filter.beta * speed_degrees;
    lowPass(filter.filtered, unit, smoothingFactor(cutoff, dt));
    const double filtered_length = length(filter.filtered);
    if (filtered_length > 0.0)
        filter.filtered = (1.0 / filtered_length) * filter.filtered;
    else // turned right round within one step: follow the input
        filter.filtered = unit;
    filter.raw = unit;
    filter.last_tick = tick;
    return narrow(filter.filtered);
}
