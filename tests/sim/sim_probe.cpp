// Runs the client-library calls named on its command line against libopenvr_api.so and prints one line
// per call, so that tests see the library exactly as a program linked to it does.
//   init | shutdown | token | valid NAME | iface NAME | desc N | symbol N | hmd | installed
//   poll I | pose I | class I | connected I | unused | touch PATH
#include "shared/openvr_abi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

extern "C" {
const char* WAND_VR_CALLTYPE VR_GetVRInitErrorAsSymbol(vr::EVRInitError error);
bool WAND_VR_CALLTYPE VR_IsHmdPresent();
bool WAND_VR_CALLTYPE VR_IsRuntimeInstalled();
}

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    vr::IVRSystem* system = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string command = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : "";
        auto index = [&] { return uint32_t(std::strtoul(arg, nullptr, 10)); };
        if (command == "init") {
            vr::EVRInitError error = vr::VRInitError_IPC_ConnectFailed;
            uint32_t token = VR_InitInternal(&error, vr::VRApplication_Background);
            std::printf("init %u %d\n", token, int(error));
            continue;
        }
        if (command == "shutdown") {
            VR_ShutdownInternal();
            std::printf("shutdown\n");
            continue;
        }
        if (command == "token") {
            std::printf("token %u\n", VR_GetInitToken());
            continue;
        }
        if (command == "hmd") {
            std::printf("hmd %d\n", int(VR_IsHmdPresent()));
            continue;
        }
        if (command == "installed") {
            std::printf("installed %d\n", int(VR_IsRuntimeInstalled()));
            continue;
        }
        if (command == "unused") {
            std::printf("unused\n");
            if (system)
                system->GetHiddenAreaMesh();
            continue;
        }
        ++i; // the remaining commands take one argument
        if (command == "valid") {
            std::printf("valid %s %d\n", arg, int(VR_IsInterfaceVersionValid(arg)));
        } else if (command == "iface") {
            vr::EVRInitError error = vr::VRInitError_IPC_ConnectFailed;
            void* result = VR_GetGenericInterface(arg, &error);
            if (result)
                system = static_cast<vr::IVRSystem*>(result);
            std::printf("iface %s %s %d\n", arg, result ? "ptr" : "null", int(error));
        } else if (command == "desc") {
            std::printf("desc %s\n", VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError(std::atoi(arg))));
        } else if (command == "symbol") {
            std::printf("symbol %s\n", VR_GetVRInitErrorAsSymbol(vr::EVRInitError(std::atoi(arg))));
        } else if (command == "touch") {
            std::ofstream(arg).put('\n');
            std::printf("touch\n");
        } else if (!system) {
            std::printf("%s: no interface\n", command.c_str());
        } else if (command == "poll") {
            vr::VRControllerState_t state{};
            bool ok = system->GetControllerState(index(), &state);
            std::printf("poll %u %d packet=%u buttons=0x%llx trigger=%g pad=%g,%g\n", index(), int(ok),
                        state.unPacketNum, (unsigned long long)state.ulButtonPressed,
                        double(state.rAxis[1].x), double(state.rAxis[0].x), double(state.rAxis[0].y));
        } else if (command == "pose") {
            vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
            std::memset(poses, 0xab, sizeof poses);
            system->GetDeviceToAbsoluteTrackingPose(vr::TrackingUniverseRawAndUncalibrated, 0.0f, poses,
                                                    vr::k_unMaxTrackedDeviceCount);
            const vr::TrackedDevicePose_t& p = poses[index() % vr::k_unMaxTrackedDeviceCount];
            const auto& m = p.mDeviceToAbsoluteTracking.m;
            std::printf("pose %u valid=%d connected=%d result=%d at=%g,%g,%g z=%g,%g,%g\n", index(),
                        int(p.bPoseIsValid), int(p.bDeviceIsConnected), int(p.eTrackingResult),
                        double(m[0][3]), double(m[1][3]), double(m[2][3]), double(m[0][2]), double(m[1][2]),
                        double(m[2][2]));
        } else if (command == "class") {
            std::printf("class %u %d\n", index(), int(system->GetTrackedDeviceClass(index())));
        } else if (command == "connected") {
            std::printf("connected %u %d\n", index(), int(system->IsTrackedDeviceConnected(index())));
        } else {
            std::fprintf(stderr, "sim_probe: unknown command %s\n", command.c_str());
            return 2;
        }
    }
    return 0;
}
