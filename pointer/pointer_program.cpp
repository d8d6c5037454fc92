#include "pointer/pointer_program.h"

#include "config/config_file.h"
#include "desktop/desktop.h"
#include "desktop/desktop_layout.h"
#include "os/os.h"
#include "pointer/autostart.h"
#include "pointer/runner.h"
#include "vr/controller_selection.h"
#include "vr/vr_runtime.h"
#include "watchdog/watchdog.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

const ProgramHelp kPointerHelp = {
    Tool::wandpointer,
    "wandpointer",
    "Turns the VR controller you pick into the desktop's mouse, from the calibration that wandsetup\n"
    "wrote. Runs until Ctrl+C, until it is asked to end, or until SteamVR quits.\n",
    "  default.config in the working folder, or FILE: read once at start-up, never written.\n"
    "  --autostart writes wandpointer.vrmanifest into $XDG_CONFIG_HOME/wand (~/.config/wand; on Windows\n"
    "  %APPDATA%\\Wand), where the log of the runs SteamVR starts goes too: wandpointer.log.\n",
    {{ExitStatus::success,
      "ended on request (Ctrl+C, closing the console, a termination signal) or because SteamVR quit,\n"
      "held buttons and keys let go; --autostart: done\n"},
     {ExitStatus::failure,
      "no desktop could be reached, the configuration could not be opened or read, a bound key cannot\n"
      "be pressed on this desktop, the log file could not be opened or is the configuration file, the VR\n"
      "runtime did not start, or the desktop stopped taking input (GNOME's remote desktop session was\n"
      "ended, or the Wayland compositor went away); --autostart: also SteamVR refused (its error named),\n"
      "the manifest could not be written, or a path holds a double quote or a line break\n"},
     {ExitStatus::unfinished, "a mistake on the command line\n"}},
};

namespace {

// For each bound key that the desktop cannot press, a message naming the binding and why.
std::vector<std::string> keyProblems(const RunnerSettings& settings) {
    std::vector<std::string> problems;
    for (size_t i = 0; i < kControlCount; ++i) {
        const Binding& binding = settings.bindings[i];
        for (size_t k = 0; k < binding.key_count; ++k) {
            const platform::Key key = binding.keys[k];
            const std::string problem = platform::keyProblem(key);
            if (!problem.empty())
                problems.push_back("Cannot press the key \"" + std::string(platform::keyName(key)) +
                                   "\" that \"bindings\" / \"" + kControlNames[i] + "\" names: " + problem +
                                   ".\n");
        }
    }
    return problems;
}

// One waiting wandpointer per configuration file: when SteamVR, which started one, starts again while that
// one waits for it, it starts another, and two runners would click twice. The name stands for the file
// itself, not for its path, so that every spelling of it (a symbolic link, "..", a hard link) claims the
// same name.
bool firstToWaitFor(const std::string& config_path) {
    const std::optional<platform::FileIdentity> file = platform::fileIdentity(config_path);
    if (!file)
        return true; // it was read a moment ago; gone now, it stands in nobody's way
    return platform::claimProcessName("wandpointer-wait-" + std::to_string(file->device) + "-" +
                                      std::to_string(file->index));
}

// The log must never be the configuration file, however either is spelled: every run would append its
// messages to the calibration.
bool logIsTheConfiguration(const CommandLine& command_line) {
    const std::optional<platform::FileIdentity> log = platform::fileIdentity(command_line.log_path);
    const std::optional<platform::FileIdentity> config = platform::fileIdentity(command_line.config_path);
    if (log || config)
        return log == config;
    // Neither is there yet: the log would become the configuration file.
    std::error_code ignored;
    return std::filesystem::weakly_canonical(command_line.log_path, ignored) ==
           std::filesystem::weakly_canonical(command_line.config_path, ignored);
}

// How a file names the controller it was calibrated with, or a controller names itself.
std::string controllerName(const std::string& type, const std::string& render_model) {
    if (type.empty() || type == kReferenceControllerType)
        return "a Vive controller";
    return render_model.empty() ? type : type + " (" + render_model + ")";
}

// The file was calibrated with another model than the one that points: the tips and aims differ, so the
// calibrated corners no longer sit where this controller touches and aims. A file that names no controller
// was calibrated with the reference one.
std::optional<std::string> controllerChangeWarning(const std::string& path,
                                                   const CalibratedController& calibrated,
                                                   const ControllerModel& model) {
    const bool file_reference = calibrated.type.empty() || calibrated.type == kReferenceControllerType;
    const bool same = model.reference
                          ? file_reference
                          : calibrated.type == model.type && calibrated.render_model == model.render_model;
    if (same)
        return std::nullopt;
    return "\nWarning: " + path + " was calibrated with " +
           controllerName(calibrated.type, calibrated.render_model) + ", and this controller is " +
           controllerName(model.reference ? std::string() : model.type, model.render_model) +
           ": their tips and aims differ, so the pointer lands off where you point. Run wandsetup again (or "
           "wandsetup --reanchor to touch three corners with this controller).";
}

// The frames until a request to stop, the desktop's loss or the runtime's request to quit; held buttons and
// keys are let go in every case.
void runFrames(RunnerState& runner, const PointerIo& io) {
    runner.buttons = ButtonState{};
    runner.trigger = TriggerMachine{};
    runner.frame_start_tick = io.tick_count();
    while (!platform::shutdownRequested() && !platform::desktopLost()) {
        runFrame(runner, io);
        if (readRuntimeEvents(runner.controller.system))
            break;
    }
    stopFrames(runner, io);
}

} // namespace

