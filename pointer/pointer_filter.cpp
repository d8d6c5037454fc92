#include "pointer/pointer_filter.h"

#include <cmath>
#include <numbers>

namespace {

using Vector = std::array<double, 3>;

Vector widen(Vec3 v) {
    return {v.x, v.y, v.z};
}

double length(const Vector& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

Vector scaled(const Vector& v, double factor) {
    return {v[0] * factor, v[1] * factor, v[2] * factor};
}

// The smoothing factor of a first-order low-pass with this cutoff over one step of dt seconds.
double smoothingFactor(double cutoff_hz, double dt) {
    const double r = 2.0 * std::numbers::pi * cutoff_hz * dt;
    return r / (1.0 + r);
}

void lowPass(Vector& state, const Vector& input, double factor) {
    for (size_t i = 0; i < 3; ++i)
        state[i] += factor * (input[i] - state[i]);
}

Vec3 narrow(const Vector& v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
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
    const Vector input = widen(direction);
    const double norm = length(input);
    if (!std::isfinite(norm) || norm == 0.0)
        return direction;
    const Vector unit = scaled(input, 1.0 / norm);

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
    Vector rate;
    for (size_t i = 0; i < 3; ++i)
        rate[i] = (unit[i] - filter.raw[i]) / dt;
    lowPass(filter.velocity, rate, smoothingFactor(filter.derivative_cutoff_hz, dt));
    const double speed_degrees = length(filter.velocity) * 180.0 / std::numbers::pi;
    const double cutoff = filter.min_cutoff_hz + filter.beta * speed_degrees;
    lowPass(filter.filtered, unit, smoothingFactor(cutoff, dt));
    const double filtered_length = length(filter.filtered);
    if (filtered_length > 0.0)
        filter.filtered = scaled(filter.filtered, 1.0 / filtered_length);
    else // turned right round within one step: follow the input
        filter.filtered = unit;
    filter.raw = unit;
    filter.last_tick = tick;
    return narrow(filter.filtered);
}

double angleDegrees(Vec3 a, Vec3 b) {
    const Vector u = widen(a);
    const Vector v = widen(b);
    const Vector cross{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    return std::atan2(length(cross), dot) * 180.0 / std::numbers::pi;
}

bool freezeHolds(ClickFreeze& freeze, Vec3 direction, float cone_degrees) {
    if (!freeze.active)
        return false;
    if (angleDegrees(direction, freeze.press_direction) <= cone_degrees)
        return true;
    freeze.active = false;
    return false;
}

void followTrigger(ClickFreeze& freeze, const TrackedController& controller, const ButtonState& buttons,
                   Vec3 direction, bool placed, float cone_degrees) {
    const TrackedController& c = controller;
    if (freeze.active) {
        if (buttons.dragging || !isHeld(c, c.trigger_button))
            freeze.active = false;
        return;
    }
    if (cone_degrees > 0.0f && placed && buttons.trigger_seen_released && !buttons.dragging &&
        pressEdge(c, c.trigger_button)) {
        freeze.active = true;
        freeze.press_direction = direction;
    }
}
