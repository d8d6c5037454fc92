#include "pointer/runner.h"

#include <algorithm>

std::vector<DisplayPlane> makeDisplayList(const std::vector<DisplayEntry>& entries) {
    std::vector<DisplayPlane> displays;
    displays.reserve(entries.size());
    for (const DisplayEntry& e : entries)
        displays.push_back(makeDisplayPlane(e.corners[0], e.corners[1], e.corners[2], e.corners[3], e.left,
                                            e.top, e.right, e.bottom));
    return displays;
}

void prepareFromSettings(RunnerState& runner) {
    runner.stabilizer = makeCursorStabilizer(runner.settings.average_of_N_previous_positions,
                                             averagesPositions(runner.settings));
    runner.direction_filter = makeDirectionFilter(runner.settings);
    runner.handover = makeHandover(runner.settings);
}

bool pointAtDisplays(std::vector<DisplayPlane>& displays, const PointingRay& ray,
                     CursorStabilizer& stabilizer, const PointerIo& io, Handover* handover) {
    const Vec3 origin = cartesian(ray.origin);
    bool placed = false;
    for (DisplayPlane& display : displays) {
        const auto pixel = mapRayToDisplay(display, origin, ray.direction);
        if (!pixel)
            continue;
        const auto x = truncateToPixel(pixel->x);
        const auto y = truncateToPixel(pixel->y);
        if (!x || !y)
            continue;
        if (!display.is_current) {
            for (DisplayPlane& other : displays)
                other.is_current = false;
            display.is_current = true;
        }
        const platform::CursorPosition at = stabilizedPosition(stabilizer, *x, *y);
        if (!handover || sendsPlacement(*handover, at.x, at.y, io))
            io.set_cursor_pos(at.x, at.y);
        placed = true;
    }
    return placed;
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

// A frame without tracking sends nothing, with the exceptions that keep the desktop's buttons and keys
// honest.
void loseTracking(RunnerState& runner, const PointerIo& io) {
    const TrackedController& c = runner.controller;
    // A controller that is gone (switched off, out of battery) may never come back to end its drag, so
    // the held button is let go now. One whose pose is only lost still reports its trigger: the drag
    // lasts while the trigger is held and ends, where the cursor is, when it is let go.
    // What the bindings hold is let go at once in any case: a key held while nobody can see its control's
    // release would repeat at the desktop.
    const bool connected = c.device_index < c.poses.size() && c.poses[c.device_index].bDeviceIsConnected;
    if (!connected || !isHeld(c, Control::trigger))
        releaseEverything(runner.settings, runner.buttons, io);
    else
        releaseBindings(runner.settings, runner.buttons, io);
    // A pull that begins now is never seen as a press; if the trigger is still held when tracking returns,
    // it must neither click nor drag, so the trigger counts again only once it has been seen released.
    if (!runner.buttons.dragging)
        runner.buttons.trigger_seen_released = false;
    // Nothing is known of the direction meanwhile: a rest is timed afresh from the next tracked frame.
    runner.handover.still = false;
}

// What the frame brings to the handover besides the direction: a press of any button that can take the
// cursor back, and whether the trigger, a drag or a binding holds the cursor placed.
HandoverFrame handoverFrame(const RunnerState& runner, Vec3 raw_direction) {
    const TrackedController& c = runner.controller;
    const ButtonState& b = runner.buttons;
    HandoverFrame frame;
    frame.tick = runner.frame_start_tick;
    frame.direction = raw_direction;
    frame.pressed = pressEdge(c, Control::trigger) || pressEdge(c, Control::touchpad) ||
                    pressEdge(c, Control::grip) || pressEdge(c, Control::menu);
    frame.holding = b.dragging || (b.trigger_seen_released && isHeld(c, Control::trigger)) ||
                    std::find(b.holding.begin(), b.holding.end(), true) != b.holding.end();
    return frame;
}

} // namespace

void runFrame(RunnerState& runner, const PointerIo& io) {
    paceFrame(runner.frame_start_tick, io,
              runner.handover.pause == Pause::rest ? kRestFramePeriodMs : kFramePeriodMs);
    update(runner.controller);
    if (!isTracking(runner.controller)) {
        loseTracking(runner, io);
        return;
    }
    const RunnerSettings& settings = runner.settings;
    // Only the trigger's own click waits for its release, so only it holds the cursor still.
    const float freeze_degrees = bindingOf(settings, BoundControl::trigger).action == Action::standard
                                     ? settings.click_freeze_degrees
                                     : 0.0f;
    Vec3 direction;
    bool placed = false;
    if (runner.buttons.cursor_enabled) {
        PointingRay ray = pointingRay(runner.controller, settings.controller_angle_offset_x,
                                      settings.controller_angle_offset_y);
        const bool may_place = mayPlaceCursor(runner.handover, handoverFrame(runner, ray.direction), io);
        // The filter follows the direction while paused too, so that a resume starts from where it points.
        ray.direction = filterDirection(runner.direction_filter, ray.direction, runner.frame_start_tick);
        direction = ray.direction;
        if (may_place && !freezeHolds(runner.click_freeze, direction, freeze_degrees))
            placed = pointAtDisplays(runner.displays, ray, runner.stabilizer, io, &runner.handover);
    } else {
        forgetHandover(runner.handover);
    }
    handleButtons(runner.controller, settings, runner.buttons, io);
    followTrigger(runner.click_freeze, runner.controller, runner.buttons, direction, placed, freeze_degrees);
}
