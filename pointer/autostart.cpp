#include "pointer/autostart.h"

#include "os/os.h"
#include "vr/runtime_files.h"
#include "vr/vr_library.h"
#include "vr/vr_runtime.h"

#include <filesystem>
#include <optional>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const char* const kWandFolder = "Wand";
#else
const char* const kWandFolder = "wand";
#endif

// A path as one argument of the manifest's "arguments", which the runtime splits as a command line is split:
// at blanks outside double quotes, the quotes taken away (on Windows by the C runtime's rules, where a
// backslash escapes only a quote, which a path's never does before the closing one). A path with a blank
// is quoted. One holding a double quote or a line break cannot be written so that both ways of splitting
// give it back: nothing, and the caller refuses it.
std::optional<std::string> argument(const std::string& path) {
    if (path.find_first_of("\"\n\r") != std::string::npos)
        return std::nullopt;
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

// The program the runtime starts: on Windows the variant without a console window, when it is there.
std::string launchedProgram() {
    const fs::path self = platform::programPath();
#ifdef _WIN32
    std::error_code ignored;
    const fs::path windowless = self.parent_path() / "wandpointerw.exe";
    if (fs::exists(windowless, ignored))
        return windowless.string();
#endif
    return self.string();
}

// The runtime's verdict: true when it accepted, else the refusal is reported by name.
bool accepted(vr::IVRApplications* applications, vr::EVRApplicationError error, const std::string& what) {
    if (error == vr::VRApplicationError_None)
        return true;
    platform::printError("SteamVR refused to %s: %s\n", what.c_str(),
                         applications->GetApplicationsErrorNameFromEnum(error));
    return false;
}

} // namespace

std::string resolvedConfigPath(const std::string& config_path) {
    // The file actually read: "link/.." leads to the link's target's parent, not to the link's folder.
    std::error_code error;
    const fs::path resolved = fs::canonical(config_path, error);
    return error ? fs::absolute(config_path, error).lexically_normal().string() : resolved.string();
}

ExitStatus setAutostart(bool on, const std::string& config_path, bool recommended) {
    const std::string settings = platform::userSettingsFolder();
    if (settings.empty()) {
        platform::printError(
            "wandpointer: no folder for the SteamVR manifest: set HOME or XDG_CONFIG_HOME\n");
        return ExitStatus::failure;
    }
    const fs::path folder = fs::path(settings) / kWandFolder;
    const std::string manifest_path = (folder / "wandpointer.vrmanifest").string();
    ApplicationManifest manifest;
    if (on) {
        const std::string config = resolvedConfigPath(config_path);
        const std::string log = (folder / "wandpointer.log").string();
        const std::optional<std::string> config_argument = argument(config);
        const std::optional<std::string> log_argument = argument(log);
        if (!config_argument || !log_argument) {
            platform::printError(
                "wandpointer: SteamVR could not be given the path %s: it holds a double quote "
                "or a line break; move or rename it.\n",
                (config_argument ? log : config).c_str());
            return ExitStatus::failure;
        }
        manifest.arguments = "--config " + *config_argument + (recommended ? " --recommended" : "") +
                             " --wait --log " + *log_argument;
    }
    const VrStartup startup = startVr();
    if (startup.error != vr::VRInitError_None) {
        reportVrStartupFailure(startup, Program::pointer);
        return ExitStatus::failure;
    }
    if (on) {
        manifest.app_key = kAppKey;
        manifest.binary_path = launchedProgram();
        manifest.name = "Wand";
        manifest.description = "The VR controller as the desktop's mouse";
        const std::string failure = writeManifestFile(manifest, manifest_path);
        if (!failure.empty()) {
            platform::printError("wandpointer: could not write %s: %s\n", manifest_path.c_str(),
                                 failure.c_str());
            endVrSession();
            return ExitStatus::failure;
        }
    }
    vr::EVRInitError error = vr::VRInitError_None;
    vr::IVRApplications* applications = vrApplications(error);
    if (!applications) {
        platform::printError("SteamVR does not offer %s: %s\n", vr::IVRApplications_Version,
                             vrLibrary().get_init_error_as_english_description(error));
        endVrSession();
        return ExitStatus::failure;
    }
    const std::string key = kAppKey;
    bool done = false;
    if (on) {
        done = accepted(applications, applications->AddApplicationManifest(manifest_path.c_str(), false),
                        "register " + manifest_path) &&
               accepted(applications, applications->SetApplicationAutoLaunch(kAppKey, true),
                        "turn on the auto-launch of " + key);
    } else {
        done = accepted(applications, applications->SetApplicationAutoLaunch(kAppKey, false),
                        "turn off the auto-launch of " + key) &&
               accepted(applications, applications->RemoveApplicationManifest(manifest_path.c_str()),
                        "unregister " + manifest_path);
    }
    endVrSession();
    std::error_code ignored;
    if (!done) {
        if (on) // a manifest SteamVR did not take stays nowhere
            fs::remove(manifest_path, ignored);
        return ExitStatus::failure;
    }
    if (on) {
        platform::print("SteamVR now starts wandpointer with itself: %s is registered, auto-launch on.\n",
                        manifest_path.c_str());
    } else {
        fs::remove(manifest_path, ignored);
        platform::print("SteamVR no longer starts wandpointer: auto-launch off, %s unregistered.\n",
                        manifest_path.c_str());
    }
    return ExitStatus::success;
}
