// The VR runtime's own JSON files that Wand reads or writes: the path registry, which names the installed
// runtime, and the application manifest, through which the runtime starts wandpointer with itself.
#pragma once

#include <optional>
#include <string>

// The first folder of the "runtime" array of a path registry file ("openvrpaths.vrpath"): the runtime in
// use. Nothing when the file cannot be read, is not JSON, or names no runtime.
std::optional<std::string> registeredRuntimeFolder(const std::string& registry_path);

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
