#include "setup/calibration.h"

#include "os/os.h"
#include "vr/vr_runtime.h"

#include <cstdio>

namespace {

constexpr uint32_t kPollIntervalMs = 100;

const char* const kPointingInstruction =
    "By aligning the application and system buttons, point the controller to:\n";
const char* const kMoveInstruction = "\nNow move to a new position and repeat!\n";

void promptCorner(int corner) {
    std::printf("the %s corner of the screen and press the application button", kCornerNames[corner]);
    std::fflush(stdout);
}

// Asks for the corner and takes one pointing sample at it, its direction made unit length. False when the
// runtime asked to quit instead.
bool aimAt(TrackedController& controller, int corner, Ray& ray) {
    promptCorner(corner);
    const std::optional<Ray> sample = waitForApplicationButton(controller);
    if (!sample)
        return false;
    ray = Ray{sample->origin, normalizedDirection(sample->direction)};
    return true;
}

} // namespace

std::optional<Ray> waitForApplicationButton(TrackedController& controller) {
    for (;;) {
        const ControllerFrame frame = readControllerFrame(controller);
        bool taken = false;
        Ray ray;
        if (frame.tracked && frame.controls[static_cast<size_t>(Control::menu)].pressed) {
            ray = frame.tip;
            taken = true;
            std::printf(" - OK\n");
            std::fflush(stdout);
        } else if (readRuntimeEvents(controller.system)) {
            return std::nullopt;
        }
        platform::sleepMs(kPollIntervalMs);
        if (taken)
            return ray;
    }
}

std::optional<std::vector<Vec3>> touchCorners(TrackedController& controller, int count) {
    std::printf("With the tip of the controller touch:\n");
    std::vector<Vec3> touched;
    for (int corner = 0; corner < count; ++corner) {
        promptCorner(corner);
        const std::optional<Ray> sample = waitForApplicationButton(controller);
        if (!sample)
            return std::nullopt;
        touched.push_back(sample->origin);
    }
    return touched;
}

bool calibrateByTouch(TrackedController& controller, std::vector<Vec3>& corners) {
    std::printf("\n\n");
    std::printf("CALIBRATION BY TOUCH\n\n");
    const std::optional<std::vector<Vec3>> touched = touchCorners(controller, 4);
    if (!touched)
        return false;
    corners = *touched;
    return true;
}

bool calibrateByPointing(TrackedController& controller, std::vector<Vec3>& corners,
                         std::array<float, 4>& aim_gaps) {
    std::printf("\n\n");
    std::printf("CALIBRATION BY POINTING\n");
    std::printf("Uses two sets of intersecting lines to estimate display corners\n\n");
    std::printf("%s", kPointingInstruction);
    std::array<Ray, 8> rays;
    for (int k = 0; k < 8; ++k) {
        if (k == 4) {
            std::printf("%s", kMoveInstruction);
            std::printf("%s", kPointingInstruction);
        }
        if (!aimAt(controller, k % 4, rays[k]))
            return false;
    }
    std::vector<Vec3> estimated;
    for (int corner = 0; corner < 4; ++corner) {
        CornerEstimate estimate = estimateCorner(rays[corner], rays[corner + 4]);
        while (!estimate.usable) {
            std::printf("\nThe two lines to the %s corner are too close to parallel to give a corner.\n"
                        "Point at it again, from two positions further apart.\n",
                        kCornerNames[corner]);
            std::printf("%s", kPointingInstruction);
            if (!aimAt(controller, corner, rays[corner]))
                return false;
            std::printf("%s", kMoveInstruction);
            std::printf("%s", kPointingInstruction);
            if (!aimAt(controller, corner, rays[corner + 4]))
                return false;
            estimate = estimateCorner(rays[corner], rays[corner + 4]);
        }
        estimated.push_back(estimate.point);
        aim_gaps[corner] = estimate.gap;
    }
    corners = estimated;
    return true;
}
