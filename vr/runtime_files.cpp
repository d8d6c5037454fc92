#include "vr/runtime_files.h"

#include <json/json.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

std::optional<std::string> registeredRuntimeFolder(const std::string& registry_path) {
    std::ifstream in(registry_path, std::ios::binary);
    if (!in.is_open())
        return std::nullopt;
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    if (!Json::parseFromStream(builder, in, &root, &errors) || !root.isObject())
        return std::nullopt;
    const Json::Value& runtimes = root["runtime"];
    if (!runtimes.isArray() || runtimes.empty() || !runtimes[0].isString() || runtimes[0].asString().empty())
        return std::nullopt;
    return runtimes[0].asString();
}

std::string manifestText(const ApplicationManifest& manifest) {
    Json::Value application;
    application["app_key"] = manifest.app_key;
    application["launch_type"] = "binary";
#ifdef _WIN32
    application["binary_path_windows"] = manifest.binary_path;
#else
    application["binary_path_linux"] = manifest.binary_path;
#endif
    application["arguments"] = manifest.arguments;
    application["is_dashboard_overlay"] = true;
    application["strings"]["en_us"]["name"] = manifest.name;
    application["strings"]["en_us"]["description"] = manifest.description;
    Json::Value root;
    root["source"] = "builtin";
    root["applications"].append(application);
    std::ostringstream out;
    out << root;
    return out.str();
}

std::string writeManifestFile(const ApplicationManifest& manifest, const std::string& path) {
    const std::filesystem::path file(path);
    std::error_code error;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), error);
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        return errno != 0 ? std::strerror(errno) : "cannot be created";
    out << manifestText(manifest) << '\n';
    out.close();
    if (!out)
        return "write error";
    return {};
}
