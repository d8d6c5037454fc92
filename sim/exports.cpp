// The exported functions of the client library, served by one process-wide simulated runtime.
#include "sim/sim_core.h"
#include "sim/sim_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#if defined(_WIN32)
#define WAND_SIM_EXPORT
#else
#define WAND_SIM_EXPORT __attribute__((visibility("default")))
#endif

// Exported by the real library too, though the programs never call them.
extern "C" {
WAND_SIM_EXPORT uint32_t WAND_VR_CALLTYPE VR_InitInternal2(vr::EVRInitError* peError,
                                                           vr::EVRApplicationType eType,
                                                           const char* pStartupInfo);
WAND_SIM_EXPORT const char* WAND_VR_CALLTYPE VR_GetVRInitErrorAsSymbol(vr::EVRInitError error);
WAND_SIM_EXPORT bool WAND_VR_CALLTYPE VR_IsHmdPresent();
WAND_SIM_EXPORT bool WAND_VR_CALLTYPE VR_IsRuntimeInstalled();
}

namespace {

struct ProcessState {
    bool loaded = false;      // the scenario has been read (or given by a test)
    bool initialised = false; // between a successful init and the next shutdown
    uint32_t token = 0;
    std::map<int32_t, std::string> unknown_texts; // stable storage for "Unknown error (N)"
};

ProcessState& processState() {
    static ProcessState state;
    return state;
}

struct InitErrorText {
    int32_t code;
    const char* symbol;
    const char* description;
};

const InitErrorText kInitErrorTexts[] = {
    {0, "VRInitError_None", "No Error (0)"},
    {100, "VRInitError_Init_InstallationNotFound", "Installation Not Found (100)"},
    {101, "VRInitError_Init_InstallationCorrupt", "Installation Corrupt (101)"},
    {102, "VRInitError_Init_VRClientDLLNotFound", "vrclient Shared Lib Not Found (102)"},
    {104, "VRInitError_Init_FactoryNotFound", "Factory Function Not Found (104)"},
    {105, "VRInitError_Init_InterfaceNotFound", "Interface Not Found (105)"},
    {108, "VRInitError_Init_HmdNotFound", "Hmd Not Found (108)"},
    {109, "VRInitError_Init_NotInitialized", "Not Initialized (109)"},
    {110, "VRInitError_Init_PathRegistryNotFound", "Installation path could not be located (110)"},
    {121, "VRInitError_Init_NoServerForBackgroundApp", "Not starting vrserver for background app (121)"},
    {301, "VRInitError_IPC_ConnectFailed", "Connect to VR Server Failed (301)"},
};

const char* unknownErrorText(int32_t error) {
    std::map<int32_t, std::string>& texts = processState().unknown_texts;
    auto it = texts.find(error);
    if (it == texts.end())
        it = texts.emplace(error, "Unknown error (" + std::to_string(error) + ")").first;
    return it->second.c_str();
}

// Reads the scenario at the first init. A bad scenario ends the program: a test must never run on a
// scenario other than the one its author wrote.
void loadScenarioOnce() {
    ProcessState& state = processState();
    if (state.loaded)
        return;
    try {
        resetSimRuntime(simProcessRuntime(), scenarioFromEnvironment());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simulated VR runtime: %s\n", e.what());
        std::fflush(stderr);
        std::exit(3);
    }
    state.loaded = true;
}

} // namespace

SimRuntime& simProcessRuntime() {
    static SimRuntime runtime;
    return runtime;
}

void simLoadScenario(Scenario scenario) {
    resetSimRuntime(simProcessRuntime(), std::move(scenario));
    ProcessState& state = processState();
    state.loaded = true;
    state.initialised = false;
}

void simLoadScenarioText(const std::string& text, const std::string& name) {
    simLoadScenario(parseScenario(text, name));
}

VrLibrary simVrLibrary() {
    return {VR_InitInternal,        VR_ShutdownInternal, VR_IsInterfaceVersionValid,
            VR_GetGenericInterface, VR_GetInitToken,     VR_GetVRInitErrorAsEnglishDescription};
}

const char* simInitErrorDescription(int32_t error) {
    for (const InitErrorText& text : kInitErrorTexts)
        if (text.code == error)
            return text.description;
    return unknownErrorText(error);
}

