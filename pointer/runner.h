// The runner's frame loop over one plain record that holds everything the loop owns. A frame is a pipeline:
// the controller's frame, the handover's gate, the direction filter, the click freeze, the one pixel aimed
// at, at most one placement, then the buttons.
#pragma once

#include "config/config_file.h"
#include "pointer/button_handling.h"
#include "pointer/cursor_stabilizer.h"
#include "pointer/display_plane.h"
#include "pointer/handover.h"
#include "pointer/pointer_filter.h"
#include "pointer/pointer_io.h"
#include "pointer/trigger_machine.h"
#include "vr/controller_frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

inline constexpr uint32_t kFramePeriodMs = 5;

struct RunnerState {
    std::vector<DisplayPlane> displays;    // in the file's order, which is the order they are tried in
    std::optional<size_t> current_display; // the monitor the ray entered last, which pins a ray that misses
    RunnerSettings settings;
    TrackedController controller;
    Vec3 aim = kStraightAhead; // the controller-space point the ray passes through: the angle offsets
    CursorStabilizer stabilizer;
    DirectionFilter direction_filter;
    TriggerMachine trigger;
    ButtonState buttons;
    Handover handover;
    uint32_t frame_start_tick = 0;
};

std::vector<DisplayPlane> makeDisplayList(const std::vector<DisplayEntry>& entries);

// The aim, the stabilizer, the direction filter and the handover that runner.settings ask for.
void prepareFromSettings(RunnerState& runner);

// Waits until at least `period_ms` have passed since the previous frame started: one sleep to the due
// tick, then 1 ms sleeps while the tick says the time has not come.
void paceFrame(uint32_t& frame_start_tick, const PointerIo& io, uint32_t period_ms = kFramePeriodMs);

// One pass of the loop: pacing, the controller's frame, and for a tracked controller the cursor and buttons.
void runFrame(RunnerState& runner, const PointerIo& io);

// Lets go of everything the loop holds down (a drag's button, what the bindings hold): the runner stops.
void stopFrames(RunnerState& runner, const PointerIo& io);
