#include "vr/runtime_files.h"

#include "os/os.h"

#include <json/json.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

RegisteredRuntime registeredRuntime(const std::string& registry_path) {
    RegisteredRuntime registered;
    const platform::FileText file = platform::readRegularFile(registry_path, kMaxRegistryBytes);
    if (!file.failure.empty()) {
        registered.problem = file.missing ? "no runtime is registered in " + registry_path
                                          : registry_path + " cannot be read: " + file.failure;
        return registered;
    }
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(file.text);
    if (!Json::parseFromStream(builder, in, &root, &errors)) {
        registered.problem = registry_path + " is not JSON";
        return registered;
    }
    const Json::Value& runtimes = root.isObject() ? root["runtime"] : Json::Value::nullSingleton();
    if (!runtimes.isArray() || runtimes.empty() || !runtimes[0].isString() ||
        runtimes[0].asString().empty()) {
        registered.problem = "no runtime is registered in " + registry_path;
        return registered;
    }
    registered.folder = runtimes[0].asString();
    return registered;
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
    if (!out.is_open()) // a folder that could not be made says why
        return error ? error.message() : errno != 0 ? std::strerror(errno) : "cannot be created";
    out << manifestText(manifest) << '\n';
    out.close();
    if (!out)
        return "write error";
    return {};
}