ExitStatus runPointer(const CommandLine& command_line, const PointerIo& io) {
    if (command_line.exit_status)
        return *command_line.exit_status;
    // From here on a request to stop is honoured, while waiting and between frames, so that no button
    // stays held down.
    platform::installShutdownHandler();
    if (!command_line.log_path.empty()) {
        if (logIsTheConfiguration(command_line)) {
            platform::printError("wandpointer: the log file %s is the configuration file %s; name another "
                                 "log file.\n",
                                 command_line.log_path.c_str(), command_line.config_path.c_str());
            return ExitStatus::failure;
        }
        const std::string failure = platform::openLogFile(command_line.log_path);
        if (!failure.empty()) {
            platform::printError("wandpointer: cannot open the log file %s: %s\n",
                                 command_line.log_path.c_str(), failure.c_str());
            return ExitStatus::failure;
        }
    }

    // Undoing the registration needs no configuration: it names only wandpointer.
    if (command_line.autostart == false)
        return setAutostart(false, command_line.config_path, command_line.recommended);
    const ConfigRead read = readConfigFile(command_line.config_path, command_line.recommended);
    if (!read.contents) {
        if (read.failure == ConfigFailure::cannot_open)
            platform::print("%s", read.message.c_str());
        else
            platform::printError("%s", read.message.c_str());
        platform::pauseConsole();
        return ExitStatus::failure;
    }
    if (command_line.autostart)
        return setAutostart(*command_line.autostart, command_line.config_path, command_line.recommended);
    if (command_line.wait && !firstToWaitFor(command_line.config_path)) {
        platform::print("Another wandpointer --wait runs with %s; this one ends.\n",
                        command_line.config_path.c_str());
        return ExitStatus::success;
    }

    const ConfigContents& config = *read.contents;
    // Before any thread and before the desktop connection: the helper that lets go of held input should
    // this process die without doing so itself.
    watchdog::start();
    if (const std::string failure = platform::openDesktop(); !failure.empty()) {
        platform::printError("%s\n", failure.c_str());
        platform::pauseConsole();
        return ExitStatus::failure;
    }

    // The calibration fits only the monitors it was made for: say so when they have changed since.
    DesktopLayout layout;
    refresh(layout);
    if (const std::optional<std::string> warning =
            layoutChangeWarning(config.display_hash, config.has_display_hash, layout.display_hash))
        platform::print("%s", warning->c_str());

    // Every bound key must have a key on this desktop, or the binding would do nothing.
    const std::vector<std::string> key_problems = keyProblems(config.settings);
    for (const std::string& problem : key_problems)
        platform::printError("%s", problem.c_str());
    if (!key_problems.empty()) {
        platform::pauseConsole();
        return ExitStatus::failure;
    }

    RunnerState runner;
    runner.displays = makeDisplayList(config.displays);
    runner.settings = config.settings;
    for (const std::string& warning : config.warnings)
        platform::print("%s", warning.c_str());

    for (;;) {
        // A request to stop that came during the start-up, or while the runtime quit, starts nothing more.
        if (platform::shutdownRequested())
            return ExitStatus::success;
        const std::optional<TrackedController> controller =
            startRuntimeAndSelectController(Program::pointer, command_line.wait);
        if (controller) {
            runner.controller = *controller;
            if (const std::optional<std::string> warning =
                    controllerChangeWarning(command_line.config_path, config.controller, controller->model))
                platform::print("%s", warning->c_str());
            prepareFromSettings(runner);
            readControllerFrame(runner.controller, runner.aim); // the first frame's edges start from here
            runFrames(runner, io);
            endVrSession();
        } else if (!platform::shutdownRequested() && !runtimeQuitting()) {
            return ExitStatus::failure; // the runtime did not start: reported
        }
        if (platform::desktopLost())
            return ExitStatus::failure;
        if (platform::shutdownRequested() || !command_line.wait)
            return ExitStatus::success;
    }
}
