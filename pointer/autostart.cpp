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

// A path as one argument of the manifest's command line.
std::string argument(const std::string& path) {
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

std::string absoluteConfigPath(const std::string& config_path) {
    std::error_code ignored;
    return fs::absolute(config_path, ignored).lexically_normal().string();
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
    const VrStartup startup = startVr();
    if (startup.error != vr::VRInitError_None) {
        reportVrStartupFailure(startup, Program::pointer);
        return ExitStatus::failure;
    }
    if (on) {
        ApplicationManifest manifest;
        manifest.app_key = kAppKey;
        manifest.binary_path = launchedProgram();
        manifest.arguments = "--config " + argument(absoluteConfigPath(config_path)) +
                             (recommended ? " --recommended" : "") + " --wait --log " +
                             argument((folder / "wandpointer.log").string());
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
    if (!done)
        return ExitStatus::failure;
    if (on) {
        platform::print("SteamVR now starts wandpointer with itself: %s is registered, auto-launch on.\n",
                        manifest_path.c_str());
    } else {
        std::error_code ignored;
        fs::remove(manifest_path, ignored);
        platform::print("SteamVR no longer starts wandpointer: auto-launch off, %s unregistered.\n",
                        manifest_path.c_str());
    }
    return ExitStatus::success;
}
