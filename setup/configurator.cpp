#include "setup/configurator.h"

#include "config/config_file.h"
#include "desktop/desktop_layout.h"
#include "os/os.h"
#include "setup/calibration.h"
#include "setup/calibration_quality.h"
#include "setup/dialogue.h"
#include "vr/controller_selection.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

ExitStatus inputEnded() {
    std::fprintf(stderr, "\nwandsetup: standard input ended before the answer; nothing was written\n");
    return ExitStatus::unfinished;
}

// The runtime asked to quit: acknowledged and said, and nothing is written.
ExitStatus runtimeQuit() {
    endVrSession();
    return ExitStatus::unfinished;
}

// Without a controller: the runtime did not start (reported), or it asked to quit.
ExitStatus noController() {
    return runtimeQuitting() ? ExitStatus::unfinished : ExitStatus::failure;
}

// Writes the file and says so; returns the exit status.
ExitStatus writeAndReport(const std::string& text, const std::string& path) {
    const std::string failure = platform::writeFileAtomically(text, path);
    if (!failure.empty())
        return reportWriteFailure(path, failure);
    std::printf("\nConfiguration file '%s' written\n", path.c_str());
    std::printf("You can start the main program now\n\n");
    std::fflush(stdout);
    platform::pauseConsole();
    return ExitStatus::success;
}

// --reanchor with a file it cannot use: the message, as it stands, and the exit status.
ExitStatus unusable(const std::string& message, std::FILE* to = stderr) {
    std::fputs(message.c_str(), to);
    platform::pauseConsole();
    return ExitStatus::failure;
}

// The file names the controller it was calibrated with unless it is the reference one.
CalibratedController calibratedWith(const ControllerModel& model) {
    if (model.reference)
        return {};
    return {model.type, model.render_model};
}

std::array<Vec3, 4> moved(const RigidMotion& motion, const std::array<Vec3, 4>& corners) {
    std::array<Vec3, 4> result;
    for (int c = 0; c < 4; ++c)
        result[c] = narrow(apply(motion, widen(corners[c])));
    return result;
}

// The three corners touched until they give a motion that the user keeps; nothing when the input ended or
// the runtime asked to quit.
std::optional<Reanchoring> touchToReanchor(std::istream& in, TrackedController& controller,
                                           const std::array<Vec3, 4>& stored) {
    for (;;) {
        const std::optional<std::vector<Vec3>> touched = touchCorners(controller, 3);
        if (!touched)
            return std::nullopt;
        const std::optional<Reanchoring> reanchoring =
            measureReanchoring(stored, {(*touched)[0], (*touched)[1], (*touched)[2]});
        if (!reanchoring) {
            std::printf("\nWarning: the touched corners lie on one line. Touch them again.\n");
            continue;
        }
        std::printf("\n%s\n", movedLine(*reanchoring).c_str());
        const std::vector<std::string> warnings = warningLines(*reanchoring);
        for (const std::string& warning : warnings)
            std::printf("%s\n", warning.c_str());
        if (warnings.empty())
            return reanchoring;
        const std::optional<int> answer = askTouchAgain(in);
        if (!answer)
            return std::nullopt;
        if (*answer == kKeepCalibration)
            return reanchoring;
        std::printf("\n");
    }
}

} // namespace

ExitStatus reportWriteFailure(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "\nwandsetup: could not write '%s': %s\nThe previous file is unchanged.\n",
                 path.c_str(), reason.c_str());
    platform::pauseConsole();
    return ExitStatus::not_written;
}

ExitStatus runConfigurator(std::istream& in, const std::string& path, bool recommended) {
    std::optional<TrackedController> controller = startRuntimeAndSelectController(Program::setup);
    if (!controller)
        return noController();

    DesktopLayout layout;
    refresh(layout);
    return calibrateAndWrite(in, *controller, layout, path, recommended);
}

ExitStatus runReanchor(std::istream& in, const std::string& path) {
    // A file that cannot be used is reported as the runner reports it.
    const ConfigRead read = readConfigFile(path);
    if (!read.contents)
        return unusable(read.message, read.failure == ConfigFailure::cannot_open ? stdout : stderr);
    if (read.contents->displays.empty())
        return unusable("wandsetup: " + path + " holds no calibrated monitor.\n");
    const ConfigContents& stored = *read.contents;
    // The corners' numbers are all that may change: a file whose other values would not come back as they
    // are is refused before anything is touched.
    if (const std::string problem = rewriteProblem(read.text); !problem.empty())
        return unusable("wandsetup: " + path + " cannot be rewritten as it is: " + problem + ".\n");

    std::optional<TrackedController> controller = startRuntimeAndSelectController(Program::setup);
    if (!controller)
        return noController();
    DesktopLayout layout;
    refresh(layout);
    if (stored.has_display_hash && stored.display_hash != layout.display_hash)
        std::printf(
            "\nWarning: the monitors have changed since they were calibrated; their corners are moved "
            "all the same.\n");

    const int count = static_cast<int>(stored.displays.size());
    std::vector<MonitorInfo> monitors;
    for (const DisplayEntry& d : stored.displays)
        monitors.push_back(MonitorInfo{static_cast<int32_t>(d.left), static_cast<int32_t>(d.top),
                                       static_cast<int32_t>(d.right), static_cast<int32_t>(d.bottom)});
    int chosen = 0;
    if (count > 1) {
        const std::optional<int> answer = askMonitor(in, monitors);
        if (!answer)
            return inputEnded();
        chosen = *answer - 1;
    }
    const std::array<Vec3, 4>& corners = stored.displays[chosen].corners;
    // Corners on one line cannot carry the others: touched exactly where they are stored, they fit nothing.
    if (!measureReanchoring(corners, {corners[0], corners[1], corners[2]}))
        return unusable("\nwandsetup: the corners of monitor " + std::to_string(chosen + 1) + " in " + path +
                        " lie on one line; choose another monitor, or calibrate again.\n");
    std::printf("\n\nRE-ANCHORING BY TOUCH: monitor %d/%d\n\n", chosen + 1, count);
    const std::optional<Reanchoring> reanchoring = touchToReanchor(in, *controller, corners);
    if (!reanchoring)
        return runtimeQuitting() ? runtimeQuit() : inputEnded();
    std::vector<std::array<Vec3, 4>> all;
    for (const DisplayEntry& d : stored.displays)
        all.push_back(moved(reanchoring->motion, d.corners));
    return writeAndReport(withCorners(read.text, all), path);
}

ExitStatus calibrateAndWrite(std::istream& in, TrackedController& controller, const DesktopLayout& layout,
                             const std::string& path, bool recommended) {
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
            bool measured_all = false;
            if (*method == kMethodTouch) {
                measured_all = calibrateByTouch(controller, corners);
            } else {
                aim_gaps.emplace();
                measured_all = calibrateByPointing(controller, corners, *aim_gaps);
            }
            if (!measured_all)
                return runtimeQuit();
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

    return writeAndReport(configText(calibrated, layout.display_hash, *handedness, recommended,
                                     calibratedWith(controller.model)),
                          path);
}
