// The trigger's click, drag and "seen released" on a synthetic clock (its click freeze: pointer_filter_test).
#include "pointer/trigger_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Step {
    uint32_t tick;
    bool held;
    int lost = 0; // 1: the pose lost, the controller still connected; 2: the controller gone
};

// The trigger's events, "click@1199 down@1201 up@1300", for the steps after a first one at tick 0 (held or
// not), with a threshold of 200 ms; "up@stop" when a drag is left at the runner's stop.
std::string events(std::vector<Step> steps, bool held_at_start = false) {
    static const char* const kNames[] = {"", "click", "down", "up"};
    TriggerMachine machine;
    ControlState trigger;
    std::string out;
    steps.insert(steps.begin(), Step{0, held_at_start});
    for (const Step& s : steps) {
        trigger = {s.held, s.held && !trigger.held, !s.held && trigger.held};
        if (s.lost != 0) {
            if (triggerLost(machine, s.lost == 1, trigger))
                out += " up@" + std::to_string(s.tick);
        } else if (triggerActs(machine, trigger)) {
            if (const TriggerEvent e = stepTrigger(machine, trigger, s.tick, 200); e != TriggerEvent::none)
                out += std::string(" ") + kNames[int(e)] + "@" + std::to_string(s.tick);
        }
    }
    if (endDrag(machine))
        out += " up@stop";
    return out.empty() ? out : out.substr(1);
}

TEST(TriggerMachine, AReleaseClicksUnlessAHeldFrameBeganTheDragAndAPullCountsOnceSeenReleased) {
    // A release before any held frame began the drag clicks, however long after the threshold it is seen.
    EXPECT_EQ(events({{1000, 1}, {1199, 0}}), "click@1199");
    EXPECT_EQ(events({{1000, 1}, {1200, 1}, {1205, 0}}), "click@1205");
    EXPECT_EQ(events({{1000, 1}, {1201, 1}, {1202, 1}, {1300, 0}}), "down@1201 up@1300");
    EXPECT_EQ(events({{1000, 1}, {1300, 1}}), "down@1300 up@stop");
    EXPECT_EQ(events({{0xFFFFFFF0u, 1}, {40, 0}}), "click@40")
        << "the tick wraps: the difference is unsigned";
    // Held when the loop starts: neither clicks nor drags until it has been seen released.
    EXPECT_EQ(events({{500, 1}, {900, 0}, {950, 1}, {990, 0}}, true), "click@990");
    // Untracked: a drag goes on while the pose is lost and the trigger held, and ends when it is let go or
    // the controller is gone; without a drag, a pull held through the loss counts only once seen released.
    EXPECT_EQ(events({{100, 1}, {400, 1}, {500, 1, 1}, {600, 1}, {700, 0}}), "down@400 up@700");
    EXPECT_EQ(events({{100, 1}, {400, 1}, {500, 0, 1}, {600, 0}}), "down@400 up@500");
    EXPECT_EQ(events({{100, 1}, {400, 1}, {500, 1, 2}, {600, 1}, {700, 0}, {800, 1}, {850, 0}}),
              "down@400 up@500 click@850");
    EXPECT_EQ(events({{100, 1, 1}, {150, 1}, {200, 0}, {300, 1}, {350, 0}}), "click@350");
}

} // namespace
