// The VR client library ("openvr_api"), loaded when the runtime is first needed rather than when the
// process starts, so that --help and a refused configuration need no library at all. Its six functions
// are taken from it by name into one table.
#pragma once

#include "vr/openvr_abi.h"

#include <string>

struct VrLibrary {
    decltype(&VR_InitInternal) init_internal = nullptr;
    decltype(&VR_ShutdownInternal) shutdown_internal = nullptr;
    decltype(&VR_IsInterfaceVersionValid) is_interface_version_valid = nullptr;
    decltype(&VR_GetGenericInterface) get_generic_interface = nullptr;
    decltype(&VR_GetInitToken) get_init_token = nullptr;
    decltype(&VR_GetVRInitErrorAsEnglishDescription) get_init_error_as_english_description = nullptr;
};

// Makes `library` the process's client library; no file is loaded then. For a runtime that lives in the
// same process (the simulated one in unit tests, fuzzers and benchmarks).
void useVrLibrary(const VrLibrary& library);

// Loads the client library, once, unless one is in use already, from the places vrLibrarySearchHelp
// names, in that order: Linux the folders of LD_LIBRARY_PATH, the program's folder, WAND_OPENVR_DIR (when
// set at build time), the system's library folders; Windows the program's folder, WAND_OPENVR_DIR, then
// the standard search; then, on both, the copy in the installed runtime that the OpenVR path registry
// names. A library that cannot be loaded or lacks one of
// the functions is passed over. Returns an empty string when the library is ready, else the message for
// the user, which names every place searched and where the library comes from.
std::string loadVrLibrary();

// The library in use; its functions are null until useVrLibrary or a successful loadVrLibrary.
const VrLibrary& vrLibrary();

// Where loadVrLibrary looks, in order, as --help says it: a paragraph of lines indented by two blanks.
std::string vrLibrarySearchHelp();
