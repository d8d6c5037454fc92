#include "vr/vr_library.h"

#include "os/os.h"
#include "vr/runtime_files.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <type_traits>
#include <vector>

namespace {

VrLibrary library_in_use;

bool complete(const VrLibrary& l) {
    return l.init_internal && l.shutdown_internal && l.is_interface_version_valid &&
           l.get_generic_interface && l.get_init_token && l.get_init_error_as_english_description;
}

#ifdef _WIN32
const char* const kLibraryFile = "openvr_api.dll";
const char* const kRuntimeLibraryFolder = "bin\\win64";
const char* const kSeparator = "\\";
#else
const char* const kLibraryFile = "libopenvr_api.so";
const char* const kRuntimeLibraryFolder = "bin/linux64";
const char* const kSeparator = "/";
#endif

// Where the library is looked for, in this order. `what` names a place in the message about a library
// that was not found; `help` is how --help names it, laid out as --help prints it.
enum class Place { library_path, own_folder, build_folder, system, runtime };
struct SearchStep {
    Place place;
    const char* what;
    const char* help;
};

const SearchStep kSearchOrder[] = {
#ifndef _WIN32
    {Place::library_path, "LD_LIBRARY_PATH", " from the folders of LD_LIBRARY_PATH"},
    {Place::own_folder, "the program's folder", "\n  then the program's own folder"},
#else
    {Place::own_folder, "the program's folder", " from the program's own folder"},
#endif
#ifdef WAND_OPENVR_DIR
    {Place::build_folder, "WAND_OPENVR_DIR", " then " WAND_OPENVR_DIR},
#endif
#ifdef _WIN32
    {Place::system, "the Windows system folders, the working folder and PATH",
     " then the\n  Windows system folders, the working folder and the folders of PATH"},
    {Place::runtime, "SteamVR's own copy",
     " then SteamVR's own copy\n  (bin\\win64 of the runtime named in "
     "%LOCALAPPDATA%\\openvr\\openvrpaths.vrpath)"},
#else
    {Place::system, "the system's library folders", " then the system's library folders (ldconfig)"},
    {Place::runtime, "SteamVR's own copy",
     " then SteamVR's\n  own copy (bin/linux64 of the runtime named in ~/.config/openvr/openvrpaths.vrpath)"},
#endif
};

#ifdef _WIN32
const char* const kAfterSearch = ". Without it the\n  runtime does not start (status 1).\n";
#else
const char* const kAfterSearch = ". Without it\n  the runtime does not start (status 1).\n";
#endif

// One folder to look in (empty: the system's own search) and what it is, for the message.
struct Folder {
    std::string folder;
    std::string what;
};

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string pathRegistryFile() {
    const std::string override_file = environment("VR_PATHREG_OVERRIDE");
    if (!override_file.empty())
        return override_file;
    const std::string folder = platform::userSettingsFolder(true);
    const std::string in_folder = std::string("openvr") + kSeparator + "openvrpaths.vrpath";
    return folder.empty() ? std::string() : folder + kSeparator + in_folder;
}

// The folders of `step`, in order.
void addFolders(const SearchStep& step, std::vector<Folder>& folders, std::string& no_runtime) {
    switch (step.place) {
    case Place::library_path: {
        const std::string search_path = environment("LD_LIBRARY_PATH");
        for (size_t begin = 0; begin <= search_path.size();) {
            size_t end = search_path.find(':', begin);
            if (end == std::string::npos)
                end = search_path.size();
            if (end > begin)
                folders.push_back({search_path.substr(begin, end - begin), step.what});
            begin = end + 1;
        }
        return;
    }
    case Place::own_folder: {
        const std::string own_folder = std::filesystem::path(platform::programPath()).parent_path().string();
        if (!own_folder.empty())
            folders.push_back({own_folder, step.what});
        return;
    }
    case Place::build_folder:
#ifdef WAND_OPENVR_DIR
        folders.push_back({WAND_OPENVR_DIR, step.what});
#endif
        return;
    case Place::system:
        folders.push_back({"", step.what});
        return;
    case Place::runtime: {
        const std::string registry = pathRegistryFile();
        const RegisteredRuntime runtime = registry.empty()
                                              ? RegisteredRuntime{std::nullopt, "no runtime is registered"}
                                              : registeredRuntime(registry);
        if (runtime.folder)
            folders.push_back({*runtime.folder + kSeparator + kRuntimeLibraryFolder,
                               std::string(step.what) + ", from " + registry});
        else
            no_runtime = "  SteamVR's own copy: " + runtime.problem + "\n";
        return;
    }
    }
}

// The table from one loaded library; `missing` names the first function it lacks.
VrLibrary tableOf(void* loaded, std::string& missing) {
    VrLibrary l;
    const auto take = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            platform::librarySymbol(loaded, name));
        if (!function && missing.empty())
            missing = name;
    };
    take(l.init_internal, "VR_InitInternal");
    take(l.shutdown_internal, "VR_ShutdownInternal");
    take(l.is_interface_version_valid, "VR_IsInterfaceVersionValid");
    take(l.get_generic_interface, "VR_GetGenericInterface");
    take(l.get_init_token, "VR_GetInitToken");
    take(l.get_init_error_as_english_description, "VR_GetVRInitErrorAsEnglishDescription");
    return l;
}

} // namespace

void useVrLibrary(const VrLibrary& library) {
    library_in_use = library;
}

const VrLibrary& vrLibrary() {
    return library_in_use;
}

std::string loadVrLibrary() {
    if (complete(library_in_use))
        return {};
    std::string no_runtime;
    std::string searched;
    // Step by step: a later step's folders (the path registry's) are not even read once the library is found.
    std::vector<Folder> folders;
    for (const SearchStep& step : kSearchOrder) {
        folders.clear();
        addFolders(step, folders, no_runtime);
        for (const Folder& place : folders) {
            const bool bare = place.folder.empty();
            const std::string file = bare ? kLibraryFile : place.folder + kSeparator + kLibraryFile;
            std::string outcome;
            std::error_code ignored;
            if (!bare && !std::filesystem::exists(file, ignored)) {
                outcome = "not there";
            } else if (void* loaded = platform::loadLibrary(file, outcome)) {
                std::string missing;
                const VrLibrary table = tableOf(loaded, missing);
                if (missing.empty()) {
                    library_in_use = table;
                    return {};
                }
                outcome = file + " lacks " + missing;
            } else if (bare) {
                outcome = "not found";
            }
            searched +=
                "  " + (bare ? place.what : place.folder + " (" + place.what + ")") + ": " + outcome + "\n";
        }
    }
    return std::string("The VR client library ") + kLibraryFile +
           " could not be loaded. Searched, in this order:\n" + searched + no_runtime +
#ifdef _WIN32
           "It comes with SteamVR, and with the OpenVR SDK (bin\\win64\\openvr_api.dll): put it beside the\n"
           "program, or install SteamVR.\n";
#else
           "It comes with SteamVR, and with the OpenVR SDK (bin/linux64/libopenvr_api.so): put it beside "
           "the\n"
           "program or in a folder of LD_LIBRARY_PATH, or install SteamVR.\n";
#endif
}

std::string vrLibrarySearchHelp() {
    std::string help = std::string("  ") + kLibraryFile + ", loaded when the runtime is first needed:";
    for (const SearchStep& step : kSearchOrder)
        help += std::string(&step == kSearchOrder ? "" : ",") + step.help;
    return help + kAfterSearch;
}
