// Calibration and pointing together: wandsetup calibrates two monitors from a scripted user, then
// wandpointer, reading that file, must put the pointer on the pixel the controller aims at.
#include "tests/setup/scripted_controller.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/xserver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace setuptest;
using namespace testsupport;

// A monitor of the scene: its X rectangle and its screen in tracking space (upper left, size in metres).
struct SceneMonitor {
    TestMonitor rect;
    Vec3 upper_left;
    float width_m;
    float height_m;
};

// Left: 1280x1024 at the root's origin; right: 1920x1080 beside it, a little further back and lower.
const SceneMonitor kLeft{{0, 0, 1280, 1024, false}, {-0.90f, 1.40f, -0.60f}, 0.338f, 0.270f};
const SceneMonitor kRight{{1280, 0, 1920, 1080, true}, {-0.54f, 1.38f, -0.65f}, 0.508f, 0.286f};

std::array<Vec3, 4> cornersOf(const SceneMonitor& m) {
    return screenCorners(m.upper_left, m.width_m, m.height_m);
}

// The middle of pixel (px, py) of the monitor, in tracking space.
Vec3 pixelCentre(const SceneMonitor& m, int px, int py) {
    const double u = (px - m.rect.x + 0.5) / m.rect.width;
    const double v = (py - m.rect.y + 0.5) / m.rect.height;
    return Vec3{float(m.upper_left.x + u * m.width_m), float(m.upper_left.y - v * m.height_m),
                m.upper_left.z};
}

struct Aim {
    const SceneMonitor* monitor;
    int px;
    int py;
};

std::string number(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    return text;
}

std::string point(const Vec3& p) {
    return number(p.x) + " " + number(p.y) + " " + number(p.z);
}

bool waitNear(XObserver& observer, int x, int y, PointerPosition& seen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        seen = observer.pointer();
        if (std::abs(seen.x - x) <= 1 && std::abs(seen.y - y) <= 1)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

TEST(ClosedLoop, ThePointerLandsOnThePixelAimedAt) {
    XServer x({kLeft.rect, kRight.rect});
    TempDir dir;

    // Calibrate: touch on the left monitor, pointing on the right one.
    ScriptedController user;
    user.pressAll(touchPoses(cornersOf(kLeft)));
    user.pressAll(pointingPoses(cornersOf(kRight), {-0.45f, 1.2f, 0.0f}, {-0.05f, 1.1f, -0.05f}));
    user.finish();
    const SetupRun setup = runSetupOn(x.display(), dir, user, "1 2 1\n");
    ASSERT_EQ(setup.status, 0) << setup.out << setup.err;

    // Point: from a place in front of the monitors at each one's centre and corner pixels, one after the
    // other; each aim holds until the test has looked at the pointer.
    const Vec3 stand{-0.40f, 1.15f, 0.05f};
    std::vector<Aim> aims;
    for (const SceneMonitor* m : {&kLeft, &kRight}) {
        const int left = m->rect.x, top = m->rect.y;
        const int right = m->rect.x + m->rect.width - 1, bottom = m->rect.y + m->rect.height - 1;
        aims.push_back({m, (left + right + 1) / 2, (top + bottom + 1) / 2});
        aims.push_back({m, left, top});
        aims.push_back({m, left, bottom});
        aims.push_back({m, right, bottom});
        aims.push_back({m, right, top});
    }
    std::string scenario = "device 0 hmd\ndevice 1 controller\n";
    for (size_t i = 0; i < aims.size(); ++i)
        scenario += "step wait=aim" + std::to_string(i) + "\n  1 pose aim " + point(stand) + " " +
                    point(pixelCentre(*aims[i].monitor, aims[i].px, aims[i].py)) + "\n";
    writeFile(dir.file("pointer.scenario"), scenario);

    XObserver observer(x.display());
    ProcessOptions pointer_options;
    pointer_options.working_dir = dir.path().string();
    pointer_options.env = {x.displayEnv(), {"WAND_SIM_SCENARIO", dir.file("pointer.scenario")}};
    Process pointer({binPath("wandpointer")}, pointer_options);
    for (size_t i = 0; i < aims.size(); ++i) {
        PointerPosition seen;
        EXPECT_TRUE(waitNear(observer, aims[i].px, aims[i].py, seen))
            << "aim " << i << " at pixel " << aims[i].px << "," << aims[i].py << ": pointer at " << seen.x
            << "," << seen.y << "\n"
            << pointer.out() << pointer.err();
        writeFile(dir.file("aim" + std::to_string(i)), "");
    }
    EXPECT_TRUE(pointer.running()) << pointer.out() << pointer.err();
}

} // namespace
