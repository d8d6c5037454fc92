// wandpointer --autostart on|off: registering with the VR runtime so that it starts wandpointer whenever
// it starts itself, and undoing that.
#pragma once

#include "cli/command_line.h"

#include <string>

// The application key wandpointer is registered under.
inline constexpr const char* kAppKey = "wand.wandpointer";

// The configuration file's absolute path, as the manifest names it, so that the runner SteamVR starts and
// one started by hand with the same file agree on it.
std::string absoluteConfigPath(const std::string& config_path);

// `on`: writes "wandpointer.vrmanifest" into the user's Wand folder, for the configuration at
// `config_path` (made absolute) with --wait, a log beside the manifest and `recommended`'s --recommended,
// registers it with the runtime for good and turns its auto-launch on. Off: turns the auto-launch off,
// removes the registration and the file. Starts and ends its own runtime session. Returns the exit status:
// success, or failure when the runtime did not start, refused (its error named) or the manifest could not
// be written.
ExitStatus setAutostart(bool on, const std::string& config_path, bool recommended);
