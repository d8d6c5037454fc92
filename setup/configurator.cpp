#include "setup/configurator.h"

#include "config/config_file.h"
#include "desktop/desktop_layout.h"
#include "platform/platform.h"
#include "setup/calibration.h"
#include "setup/calibration_quality.h"
#include "setup/dialogue.h"
#include "vr/controller_selection.h"

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

int inputEnded() {
    std::fprintf(stderr, "\nwandsetup: standard input ended before the answer; nothing was written\n");
    return kExitInputEnded;
}

} // namespace

int runConfigurator(std::istream& in, const std::string& path) {
    std::optional<TrackedController> controller = startRuntimeAndSelectController(Program::setup);
    if (!controller)
        return kExitVrStartupFailed;

    DesktopLayout layout;
    refresh(layout);
    return calibrateAndWrite(in, *controller, layout, path);
}

int calibrateAndWrite(std::istream& in, TrackedController& controller, const DesktopLayout& layout,
                      const std::string& path) {
    const int count = static_cast<int>(layout.monitors.size());
    std::printf("\n%d monitors found.", count);

    std::vector<CalibratedMonitor> calibrated;
    for (int i = 0; i < count; ++i) {
        const MonitorInfo& monitor = layout.monitors[i];
        for (;;) {
            const std::optional<int> method = askCalibrationMethod(in, i, count, monitor);
            if (!method)
                return inputEnded();
            std::vector<Vec3> corners;
            std::optional<std::array<float, 4>> aim_gaps;
            if (*method == kMethodTouch) {
                calibrateByTouch(controller, corners);
            } else {
                aim_gaps.emplace();
                calibrateByPointing(controller, corners, *aim_gaps);
            }
            const std::array<Vec3, 4> measured = {corners[0], corners[1], corners[2], corners[3]};
            std::printf("\n");
            std::printf("Calibration for monitor %d/%d done!\n", i + 1, count);
            const CalibrationQuality quality = measureCalibration(measured, monitor, aim_gaps);
            std::printf("%s\n", summaryLine(quality).c_str());
            const std::vector<std::string> warnings = warningLines(quality);
            for (const std::string& warning : warnings)
                std::printf("%s\n", warning.c_str());
            std::optional<int> answer = kKeepCalibration;
            if (!warnings.empty())
                answer = askCalibrateAgain(in);
            if (!answer)
                return inputEnded();
            if (*answer == kKeepCalibration) {
                calibrated.push_back(CalibratedMonitor{monitor, measured});
                break;
            }
        }
    }

    const std::optional<int> handedness = askHandedness(in);
    if (!handedness)
        return inputEnded();

    const std::string failure = writeConfigFile(calibrated, layout.display_hash, *handedness, path);
    if (!failure.empty()) {
        std::fprintf(stderr, "\nwandsetup: could not write '%s': %s\nThe previous file is unchanged.\n",
                     path.c_str(), failure.c_str());
        platform::pauseConsole();
        return kExitWriteFailed;
    }
    std::printf("\nConfiguration file '%s' written\n", path.c_str());
    std::printf("You can start the main program now\n\n");
    std::fflush(stdout);
    platform::pauseConsole();
    return kExitWritten;
}
