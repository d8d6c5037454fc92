// The runner's frame loop over one plain record that holds everything the loop owns.
#pragma once

#include "config/config_file.h"
#include "pointer/button_handling.h"
#include "pointer/cursor_stabilizer.h"
#include "pointer/display_plane.h"
#include "pointer/handover.h"
#include "pointer/pointer_filter.h"
#include "pointer/pointer_io.h"
#include "vr/tracked_controller.h"

#include <cstdint>
#include <vector>

inline constexpr uint32_t kFramePeriodMs = 5;

struct RunnerState {
    std::vector<DisplayPlane> displays; // in the file's order, which is the order they are tried in
    RunnerSettings settings;
    TrackedController controller;
    CursorStabilizer stabilizer;
    DirectionFilter direction_filter;
    ClickFreeze click_freeze;
    ButtonState buttons;
    Handover handover;
    uint32_t frame_start_tick = 0;
};

std::vector<DisplayPlane> makeDisplayList(const std::vector<DisplayEntry>& entries);

// The stabilizer, the direction filter and the handover that runner.settings ask for.
void prepareFromSettings(RunnerState& runner);

// Tries every monitor in list order and places the cursor for each one the ray lands on; the monitor
// that the ray enters becomes the current one. Returns whether the cursor was placed. With a handover, a
// placement goes out only when it moves the cursor (sendsPlacement).
bool pointAtDisplays(std::vector<DisplayPlane>& displays, const PointingRay& ray,
                     CursorStabilizer& stabilizer, const PointerIo& io, Handover* handover = nullptr);

// Waits until at least `period_ms` have passed since the previous frame started: one sleep to the due
// tick, then 1 ms sleeps while the tick says the time has not come.
void paceFrame(uint32_t& frame_start_tick, const PointerIo& io, uint32_t period_ms = kFramePeriodMs);

// One pass of the loop: pacing, controller update, and for a tracked controller the cursor and buttons.
void runFrame(RunnerState& runner, const PointerIo& io);
