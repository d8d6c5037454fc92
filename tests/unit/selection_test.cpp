// Controller selection against the simulated runtime linked in-process.
#include "sim/sim_core.h"
#include "vr/controller_selection.h"
#include "vr/vr_runtime.h"

#include <gtest/gtest.h>

namespace {

TEST(Selection, TheControllerWhoseTriggerIsPulledComesFirst) {
    struct Case {
        const char* scenario;
        std::vector<uint32_t> chosen;
    };
    const Case cases[] = {
        {"device 0 hmd\ndevice 3 controller\ndevice 4 tracker\n", {3}},
        {"device 1 controller\ndevice 2 controller\nstep polls=6\nstep\n  2 trigger 0.9\n", {2, 1}},
        {"device 1 controller\ndevice 2 controller\nstep polls=4\n  1 trigger 0.3\nstep\n  2 trigger 0.31\n",
         {2, 1}},
        {"device 1 controller\ndevice 2 controller\nstep\n  1 trigger 1\n  2 trigger 1\n", {1, 2}},
        {"device 2 controller\ndevice 15 controller\nstep polls=3\n  15 trigger 1\n", {15, 2}},
    };
    useVrLibrary(simVrLibrary());
    for (const Case& c : cases) {
        simLoadScenarioText(c.scenario);
        const VrStartup vr = startVr();
        ASSERT_EQ(vr.error, vr::VRInitError_None);
        std::vector<uint32_t> chosen;
        for (const TrackedController& t : selectControllers(vr.system, 1, {"primary"}))
            chosen.push_back(t.device_index);
        EXPECT_EQ(chosen, c.chosen) << c.scenario;
    }
}

} // namespace