extern "C" {

WAND_SIM_EXPORT uint32_t WAND_VR_CALLTYPE VR_InitInternal2(vr::EVRInitError* peError,
                                                           vr::EVRApplicationType eType, const char*) {
    loadScenarioOnce();
    ProcessState& state = processState();
    SimRuntime& runtime = simProcessRuntime();
    uint32_t token = 0;
    vr::EVRInitError error = runtime.scenario.init_error;
    const vr::EVRInitError absent_error =
        runtime.absence ? runtime.absence->error : vr::VRInitError_Init_NoServerForBackgroundApp;
    if (error == vr::VRInitError_None && simRuntimeAbsent(runtime))
        error = absent_error;
    if (error != vr::VRInitError_None) {
        state.initialised = false;
    } else {
        state.initialised = true;
        token = ++state.token;
        startSimRuntime(runtime);
    }
    if (peError)
        *peError = error;
    if (simLogging())
        simLog("VR_InitInternal %d -> %u %d", int(eType), token, int(error));
    return token;
}

WAND_SIM_EXPORT uint32_t WAND_VR_CALLTYPE VR_InitInternal(vr::EVRInitError* peError,
                                                          vr::EVRApplicationType eType) {
    return VR_InitInternal2(peError, eType, nullptr);
}

WAND_SIM_EXPORT void WAND_VR_CALLTYPE VR_ShutdownInternal() {
    ProcessState& state = processState();
    state.initialised = false;
    ++state.token;
    simProcessRuntime().events.clear(); // a new session starts with no events
    if (simLogging())
        simLog("VR_ShutdownInternal");
}

WAND_SIM_EXPORT bool WAND_VR_CALLTYPE VR_IsInterfaceVersionValid(const char* pchInterfaceVersion) {
    bool valid = processState().initialised && pchInterfaceVersion &&
                 (std::strcmp(pchInterfaceVersion, vr::IVRSystem_Version) == 0 ||
                  std::strcmp(pchInterfaceVersion, vr::IVRApplications_Version) == 0 ||
                  std::strcmp(pchInterfaceVersion, vr::IVRRenderModels_Version) == 0);
    if (simLogging())
        simLog("VR_IsInterfaceVersionValid %s -> %d", pchInterfaceVersion ? pchInterfaceVersion : "(null)",
               int(valid));
    return valid;
}

WAND_SIM_EXPORT void* WAND_VR_CALLTYPE VR_GetGenericInterface(const char* pchInterfaceVersion,
                                                              vr::EVRInitError* peError) {
    void* result = nullptr;
    vr::EVRInitError error = vr::VRInitError_None;
    if (!processState().initialised)
        error = vr::VRInitError_Init_NotInitialized;
    else if (pchInterfaceVersion && std::strcmp(pchInterfaceVersion, vr::IVRSystem_Version) == 0)
        result = static_cast<vr::IVRSystem*>(&simProcessRuntime().system);
    else if (pchInterfaceVersion && std::strcmp(pchInterfaceVersion, vr::IVRApplications_Version) == 0)
        result = static_cast<vr::IVRApplications*>(&simProcessRuntime().applications);
    else if (pchInterfaceVersion && std::strcmp(pchInterfaceVersion, vr::IVRRenderModels_Version) == 0)
        result = static_cast<vr::IVRRenderModels*>(&simProcessRuntime().render_models);
    else
        error = vr::VRInitError_Init_InterfaceNotFound;
    if (peError)
        *peError = error;
    if (simLogging())
        simLog("VR_GetGenericInterface %s -> %s %d", pchInterfaceVersion ? pchInterfaceVersion : "(null)",
               result ? "interface" : "null", int(error));
    return result;
}

WAND_SIM_EXPORT uint32_t WAND_VR_CALLTYPE VR_GetInitToken() {
    uint32_t token = processState().token;
    if (simLogging())
        simLog("VR_GetInitToken -> %u", token);
    return token;
}

WAND_SIM_EXPORT const char* WAND_VR_CALLTYPE VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError error) {
    if (simLogging())
        simLog("VR_GetVRInitErrorAsEnglishDescription %d", int(error));
    return simInitErrorDescription(error);
}

WAND_SIM_EXPORT const char* WAND_VR_CALLTYPE VR_GetVRInitErrorAsSymbol(vr::EVRInitError error) {
    if (simLogging())
        simLog("VR_GetVRInitErrorAsSymbol %d", int(error));
    for (const InitErrorText& text : kInitErrorTexts)
        if (text.code == error)
            return text.symbol;
    return unknownErrorText(error);
}

WAND_SIM_EXPORT bool WAND_VR_CALLTYPE VR_IsHmdPresent() {
    return true;
}

WAND_SIM_EXPORT bool WAND_VR_CALLTYPE VR_IsRuntimeInstalled() {
    return true;
}

} // extern "C"
