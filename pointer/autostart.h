// wandpointer --autostart on|off: registering with the VR runtime so that it starts wandpointer whenever
// it starts itself, and undoing that.
#pragma once

#include "cli/command_line.h"

#include <string>

// The application key wandpointer is registered under.
inline constexpr const char* kAppKey = "wand.wandpointer";

// The configuration file's real absolute path, symbolic links and ".." resolved: the file actually read.
std::string resolvedConfigPath(const std::string& config_path);

// `on`: writes "wandpointer.vrmanifest" into the user's Wand folder, for the configuration at
// `config_path` (resolvedConfigPath) with --wait, a log beside the manifest and `recommended`'s
// --recommended, registers it with the runtime for good and turns its auto-launch on. Off: turns the
// auto-launch off, removes the registration and the file; `config_path` is not used. Starts and ends its
// own runtime session. Returns the exit status: success, or failure when a path cannot be passed as one
// argument (a double quote or a line break in it; before the runtime starts), the runtime did not start,
// refused (its error named; a manifest written is removed again) or the manifest could not be written.
ExitStatus setAutostart(bool on, const std::string& config_path, bool recommended);
