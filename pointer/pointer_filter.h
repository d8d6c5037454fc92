// Steadier pointing: the 1€ filter on the pointing direction.
#pragma once

#include "config/config_file.h"
#include "geometry/geometry.h"

#include <cstdint>

// Frames further apart than this (the controller lost, the cursor switched off) start the filter afresh.
inline constexpr uint32_t kDirectionFilterGapMs = 100;

// The 1€ filter (Casiez, Roussel and Vogel, 2012): a low-pass whose cutoff is min_cutoff_hz plus beta
// times the angular speed, the speed itself low-passed at derivative_cutoff_hz. It works on the unit
// pointing direction, before the ray meets the monitors, so that its settings do not depend on how big
// or how far away they are, and the cursor passes from one monitor to the next without a jump.
struct DirectionFilter {
    bool enabled = false;
    double min_cutoff_hz = 0.5;
    double beta = 2.5; // Hz per degree per second
    double derivative_cutoff_hz = 1.0;
    bool primed = false; // has a previous direction
    uint32_t last_tick = 0;
    Vec3d raw;      // the previous input, unit length
    Vec3d filtered; // the output, unit length
    Vec3d velocity; // low-passed rate of change of the input, per second
};

// On when stabilization is on with the filter "one_euro"; off, it passes every direction through.
DirectionFilter makeDirectionFilter(const RunnerSettings& settings);

// The steadied direction for one seen in the frame that started at `tick` (ms, the runner's clock). When
// the filter is off, and for a direction that is zero or not finite, the direction passes through and the
// filter stays as it was.
Vec3 filterDirection(DirectionFilter& filter, Vec3 direction, uint32_t tick);
