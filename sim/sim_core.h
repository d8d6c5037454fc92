// The simulated VR runtime: a scenario (devices and a sequence of steps that change them), the runtime
// state that plays it, and the "IVRSystem_012" object that serves it. The exported client-library
// functions (VR_InitInternal and the rest) live in the same library and use one process-wide runtime.
//
// Two ways to use it from a test:
//  - run a program that loads the shared library `openvr_api`, with WAND_SIM_SCENARIO set;
//  - link the static library `wand_sim_core`, hand its functions to the VR layer with
//    useVrLibrary(simVrLibrary()) and call simLoadScenarioText() before the runtime is started.
#pragma once

#include "vr/openvr_abi.h"
#include "vr/vr_library.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// A 3x4 row-major pose, kept in double while scenarios compute it; served rounded to float.
struct SimMatrix {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

// A controller model of the simulator's own: what the runtime says of it (type, render model, axis kinds)
// and the "tip" of its render model. The numbers are the simulator's, chosen to be plausible and to
// differ from each other, not measured on any real controller.
struct SimModel {
    const char* keyword;               // its name in a scenario: "device 1 controller model=index-right"
    const char* controller_type;       // Prop_ControllerType_String; null: not provided
    const char* render_model;          // Prop_RenderModelName_String; null: not provided
    std::array<int32_t, 5> axis_types; // EVRControllerAxisType per axis; -1: not provided
    bool has_tip;                      // the render model has a "tip" component
    double tip_tilt_degrees;           // the tip's frame turned about the controller's x axis
    double tip_position[3];            // the tip's origin in the controller's space, metres
};

// Every model, the reference controller ("vive") first: it is the one a scenario that names none plays.
const std::vector<SimModel>& simModels();
// The model's index in simModels(), or simModels().size() when there is none by that keyword.
size_t simModelIndex(const std::string& keyword);
// The model's tip transform in the controller's space, as served (float values, held in double).
SimMatrix simModelTip(const SimModel& model);
// Whether the programs touch and aim from this model's own tip rather than the reference controller's:
// a named model other than "vive_controller" whose render model has a tip.
bool simAimsFromModelTip(const SimModel& model);

struct SimDevice {
    vr::ETrackedDeviceClass device_class = vr::TrackedDeviceClass_Invalid;
    size_t model = 0; // in simModels(); controllers only
    bool connected = false;
    bool pose_valid = true;
    SimMatrix pose;
    uint64_t buttons = 0;
    float trigger = 0.0f;
    float pad_x = 0.0f;
    float pad_y = 0.0f;
    std::array<std::array<float, 2>, 3> more_axes{}; // rAxis[2] to rAxis[4]: x, y
    double tremor_degrees = 0.0; // the pose is served turned by this, up and down by turns
};

enum class SimChangeKind {
    pose_aim,     // numbers: position (3), target (3)
    pose_tip,     // numbers: tip (3), keeps the current rotation
    pose_tip_aim, // numbers: tip (3), target of the tip's forward ray (3)
    pose_at,      // numbers: position (3), keeps the current rotation
    pose_matrix,  // numbers: 12, row-major
    valid,        // flag
    connected,    // flag
    buttons,      // mask
    trigger,      // numbers: value (1)
    pad,          // numbers: x y (2)
    axis,         // numbers: axis (2 to 4), x, y
    tremor,       // numbers: degrees (1)
    event,        // numbers: event type, device index; queued for PollNextEvent (not a device change)
    absent,       // absence: the runtime is gone until its conditions hold (not a device change)
};

// A time while the runtime is not running: every VR_InitInternal fails with 121 until `ms` have passed
// since it began and the file `wait` exists in the control directory.
struct SimAbsence {
    int64_t ms = 0;
    std::string wait;
    // What VR_InitInternal says meanwhile.
    vr::EVRInitError error = vr::VRInitError_Init_NoServerForBackgroundApp;
};

// One line of a step: a change to one device.
struct SimChange {
    int line = 0;
    uint32_t device = 0;
    SimChangeKind kind = SimChangeKind::valid;
    std::vector<double> numbers;
    bool flag = false;
    uint64_t mask = 0;
    SimAbsence absence;
};

// A step applies its changes when it begins, then holds until all its conditions hold.
struct SimStep {
    int line = 0;
    uint32_t polls = 1; // GetControllerState calls (any device) that see this step
    int64_t ms = 0;     // minimum duration, steady clock
    std::string wait;   // a file that must exist in the control directory ("" = none)
    std::vector<SimChange> changes;
};

struct Scenario {
    std::string name;        // file name, used in messages
    std::string control_dir; // where wait files are looked for
    vr::EVRInitError init_error = vr::VRInitError_None;
    std::optional<SimAbsence> absent; // from the first VR_InitInternal on
    vr::EVRApplicationError applications_error = vr::VRApplicationError_None; // IVRApplications_007 refuses
    std::array<SimDevice, vr::k_unMaxTrackedDeviceCount> devices{};           // state before the first step
    std::vector<SimStep> steps;
};

// Parses a scenario. Errors throw std::runtime_error with the message "<name>:<line>: <problem>".
// control_dir defaults to WAND_SIM_CONTROL, else ".".
Scenario parseScenario(const std::string& text, const std::string& name = "scenario");
// Reads and parses a file. control_dir defaults to WAND_SIM_CONTROL, else the file's directory.
// An unreadable file throws "<path>: cannot read the scenario file".
Scenario readScenarioFile(const std::string& path);
// An HMD at 0 and a connected controller at 1 at (0, 1.2, 0.5) aiming at (0, 1.2, -1), nothing pressed.
Scenario defaultScenario();
// The scenario named by WAND_SIM_SCENARIO, or the default one. Throws like readScenarioFile.
Scenario scenarioFromEnvironment();

// Pose helpers (double precision), as the scenario's pose lines use them.
SimMatrix aimPose(const double position[3], const double target[3]);
// Places the controller-space tip (0, -0.077, -0.038) at `tip`, keeping the rotation of `rotation`.
SimMatrix tipPose(const SimMatrix& rotation, const double tip[3]);
// Places the tip the programs use with `model` (its own, else the one above) at `tip`, keeping the
// rotation of `rotation`.
SimMatrix modelTipPose(const SimModel& model, const SimMatrix& rotation, const double tip[3]);
// The tip the programs use with `model` at `tip`, its -Z (the tip's own aim) pointing at `target`.
SimMatrix modelTipAimPose(const SimModel& model, const double tip[3], const double target[3]);

struct SimRuntime;

// Serves "IVRSystem_012" from one runtime. Every slot the programs don't use aborts with a message.
#define WAND_SIM_UNUSED_SLOT(n, name) void name() override;
#define WAND_SIM_USED_SLOT(n, ret, name, params) ret name params override;
namespace sim_slots {
using namespace vr; // the slot list names the interface's types unqualified
struct SimSystem final : IVRSystem {
    SimRuntime* runtime = nullptr;
    WAND_IVRSYSTEM_012_SLOTS(WAND_SIM_UNUSED_SLOT, WAND_SIM_USED_SLOT)
};
} // namespace sim_slots
namespace sim_slots {
// Serves "IVRApplications_007": registrations are logged, and refused as the scenario says.
struct SimApplications final : IVRApplications {
    SimRuntime* runtime = nullptr;
    WAND_IVRAPPLICATIONS_007_SLOTS(WAND_SIM_UNUSED_SLOT, WAND_SIM_USED_SLOT)
};
} // namespace sim_slots
namespace sim_slots {
// Serves "IVRRenderModels_006": the "tip" component of each model's render model, by its name.
struct SimRenderModels final : IVRRenderModels {
    SimRuntime* runtime = nullptr;
    WAND_IVRRENDERMODELS_006_SLOTS(WAND_SIM_UNUSED_SLOT, WAND_SIM_USED_SLOT)
};
} // namespace sim_slots
using sim_slots::SimApplications;
using sim_slots::SimRenderModels;
using sim_slots::SimSystem;
#undef WAND_SIM_UNUSED_SLOT
#undef WAND_SIM_USED_SLOT

// One haptic pulse a program asked for.
struct SimPulse {
    uint32_t device = 0;
    uint32_t axis = 0;
    unsigned short microseconds = 0;
};

// The playing state of a scenario. Not copyable: its `system` points back at it.
struct SimRuntime {
    explicit SimRuntime(Scenario s = defaultScenario());
    SimRuntime(const SimRuntime&) = delete;
    SimRuntime& operator=(const SimRuntime&) = delete;

