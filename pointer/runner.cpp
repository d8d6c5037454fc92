#include "pointer/runner.h"

std::vector<DisplayPlane> makeDisplayList(const std::vector<DisplayEntry>& entries) {
    std::vector<DisplayPlane> displays;
    displays.reserve(entries.size());
    for (const DisplayEntry& e : entries)
        displays.push_back(makeDisplayPlane(e.corners[0], e.corners[1], e.corners[2], e.corners[3], e.left,
                                            e.top, e.right, e.bottom));
    return displays;
}

void prepareFromSettings(RunnerState& runner) {
    const RunnerSettings& settings = runner.settings;
    runner.aim = tiltedAim(settings.controller_angle_offset_x, settings.controller_angle_offset_y);
    runner.stabilizer =
        makeCursorStabilizer(settings.average_of_N_previous_positions, averagesPositions(settings));
    runner.direction_filter = makeDirectionFilter(settings);
    runner.handover = makeHandover(settings);
}

void paceFrame(uint32_t& frame_start_tick, const PointerIo& io, uint32_t period_ms) {
    // One wake-up per frame, at the tick the frame is due; the tick decides, so a sleep that a signal or
    // a missing precise timer cut short goes on in 1 ms steps.
    io.sleep_until(frame_start_tick + period_ms);
    while (io.tick_count() - frame_start_tick < period_ms)
        io.sleep_ms(1);
    frame_start_tick = io.tick_count();
}

namespace {

// What the frame brings to the handover: the raw direction, a press of any button that can take the cursor
// back, and whether the trigger, a drag or a binding holds the cursor placed.
HandoverFrame handoverFrame(const RunnerState& runner, const ControllerFrame& frame) {
    auto pressed = [&](Control c) { return frame.controls[static_cast<size_t>(c)].pressed; };
    HandoverFrame h;
    h.tick = runner.frame_start_tick;
    h.direction = frame.ray.direction;
    h.pressed =
        pressed(Control::trigger) || frame.pad.pressed || pressed(Control::grip) || pressed(Control::menu);
    h.holding = triggerHoldsCursor(runner.trigger, frame.controls[static_cast<size_t>(Control::trigger)]) ||
                bindingsHold(runner.buttons);
    return h;
}

// The cursor's one placement in the frame, at the pixel through the moving average when that is on; with a
// handover, it goes out only when it moves the cursor (sendsPlacement).
void place(RunnerState& runner, DesktopPixel pixel, const PointerIo& io) {
    const platform::CursorPosition at = stabilizedPosition(runner.stabilizer, pixel.x, pixel.y);
    if (sendsPlacement(runner.handover, at.x, at.y, io))
        io.set_cursor_pos(at.x, at.y);
}

} // namespace

void runFrame(RunnerState& runner, const PointerIo& io) {
    paceFrame(runner.frame_start_tick, io,
              runner.handover.pause == Pause::rest ? kRestFramePeriodMs : kFramePeriodMs);
    const ControllerFrame frame = readControllerFrame(runner.controller, runner.aim);
    const RunnerSettings& settings = runner.settings;
    if (!frame.tracked) {
        // A frame without tracking sends nothing but what keeps the desktop's buttons and keys honest.
        loseButtons(frame, settings, runner.buttons, runner.trigger, io);
        handoverLost(runner.handover);
        return;
    }
    const float freeze_degrees = clickFreezeDegrees(settings);
    Vec3 direction;
    bool placed = false;
    if (runner.buttons.cursor_enabled) {
        const bool may_place = mayPlaceCursor(runner.handover, handoverFrame(runner, frame), io);
        // The filter follows the direction while paused too, so that a resume starts from where it points.
        direction = filterDirection(runner.direction_filter, frame.ray.direction, runner.frame_start_tick);
        if (may_place && !freezeHolds(runner.trigger, direction, freeze_degrees)) {
            const std::optional<DesktopPixel> pixel =
                pixelOnMonitors(runner.displays, runner.current_display, {frame.ray.origin, direction});
            if (pixel)
                place(runner, *pixel, io);
            placed = pixel.has_value();
        } else if (may_place) {
            keepPlacement(runner.handover, io); // frozen for a click: where the press placed it
        }
    } else {
        forgetHandover(runner.handover);
    }
    handleButtons({runner.controller, frame, settings}, runner.buttons, runner.trigger, io);
    followTrigger(runner.trigger, frame.controls[static_cast<size_t>(Control::trigger)], direction, placed,
                  freeze_degrees);
}

void stopFrames(RunnerState& runner, const PointerIo& io) {
    releaseEverything(runner.settings, runner.buttons, runner.trigger, io);
}
