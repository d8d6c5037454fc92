// The VR runtime's own JSON files that Wand reads or writes: the path registry, which names the installed
// runtime, and the application manifest, through which the runtime starts wandpointer with itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What a path registry file ("openvrpaths.vrpath") says: the first folder of its "runtime" array, the
// runtime in use, or what is wrong for a message: "no runtime is registered in FILE" (no file, or none
// named), "FILE is not JSON", "FILE cannot be read: it is a FIFO, not a regular file". Only a regular file
// of at most kMaxRegistryBytes is read, and opening it never waits.
struct RegisteredRuntime {
    std::optional<std::string> folder;
    std::string problem;
};
RegisteredRuntime registeredRuntime(const std::string& registry_path);

// A registry names a few folders: a megabyte is far more than any needs.
inline constexpr uintmax_t kMaxRegistryBytes = 1024 * 1024;

// One application as a manifest describes it to the runtime.
struct ApplicationManifest {
    std::string app_key;     // "wand.wandpointer"
    std::string binary_path; // absolute
    std::string arguments;   // the command line after the program, as one text
    std::string name;        // shown by the runtime
    std::string description;
};

// The manifest's text: one application, launched as a binary for this platform, a dashboard overlay (the
// runtime auto-launches only those).
std::string manifestText(const ApplicationManifest& manifest);

// Writes the manifest to `path`, creating its folders. Returns an empty string on success, else the reason.
std::string writeManifestFile(const ApplicationManifest& manifest, const std::string& path);