    Scenario scenario;
    std::array<SimDevice, vr::k_unMaxTrackedDeviceCount> devices{};
    size_t step = 0; // 1-based number of the current step; 0 before the first one began
    bool started = false;
    uint64_t polls_in_step = 0;
    std::chrono::steady_clock::time_point step_start{};
    uint32_t packet_num = 0;
    std::deque<vr::VREvent_t> events;  // queued by steps, read by PollNextEvent
    std::optional<SimAbsence> absence; // the runtime is not running
    std::chrono::steady_clock::time_point absent_since{};
    std::vector<SimPulse> pulses; // every TriggerHapticPulse, in order
    SimSystem system;
    SimApplications applications;
    SimRenderModels render_models;
};

// Back to the scenario's initial state (nothing started); `system` keeps its address.
void resetSimRuntime(SimRuntime& runtime, Scenario scenario);
// Begins the first step (if not begun yet). Queries do this by themselves.
void startSimRuntime(SimRuntime& runtime);
// Advances as many steps as their conditions allow. `at_poll`: a GetControllerState call is beginning.
void advanceSimRuntime(SimRuntime& runtime, bool at_poll);
// Whether the runtime is absent now (VR_InitInternal fails with 121); an absence whose conditions hold ends.
bool simRuntimeAbsent(SimRuntime& runtime);

// The four served operations, also reachable through runtime.system.
void simGetPoses(SimRuntime& runtime, vr::TrackedDevicePose_t* poses, uint32_t count);
vr::ETrackedDeviceClass simDeviceClass(SimRuntime& runtime, uint32_t index);
bool simIsConnected(SimRuntime& runtime, uint32_t index);
bool simGetControllerState(SimRuntime& runtime, uint32_t index, vr::VRControllerState_t* state);

// The process-wide runtime behind the exported functions.
SimRuntime& simProcessRuntime();
// Parses `text` and makes it the process's scenario: not initialised, first step not begun. The init
// token keeps counting (it never goes back, so cached interface pointers are refetched). Throws on errors.
void simLoadScenarioText(const std::string& text, const std::string& name = "scenario");
void simLoadScenario(Scenario scenario);
// Appends the call log to `path` from now on ("" stops logging). WAND_SIM_LOG does this at first use.
void simSetLogFile(const std::string& path);

// The English description of an init error, as the client library gives it.
const char* simInitErrorDescription(int32_t error);

// The exported functions as the table the programs take from a loaded client library, for useVrLibrary in
// tests, fuzzers and benchmarks that carry the runtime in-process.
VrLibrary simVrLibrary();
