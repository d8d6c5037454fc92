// The part of the VR client library's binary interface ("openvr_api") that Wand uses, declared here so
// that no SDK header is needed. Names follow the client library's own, so that its documentation applies.
// Everything below must match the library byte for byte: record layouts, enum values, vtable slots.
#pragma once

// The declarations below mirror the library's tables line by line; keep them as laid out.
// clang-format off

#include <cstddef>
#include <cstdint>

namespace vr {

enum ETrackingUniverseOrigin : int32_t {
    TrackingUniverseSeated = 0,
    TrackingUniverseStanding = 1,
    TrackingUniverseRawAndUncalibrated = 2,
};

enum ETrackedDeviceClass : int32_t {
    TrackedDeviceClass_Invalid = 0,
    TrackedDeviceClass_HMD = 1,
    TrackedDeviceClass_Controller = 2,
    TrackedDeviceClass_TrackingReference = 4,
    TrackedDeviceClass_Other = 1000,
};

enum EVRApplicationType : int32_t {
    VRApplication_Other = 0,
    VRApplication_Scene = 1,
    VRApplication_Overlay = 2,
    VRApplication_Background = 3,
    VRApplication_Utility = 4,
};

enum EVRButtonId : int32_t {
    k_EButton_System = 0,
    k_EButton_ApplicationMenu = 1,
    k_EButton_Grip = 2,
    k_EButton_DPad_Left = 3,
    k_EButton_DPad_Up = 4,
    k_EButton_DPad_Right = 5,
    k_EButton_DPad_Down = 6,
    k_EButton_A = 7,
    k_EButton_Axis0 = 32,
    k_EButton_Axis1 = 33,
    k_EButton_Axis2 = 34,
    k_EButton_Axis3 = 35,
    k_EButton_Axis4 = 36,
    k_EButton_SteamVR_Touchpad = k_EButton_Axis0,
    k_EButton_SteamVR_Trigger = k_EButton_Axis1,
};

inline constexpr uint64_t ButtonMaskFromId(EVRButtonId id) { return 1ull << id; }

enum ETrackingResult : int32_t {
    TrackingResult_Uninitialized = 1,
    TrackingResult_Calibrating_InProgress = 100,
    TrackingResult_Calibrating_OutOfRange = 101,
    TrackingResult_Running_OK = 200,
    TrackingResult_Running_OutOfRange = 201,
};

enum EVRInitError : int32_t {
    VRInitError_None = 0,
    VRInitError_Init_InstallationNotFound = 100,
    VRInitError_Init_InstallationCorrupt = 101,
    VRInitError_Init_VRClientDLLNotFound = 102,
    VRInitError_Init_FactoryNotFound = 104,
    VRInitError_Init_InterfaceNotFound = 105,
    VRInitError_Init_HmdNotFound = 108,
    VRInitError_Init_NotInitialized = 109,
    VRInitError_Init_PathRegistryNotFound = 110,
    VRInitError_Init_Retry = 115,
    VRInitError_Init_ShuttingDown = 119,
    VRInitError_Init_NoServerForBackgroundApp = 121,
    VRInitError_Init_HmdNotFoundPresenceFailed = 126,
    VRInitError_IPC_ServerInitFailed = 300,
    VRInitError_IPC_ConnectFailed = 301,
};

// The events the programs act on; all others are read and passed over.
enum EVREventType : uint32_t {
    VREvent_None = 0,
    VREvent_Quit = 700, // the runtime is shutting down: acknowledge and exit
    VREvent_ProcessQuit = 701,
    VREvent_QuitAcknowledged = 703,
    VREvent_DriverRequestedQuit = 704,
};

enum EVRApplicationError : int32_t {
    VRApplicationError_None = 0,
    VRApplicationError_UnknownApplication = 104,
    VRApplicationError_InvalidManifest = 107,
};

// Per-device properties read through GetInt32/GetStringTrackedDeviceProperty; only those Wand asks for.
enum ETrackedDeviceProperty : int32_t {
    Prop_ModelNumber_String = 1001,
    Prop_SerialNumber_String = 1002,
    Prop_RenderModelName_String = 1003,
    Prop_Axis0Type_Int32 = 3002, // one per entry of rAxis: Prop_Axis0Type_Int32 + n
    Prop_Axis1Type_Int32 = 3003,
    Prop_Axis2Type_Int32 = 3004,
    Prop_Axis3Type_Int32 = 3005,
    Prop_Axis4Type_Int32 = 3006,
    Prop_ControllerType_String = 7000,
};

// A runtime may answer any of these for any property; Wand takes every failure as "not known".
enum ETrackedPropertyError : int32_t {
    TrackedProp_Success = 0,
    TrackedProp_WrongDataType = 1,
    TrackedProp_WrongDeviceClass = 2,
    TrackedProp_BufferTooSmall = 3, // the string's length, NUL included, is returned
    TrackedProp_UnknownProperty = 4,
    TrackedProp_InvalidDevice = 5,
    TrackedProp_CouldNotContactServer = 6,
    TrackedProp_ValueNotProvidedByDevice = 7,
    TrackedProp_NotYetAvailable = 9,
};

enum EVRControllerAxisType : int32_t {
    k_eControllerAxis_None = 0,
    k_eControllerAxis_TrackPad = 1,
    k_eControllerAxis_Joystick = 2,
    k_eControllerAxis_Trigger = 3, // its value in x
};

// uProperties of RenderModel_ComponentState_t.
enum EVRComponentProperty : uint32_t {
    VRComponentProperty_IsStatic = 1,
    VRComponentProperty_IsVisible = 2,
    VRComponentProperty_IsTouched = 4,
    VRComponentProperty_IsPressed = 8,
    VRComponentProperty_IsScrolled = 16,
};

inline constexpr uint32_t k_unMaxTrackedDeviceCount = 16;
inline constexpr uint32_t k_unControllerStateAxisCount = 5;
inline constexpr const char* IVRSystem_Version = "IVRSystem_012";
inline constexpr const char* IVRApplications_Version = "IVRApplications_007";
inline constexpr const char* IVRRenderModels_Version = "IVRRenderModels_006";
// The render-model component "for controllers with an unambiguous tip (used for laser-pointing)": its
// origin is the point and its -Z the direction that the runtime's own laser pointer uses.
inline constexpr const char* k_pch_Controller_Component_Tip = "tip";

// The client library packs its records to 4 bytes on Linux and macOS and to 8 bytes elsewhere. Both
// layouts are declared so that each can be checked on every build; the platform's own is the one used.
#define WAND_VR_RECORDS(NS)                                                                              \
    namespace NS {                                                                                       \
    struct HmdMatrix34_t {                                                                               \
        float m[3][4];                                                                                   \
    };                                                                                                   \
    struct HmdVector3_t {                                                                                \
        float v[3];                                                                                      \
    };                                                                                                   \
    struct TrackedDevicePose_t {                                                                         \
        HmdMatrix34_t mDeviceToAbsoluteTracking;                                                         \
        HmdVector3_t vVelocity;                                                                          \
        HmdVector3_t vAngularVelocity;                                                                   \
        ETrackingResult eTrackingResult;                                                                 \
        bool bPoseIsValid;                                                                               \
        bool bDeviceIsConnected;                                                                         \
    };                                                                                                   \
    struct VRControllerAxis_t {                                                                          \
        float x;                                                                                         \
        float y;                                                                                         \
    };                                                                                                   \
    struct VRControllerState001_t {                                                                      \
        uint32_t unPacketNum;                                                                            \
        uint64_t ulButtonPressed;                                                                        \
        uint64_t ulButtonTouched;                                                                        \
        VRControllerAxis_t rAxis[5];                                                                     \
    };                                                                                                   \
    struct VREvent_Process_t {                                                                           \
        uint32_t pid;                                                                                    \
        uint32_t oldPid;                                                                                 \
        bool bForced;                                                                                    \
    };                                                                                                   \
    /* 24 bytes; its widest members hold a uint64_t, which sets its alignment */                         \
    union VREvent_Data_t {                                                                               \
        uint64_t reserved[3];                                                                            \
        VREvent_Process_t process;                                                                       \
    };                                                                                                   \
    struct VREvent_t {                                                                                   \
        uint32_t eventType;                                                                              \
        uint32_t trackedDeviceIndex;                                                                     \
        float eventAgeSeconds;                                                                           \
        VREvent_Data_t data;                                                                             \
    };                                                                                                   \
    struct RenderModel_ControllerMode_State_t {                                                          \
        bool bScrollWheelVisible;                                                                        \
    };                                                                                                   \
    /* both transforms in the controller's own space: the device's pose times them reaches tracking */   \
    struct RenderModel_ComponentState_t {                                                                \
        HmdMatrix34_t mTrackingToComponentRenderModel;                                                   \
        HmdMatrix34_t mTrackingToComponentLocal;                                                         \
        uint32_t uProperties;                                                                            \
    };                                                                                                   \
    }

#pragma pack(push, 4)
WAND_VR_RECORDS(pack4)
#pragma pack(pop)
#pragma pack(push, 8)
WAND_VR_RECORDS(pack8)
#pragma pack(pop)
#undef WAND_VR_RECORDS

static_assert(sizeof(pack4::HmdMatrix34_t) == 48 && sizeof(pack8::HmdMatrix34_t) == 48);
static_assert(sizeof(pack4::HmdVector3_t) == 12 && sizeof(pack8::HmdVector3_t) == 12);
static_assert(sizeof(pack4::VRControllerAxis_t) == 8 && sizeof(pack8::VRControllerAxis_t) == 8);

static_assert(sizeof(pack4::TrackedDevicePose_t) == 80 && alignof(pack4::TrackedDevicePose_t) == 4);
static_assert(sizeof(pack8::TrackedDevicePose_t) == 80 && alignof(pack8::TrackedDevicePose_t) == 4);
static_assert(offsetof(pack4::TrackedDevicePose_t, vVelocity) == 48);
static_assert(offsetof(pack4::TrackedDevicePose_t, vAngularVelocity) == 60);
static_assert(offsetof(pack4::TrackedDevicePose_t, eTrackingResult) == 72);
static_assert(offsetof(pack4::TrackedDevicePose_t, bPoseIsValid) == 76);
static_assert(offsetof(pack4::TrackedDevicePose_t, bDeviceIsConnected) == 77);
static_assert(offsetof(pack8::TrackedDevicePose_t, bPoseIsValid) == 76);
static_assert(offsetof(pack8::TrackedDevicePose_t, bDeviceIsConnected) == 77);

static_assert(offsetof(pack4::VRControllerState001_t, unPacketNum) == 0);
static_assert(offsetof(pack4::VRControllerState001_t, ulButtonPressed) == 4);
static_assert(offsetof(pack4::VRControllerState001_t, ulButtonTouched) == 12);
static_assert(offsetof(pack4::VRControllerState001_t, rAxis) == 20);
static_assert(sizeof(pack4::VRControllerState001_t) == 60 && alignof(pack4::VRControllerState001_t) == 4);
static_assert(offsetof(pack8::VRControllerState001_t, unPacketNum) == 0);
static_assert(offsetof(pack8::VRControllerState001_t, ulButtonPressed) == 8);
static_assert(offsetof(pack8::VRControllerState001_t, ulButtonTouched) == 16);
static_assert(offsetof(pack8::VRControllerState001_t, rAxis) == 24);
static_assert(sizeof(pack8::VRControllerState001_t) == 64 && alignof(pack8::VRControllerState001_t) == 8);

static_assert(sizeof(pack4::VREvent_Data_t) == 24 && sizeof(pack8::VREvent_Data_t) == 24);
static_assert(offsetof(pack4::VREvent_t, eventAgeSeconds) == 8 && offsetof(pack4::VREvent_t, data) == 12);
static_assert(sizeof(pack4::VREvent_t) == 36);
static_assert(offsetof(pack8::VREvent_t, eventAgeSeconds) == 8 && offsetof(pack8::VREvent_t, data) == 16);
static_assert(sizeof(pack8::VREvent_t) == 40);

static_assert(sizeof(pack4::RenderModel_ControllerMode_State_t) == 1);
static_assert(sizeof(pack8::RenderModel_ControllerMode_State_t) == 1);
static_assert(offsetof(pack4::RenderModel_ComponentState_t, mTrackingToComponentLocal) == 48);
static_assert(offsetof(pack4::RenderModel_ComponentState_t, uProperties) == 96);
static_assert(sizeof(pack4::RenderModel_ComponentState_t) == 100);
static_assert(offsetof(pack8::RenderModel_ComponentState_t, mTrackingToComponentLocal) == 48);
static_assert(offsetof(pack8::RenderModel_ComponentState_t, uProperties) == 96);
static_assert(sizeof(pack8::RenderModel_ComponentState_t) == 100);

#if defined(_WIN32)
using namespace pack8;
#else
using namespace pack4;
#endif
using VRControllerState_t = VRControllerState001_t;

// "IVRSystem_012": pure virtual member functions, no virtual destructor, so declaration order is vtable
// order. The list below is the whole vtable; the interface is generated from it, so a slot's place in
// the list is its vtable slot. Slots Wand never calls are placeholders that occupy exactly one slot each
// (their real signatures differ, and several return records by value: never call them).
#define WAND_IVRSYSTEM_012_SLOTS(UNUSED, USED)                                                           \
    UNUSED(0, GetRecommendedRenderTargetSize)                                                            \
    UNUSED(1, GetProjectionMatrix)                                                                       \
    UNUSED(2, GetProjectionRaw)                                                                          \
    UNUSED(3, ComputeDistortion)                                                                         \
    UNUSED(4, GetEyeToHeadTransform)                                                                     \
    UNUSED(5, GetTimeSinceLastVsync)                                                                     \
    UNUSED(6, GetD3D9AdapterIndex)                                                                       \
    UNUSED(7, GetDXGIOutputInfo)                                                                         \
    UNUSED(8, IsDisplayOnDesktop)                                                                        \
    UNUSED(9, SetDisplayVisibility)                                                                      \
    USED(10, void, GetDeviceToAbsoluteTrackingPose,                                                      \
         (ETrackingUniverseOrigin eOrigin, float fPredictedSecondsToPhotonsFromNow,                      \
          TrackedDevicePose_t* pTrackedDevicePoseArray, uint32_t unTrackedDevicePoseArrayCount))         \
    UNUSED(11, ResetSeatedZeroPose)                                                                      \
    UNUSED(12, GetSeatedZeroPoseToStandingAbsoluteTrackingPose)                                          \
    UNUSED(13, GetRawZeroPoseToStandingAbsoluteTrackingPose)                                             \
    UNUSED(14, GetSortedTrackedDeviceIndicesOfClass)                                                     \
    UNUSED(15, GetTrackedDeviceActivityLevel)                                                            \
    UNUSED(16, ApplyTransform)                                                                           \
    UNUSED(17, GetTrackedDeviceIndexForControllerRole)                                                   \
    UNUSED(18, GetControllerRoleForTrackedDeviceIndex)                                                   \
    USED(19, ETrackedDeviceClass, GetTrackedDeviceClass, (uint32_t unDeviceIndex))                       \
    USED(20, bool, IsTrackedDeviceConnected, (uint32_t unDeviceIndex))                                   \
    UNUSED(21, GetBoolTrackedDeviceProperty)                                                             \
    UNUSED(22, GetFloatTrackedDeviceProperty)                                                            \
    USED(23, int32_t, GetInt32TrackedDeviceProperty,                                                     \
         (uint32_t unDeviceIndex, ETrackedDeviceProperty prop, ETrackedPropertyError * pError))          \
    UNUSED(24, GetUint64TrackedDeviceProperty)                                                           \
    UNUSED(25, GetMatrix34TrackedDeviceProperty)                                                         \
    USED(26, uint32_t, GetStringTrackedDeviceProperty,                                                   \
         (uint32_t unDeviceIndex, ETrackedDeviceProperty prop, char* pchValue, uint32_t unBufferSize,     \
          ETrackedPropertyError* pError))                                                                \
    UNUSED(27, GetPropErrorNameFromEnum)                                                                 \
    USED(28, bool, PollNextEvent, (VREvent_t * pEvent, uint32_t uncbVREvent))                            \
    UNUSED(29, PollNextEventWithPose)                                                                    \
    UNUSED(30, GetEventTypeNameFromEnum)                                                                 \
    UNUSED(31, GetHiddenAreaMesh)                                                                        \
    USED(32, bool, GetControllerState, (uint32_t unControllerDeviceIndex, VRControllerState_t * pState)) \
    UNUSED(33, GetControllerStateWithPose)                                                               \
    USED(34, void, TriggerHapticPulse,                                                                   \
         (uint32_t unControllerDeviceIndex, uint32_t unAxisId, unsigned short usDurationMicroSec))      \
    UNUSED(35, GetButtonIdNameFromEnum)                                                                  \
    UNUSED(36, GetControllerAxisTypeNameFromEnum)                                                        \
    UNUSED(37, CaptureInputFocus)                                                                        \
    UNUSED(38, ReleaseInputFocus)                                                                        \
    UNUSED(39, IsInputFocusCapturedByAnotherProcess)                                                     \
    UNUSED(40, DriverDebugRequest)                                                                       \
    UNUSED(41, PerformFirmwareUpdate)                                                                    \
    USED(42, void, AcknowledgeQuit_Exiting, ())                                                          \
    UNUSED(43, AcknowledgeQuit_UserPrompt)

#define WAND_DECLARE_UNUSED_SLOT(n, name) virtual void name() = 0;
#define WAND_DECLARE_USED_SLOT(n, ret, name, params) virtual ret name params = 0;
class IVRSystem {
  public:
    WAND_IVRSYSTEM_012_SLOTS(WAND_DECLARE_UNUSED_SLOT, WAND_DECLARE_USED_SLOT)
};
#undef WAND_DECLARE_UNUSED_SLOT
#undef WAND_DECLARE_USED_SLOT

namespace abi_check {
#define WAND_SLOT_NUMBER_UNUSED(n, name) n,
#define WAND_SLOT_NUMBER_USED(n, ret, name, params) n,
inline constexpr int slot_numbers[] = {WAND_IVRSYSTEM_012_SLOTS(WAND_SLOT_NUMBER_UNUSED, WAND_SLOT_NUMBER_USED)};
#undef WAND_SLOT_NUMBER_UNUSED
#undef WAND_SLOT_NUMBER_USED
consteval bool slotsInOrder() {
    for (int i = 0; i < int(sizeof(slot_numbers) / sizeof(slot_numbers[0])); ++i)
        if (slot_numbers[i] != i)
            return false;
    return true;
}
static_assert(sizeof(slot_numbers) / sizeof(slot_numbers[0]) == 44, "IVRSystem_012 has 44 slots");
static_assert(slotsInOrder(), "every slot number must equal its place in the list");
// One vtable pointer, nothing else: the interface is used only through its slots.
static_assert(sizeof(IVRSystem) == sizeof(void*));
} // namespace abi_check

// "IVRApplications_007", asked for by name after start-up: registering an application manifest with the
// runtime. Slots 0 to 18 of its vtable, in order (the later ones are never called, so not declared). The
// called slots take and return only scalars and pointers, as the Windows caveat above requires.
#define WAND_IVRAPPLICATIONS_007_SLOTS(UNUSED, USED)                                                     \
    USED(0, EVRApplicationError, AddApplicationManifest, (const char* pchApplicationManifestFullPath,    \
                                                          bool bTemporary))                              \
    USED(1, EVRApplicationError, RemoveApplicationManifest, (const char* pchApplicationManifestFullPath)) \
    UNUSED(2, IsApplicationInstalled)                                                                    \
    UNUSED(3, GetApplicationCount)                                                                       \
    UNUSED(4, GetApplicationKeyByIndex)                                                                  \
    UNUSED(5, GetApplicationKeyByProcessId)                                                              \
    UNUSED(6, LaunchApplication)                                                                         \
    UNUSED(7, LaunchTemplateApplication)                                                                 \
    UNUSED(8, LaunchApplicationFromMimeType)                                                             \
    UNUSED(9, LaunchDashboardOverlay)                                                                    \
    UNUSED(10, CancelApplicationLaunch)                                                                  \
    UNUSED(11, IdentifyApplication)                                                                      \
    UNUSED(12, GetApplicationProcessId)                                                                  \
    USED(13, const char*, GetApplicationsErrorNameFromEnum, (EVRApplicationError error))                 \
    UNUSED(14, GetApplicationPropertyString)                                                             \
    UNUSED(15, GetApplicationPropertyBool)                                                               \
    UNUSED(16, GetApplicationPropertyUint64)                                                             \
    USED(17, EVRApplicationError, SetApplicationAutoLaunch, (const char* pchAppKey, bool bAutoLaunch))   \
    UNUSED(18, GetApplicationAutoLaunch)

#define WAND_DECLARE_UNUSED_SLOT(n, name) virtual void name() = 0;
#define WAND_DECLARE_USED_SLOT(n, ret, name, params) virtual ret name params = 0;
class IVRApplications {
  public:
    WAND_IVRAPPLICATIONS_007_SLOTS(WAND_DECLARE_UNUSED_SLOT, WAND_DECLARE_USED_SLOT)
};
#undef WAND_DECLARE_UNUSED_SLOT
#undef WAND_DECLARE_USED_SLOT

namespace abi_check {
#define WAND_SLOT_NUMBER_UNUSED(n, name) n,
#define WAND_SLOT_NUMBER_USED(n, ret, name, params) n,
inline constexpr int application_slot_numbers[] = {
    WAND_IVRAPPLICATIONS_007_SLOTS(WAND_SLOT_NUMBER_UNUSED, WAND_SLOT_NUMBER_USED)};
#undef WAND_SLOT_NUMBER_UNUSED
#undef WAND_SLOT_NUMBER_USED
consteval bool applicationSlotsInOrder() {
    for (int i = 0; i < int(sizeof(application_slot_numbers) / sizeof(application_slot_numbers[0])); ++i)
        if (application_slot_numbers[i] != i)
            return false;
    return true;
}
static_assert(applicationSlotsInOrder(), "every slot number must equal its place in the list");
static_assert(sizeof(IVRApplications) == sizeof(void*));
} // namespace abi_check

// "IVRRenderModels_006", asked for by name after start-up: the parts of a controller's render model, of
// which Wand reads the "tip". The whole vtable, in order; the two called slots take and return only
// scalars and pointers. GetComponentState returns false, both transforms set to identity, when the model
// or the component is unknown; a static component such as the tip does not depend on the states passed.
#define WAND_IVRRENDERMODELS_006_SLOTS(UNUSED, USED)                                                     \
    UNUSED(0, LoadRenderModel_Async)                                                                     \
    UNUSED(1, FreeRenderModel)                                                                           \
    UNUSED(2, LoadTexture_Async)                                                                         \
    UNUSED(3, FreeTexture)                                                                               \
    UNUSED(4, LoadTextureD3D11_Async)                                                                    \
    UNUSED(5, LoadIntoTextureD3D11_Async)                                                                \
    UNUSED(6, FreeTextureD3D11)                                                                          \
    UNUSED(7, GetRenderModelName)                                                                        \
    UNUSED(8, GetRenderModelCount)                                                                       \
    UNUSED(9, GetComponentCount)                                                                         \
    UNUSED(10, GetComponentName)                                                                         \
    UNUSED(11, GetComponentButtonMask)                                                                   \
    UNUSED(12, GetComponentRenderModelName)                                                              \
    UNUSED(13, GetComponentStateForDevicePath)                                                           \
    USED(14, bool, GetComponentState,                                                                    \
         (const char* pchRenderModelName, const char* pchComponentName,                                  \
          const VRControllerState_t* pControllerState, const RenderModel_ControllerMode_State_t* pState,  \
          RenderModel_ComponentState_t* pComponentState))                                                \
    USED(15, bool, RenderModelHasComponent, (const char* pchRenderModelName, const char* pchComponentName)) \
    UNUSED(16, GetRenderModelThumbnailURL)                                                               \
    UNUSED(17, GetRenderModelOriginalPath)                                                               \
    UNUSED(18, GetRenderModelErrorNameFromEnum)

#define WAND_DECLARE_UNUSED_SLOT(n, name) virtual void name() = 0;
#define WAND_DECLARE_USED_SLOT(n, ret, name, params) virtual ret name params = 0;
class IVRRenderModels {
  public:
    WAND_IVRRENDERMODELS_006_SLOTS(WAND_DECLARE_UNUSED_SLOT, WAND_DECLARE_USED_SLOT)
};
#undef WAND_DECLARE_UNUSED_SLOT
#undef WAND_DECLARE_USED_SLOT

namespace abi_check {
#define WAND_SLOT_NUMBER_UNUSED(n, name) n,
#define WAND_SLOT_NUMBER_USED(n, ret, name, params) n,
inline constexpr int render_model_slot_numbers[] = {
    WAND_IVRRENDERMODELS_006_SLOTS(WAND_SLOT_NUMBER_UNUSED, WAND_SLOT_NUMBER_USED)};
#undef WAND_SLOT_NUMBER_UNUSED
#undef WAND_SLOT_NUMBER_USED
consteval bool renderModelSlotsInOrder() {
    for (int i = 0; i < int(sizeof(render_model_slot_numbers) / sizeof(render_model_slot_numbers[0])); ++i)
        if (render_model_slot_numbers[i] != i)
            return false;
    return true;
}
static_assert(sizeof(render_model_slot_numbers) / sizeof(render_model_slot_numbers[0]) == 19,
              "IVRRenderModels_006 has 19 slots");
static_assert(renderModelSlotsInOrder(), "every slot number must equal its place in the list");
static_assert(sizeof(IVRRenderModels) == sizeof(void*));
} // namespace abi_check

} // namespace vr

#if defined(_WIN32)
#define WAND_VR_CALLTYPE __cdecl
#else
#define WAND_VR_CALLTYPE
#endif

// The exported C functions of the client library (undecorated names). The programs take them from the
// library by these names when they load it (vr/vr_library.h); the simulated runtime defines them.
extern "C" {
uint32_t WAND_VR_CALLTYPE VR_InitInternal(vr::EVRInitError* peError, vr::EVRApplicationType eType);
void WAND_VR_CALLTYPE VR_ShutdownInternal();
bool WAND_VR_CALLTYPE VR_IsInterfaceVersionValid(const char* pchInterfaceVersion);
void* WAND_VR_CALLTYPE VR_GetGenericInterface(const char* pchInterfaceVersion, vr::EVRInitError* peError);
uint32_t WAND_VR_CALLTYPE VR_GetInitToken();
const char* WAND_VR_CALLTYPE VR_GetVRInitErrorAsEnglishDescription(vr::EVRInitError error);
}
// clang-format on
