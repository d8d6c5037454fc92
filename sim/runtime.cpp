// The playing state of a scenario and the "IVRSystem_012" object that serves it.
#include "sim/sim_core.h"
#include "sim/sim_log.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(__linux__)
#include <time.h>
#endif

// ---- Call log -------------------------------------------------------------------------------------

namespace {

struct LogState {
    std::FILE* file = nullptr;
    bool environment_read = false;
};

LogState& logState() {
    static LogState state;
    return state;
}

void openLog(const char* path) {
    LogState& log = logState();
    if (log.file)
        std::fclose(log.file);
    log.file = nullptr;
    if (path && *path) {
        log.file = std::fopen(path, "a");
        if (!log.file)
            std::fprintf(stderr, "simulated VR runtime: cannot open the log file %s\n", path);
    }
}

} // namespace

int64_t simMonotonicMicroseconds() {
#if defined(__linux__)
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
#else
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

bool simLogging() {
    LogState& log = logState();
    if (!log.environment_read) {
        log.environment_read = true;
        openLog(std::getenv("WAND_SIM_LOG"));
    }
    return log.file != nullptr;
}

void simLog(const char* format, ...) {
    std::FILE* file = logState().file;
    if (!file)
        return;
    std::fprintf(file, "%" PRId64 " ", simMonotonicMicroseconds());
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fflush(file);
}

void simSetLogFile(const std::string& path) {
    logState().environment_read = true;
    openLog(path.c_str());
}

// ---- Step machine ---------------------------------------------------------------------------------

namespace {

void applyChange(SimDevice& device, const SimChange& change) {
    const std::vector<double>& n = change.numbers;
    switch (change.kind) {
    case SimChangeKind::pose_aim:
        device.pose = aimPose(&n[0], &n[3]);
        break;
    case SimChangeKind::pose_tip:
        device.pose = modelTipPose(simModels()[device.model], device.pose, &n[0]);
        break;
    case SimChangeKind::pose_tip_aim:
        device.pose = modelTipAimPose(simModels()[device.model], &n[0], &n[3]);
        break;
    case SimChangeKind::pose_at:
        for (int i = 0; i < 3; ++i)
            device.pose.m[i][3] = n[i];
        break;
    case SimChangeKind::pose_matrix:
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                device.pose.m[i][j] = n[size_t(i) * 4 + size_t(j)];
        break;
    case SimChangeKind::valid:
        device.pose_valid = change.flag;
        break;
    case SimChangeKind::connected:
        device.connected = change.flag;
        break;
    case SimChangeKind::buttons:
        device.buttons = change.mask;
        break;
    case SimChangeKind::trigger:
        device.trigger = float(n[0]);
        break;
    case SimChangeKind::pad:
        device.pad_x = float(n[0]);
        device.pad_y = float(n[1]);
        break;
    case SimChangeKind::axis:
        device.more_axes[size_t(n[0]) - 2] = {float(n[1]), float(n[2])};
        break;
    case SimChangeKind::tremor:
        device.tremor_degrees = n[0];
        break;
    case SimChangeKind::event:
    case SimChangeKind::absent:
        break; // the runtime's, not a device's
    }
}

// A hand's tremor: the pose turned about the device's own x axis (its aim up or down) by the tremor, up
// and down by turns from one GetControllerState call to the next.
SimMatrix servedPose(const SimDevice& device, uint32_t polls) {
    SimMatrix pose = device.pose;
    if (device.tremor_degrees == 0.0)
        return pose;
    const double angle = (polls % 2 ? 1.0 : -1.0) * device.tremor_degrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    for (auto& row : pose.m) {
        const double y = row[1], z = row[2];
        row[1] = c * y + s * z;
        row[2] = c * z - s * y;
    }
    return pose;
}

bool conditionsHold(const SimAbsence& absence, std::chrono::steady_clock::time_point since,
                    const std::string& control_dir) {
    if (absence.ms > 0 && std::chrono::steady_clock::now() - since < std::chrono::milliseconds(absence.ms))
        return false;
    std::error_code error;
    return absence.wait.empty() ||
           std::filesystem::exists(std::filesystem::path(control_dir) / absence.wait, error);
}

void beginStep(SimRuntime& runtime, size_t number) {
    runtime.step = number;
    runtime.polls_in_step = 0;
    runtime.step_start = std::chrono::steady_clock::now();
    for (const SimChange& change : runtime.scenario.steps[number - 1].changes) {
        if (change.kind == SimChangeKind::event) {
            vr::VREvent_t event{};
            event.eventType = uint32_t(change.numbers[0]);
            event.trackedDeviceIndex = uint32_t(change.numbers[1]);
            runtime.events.push_back(event);
        } else if (change.kind == SimChangeKind::absent) {
            runtime.absence = change.absence;
            runtime.absent_since = runtime.step_start;
        } else {
            applyChange(runtime.devices[change.device], change);
        }
    }
    if (simLogging())
        simLog("step %" PRIu64, uint64_t(number));
}

bool stepDone(const SimRuntime& runtime, bool at_poll) {
    const SimStep& step = runtime.scenario.steps[runtime.step - 1];
    if (step.polls > 0 && !(at_poll && runtime.polls_in_step >= step.polls))
        return false;
    if (step.ms > 0 &&
        std::chrono::steady_clock::now() - runtime.step_start < std::chrono::milliseconds(step.ms))
        return false;
    return conditionsHold(SimAbsence{0, step.wait}, runtime.step_start, runtime.scenario.control_dir);
}

} // namespace

SimRuntime::SimRuntime(Scenario s) {
    system.runtime = this;
    applications.runtime = this;
    render_models.runtime = this;
    resetSimRuntime(*this, std::move(s));
}

void resetSimRuntime(SimRuntime& runtime, Scenario scenario) {
    runtime.scenario = std::move(scenario);
    runtime.devices = runtime.scenario.devices;
    runtime.step = 0;
    runtime.started = false;
    runtime.polls_in_step = 0;
    runtime.step_start = std::chrono::steady_clock::now();
    runtime.packet_num = 0;
    runtime.events.clear();
    runtime.pulses.clear();
    // A runtime absent from the start: its time counts from the first VR_InitInternal.
    runtime.absence = runtime.scenario.absent;
    runtime.absent_since = {};
}

bool simRuntimeAbsent(SimRuntime& runtime) {
    if (!runtime.absence)
        return false;
    if (runtime.absent_since == std::chrono::steady_clock::time_point{})
        runtime.absent_since = std::chrono::steady_clock::now();
    if (!conditionsHold(*runtime.absence, runtime.absent_since, runtime.scenario.control_dir))
        return true;
    runtime.absence.reset();
    return false;
}

void startSimRuntime(SimRuntime& runtime) {
    if (runtime.started)
        return;
    runtime.started = true;
    runtime.step_start = std::chrono::steady_clock::now();
    if (!runtime.scenario.steps.empty())
        beginStep(runtime, 1);
}

void advanceSimRuntime(SimRuntime& runtime, bool at_poll) {
    startSimRuntime(runtime);
    // The step that begins here has seen no poll yet, so a step with polls > 0 never ends in the call
    // that began it; steps with polls=0 may pass straight through.
    while (runtime.step > 0 && runtime.step < runtime.scenario.steps.size() && stepDone(runtime, at_poll))
        beginStep(runtime, runtime.step + 1);
}

// ---- Served operations ----------------------------------------------------------------------------

void simGetPoses(SimRuntime& runtime, vr::TrackedDevicePose_t* poses, uint32_t count) {
    advanceSimRuntime(runtime, false);
    if (!poses)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        vr::TrackedDevicePose_t pose{};
        if (i < vr::k_unMaxTrackedDeviceCount) {
            const SimDevice& device = runtime.devices[i];
            if (device.device_class != vr::TrackedDeviceClass_Invalid) {
                const SimMatrix served = servedPose(device, runtime.packet_num);
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 4; ++c)
                        pose.mDeviceToAbsoluteTracking.m[r][c] = float(served.m[r][c]);
                pose.eTrackingResult = vr::TrackingResult_Running_OK;
                pose.bPoseIsValid = device.pose_valid;
                pose.bDeviceIsConnected = device.connected;
            } else {
                pose.eTrackingResult = vr::TrackingResult_Uninitialized;
            }
        } else {
            pose.eTrackingResult = vr::TrackingResult_Uninitialized;
        }
        poses[i] = pose;
    }
}

vr::ETrackedDeviceClass simDeviceClass(SimRuntime& runtime, uint32_t index) {
    advanceSimRuntime(runtime, false);
    if (index >= vr::k_unMaxTrackedDeviceCount)
        return vr::TrackedDeviceClass_Invalid;
    return runtime.devices[index].device_class;
}

bool simIsConnected(SimRuntime& runtime, uint32_t index) {
    advanceSimRuntime(runtime, false);
    if (index >= vr::k_unMaxTrackedDeviceCount)
        return false;
    const SimDevice& device = runtime.devices[index];
    return device.device_class != vr::TrackedDeviceClass_Invalid && device.connected;
}

bool simGetControllerState(SimRuntime& runtime, uint32_t index, vr::VRControllerState_t* state) {
    advanceSimRuntime(runtime, true);
    ++runtime.polls_in_step;
    bool served = index < vr::k_unMaxTrackedDeviceCount &&
                  runtime.devices[index].device_class == vr::TrackedDeviceClass_Controller &&
                  runtime.devices[index].connected;
    if (!state)
        return false;
    *state = vr::VRControllerState_t{};
    if (!served)
        return false;
    const SimDevice& device = runtime.devices[index];
    state->unPacketNum = ++runtime.packet_num;
    state->ulButtonPressed = device.buttons;
    state->rAxis[0].x = device.pad_x;
    state->rAxis[0].y = device.pad_y;
    state->rAxis[1].x = device.trigger;
    for (size_t k = 0; k < device.more_axes.size(); ++k) {
        state->rAxis[k + 2].x = device.more_axes[k][0];
        state->rAxis[k + 2].y = device.more_axes[k][1];
    }
    return true;
}

// ---- IVRSystem_012 --------------------------------------------------------------------------------

void SimSystem::GetDeviceToAbsoluteTrackingPose(vr::ETrackingUniverseOrigin eOrigin, float,
                                                vr::TrackedDevicePose_t* poses, uint32_t count) {
    simGetPoses(*runtime, poses, count);
    if (simLogging())
        simLog("GetDeviceToAbsoluteTrackingPose %d %u", int(eOrigin), count);
}

vr::ETrackedDeviceClass SimSystem::GetTrackedDeviceClass(uint32_t index) {
    vr::ETrackedDeviceClass result = simDeviceClass(*runtime, index);
    if (simLogging())
        simLog("GetTrackedDeviceClass %u -> %d", index, int(result));
    return result;
}

bool SimSystem::IsTrackedDeviceConnected(uint32_t index) {
    bool result = simIsConnected(*runtime, index);
    if (simLogging())
        simLog("IsTrackedDeviceConnected %u -> %d", index, int(result));
    return result;
}

bool SimSystem::GetControllerState(uint32_t index, vr::VRControllerState_t* state) {
    bool result = simGetControllerState(*runtime, index, state);
    if (simLogging()) {
        if (result)
            simLog("GetControllerState %u -> 1 buttons=0x%" PRIx64 " trigger=%g pad=%g,%g", index,
                   uint64_t(state->ulButtonPressed), double(state->rAxis[1].x), double(state->rAxis[0].x),
                   double(state->rAxis[0].y));
        else
            simLog("GetControllerState %u -> 0", index);
    }
    return result;
}

void SimSystem::TriggerHapticPulse(uint32_t index, uint32_t axis, unsigned short microseconds) {
    runtime->pulses.push_back({index, axis, microseconds});
    if (simLogging())
        simLog("TriggerHapticPulse %u %u %u", index, axis, unsigned(microseconds));
}

namespace {
[[noreturn]] void unimplementedSlot(const char* interface, int slot, const char* name) {
    std::fprintf(stderr, "simulated VR runtime: %s slot %d (%s) is not implemented\n", interface, slot, name);
    std::fflush(stderr);
    std::abort();
}
} // namespace

bool SimSystem::PollNextEvent(vr::VREvent_t* event, uint32_t size) {
    if (size != sizeof(vr::VREvent_t)) {
        std::fprintf(stderr, "simulated VR runtime: PollNextEvent with a record of %u bytes, not %u\n", size,
                     unsigned(sizeof(vr::VREvent_t)));
        std::fflush(stderr);
        std::abort();
    }
    advanceSimRuntime(*runtime, false);
    if (runtime->events.empty() || !event)
        return false;
    *event = runtime->events.front();
    runtime->events.pop_front();
    if (simLogging())
        simLog("PollNextEvent -> %u %u", event->eventType, event->trackedDeviceIndex);
    return true;
}

void SimSystem::AcknowledgeQuit_Exiting() {
    if (simLogging())
        simLog("AcknowledgeQuit_Exiting");
}

// ---- IVRApplications_007 --------------------------------------------------------------------------

namespace {

vr::EVRApplicationError logged(vr::EVRApplicationError error, const char* call, const char* text, int flag) {
    if (simLogging()) {
        if (flag < 0)
            simLog("%s %s -> %d", call, text ? text : "(null)", int(error));
        else
            simLog("%s %s %d -> %d", call, text ? text : "(null)", flag, int(error));
    }
    return error;
}

} // namespace

vr::EVRApplicationError SimApplications::AddApplicationManifest(const char* path, bool temporary) {
    vr::EVRApplicationError error = runtime->scenario.applications_error;
    std::error_code ignored;
    if (error == vr::VRApplicationError_None && !(path && std::filesystem::is_regular_file(path, ignored)))
        error = vr::VRApplicationError_InvalidManifest;
    return logged(error, "AddApplicationManifest", path, temporary);
}

vr::EVRApplicationError SimApplications::RemoveApplicationManifest(const char* path) {
    return logged(runtime->scenario.applications_error, "RemoveApplicationManifest", path, -1);
}

vr::EVRApplicationError SimApplications::SetApplicationAutoLaunch(const char* key, bool on) {
    return logged(runtime->scenario.applications_error, "SetApplicationAutoLaunch", key, on);
}

const char* SimApplications::GetApplicationsErrorNameFromEnum(vr::EVRApplicationError error) {
    switch (error) {
    case vr::VRApplicationError_None:
        return "VRApplicationError_None";
    case vr::VRApplicationError_UnknownApplication:
        return "VRApplicationError_UnknownApplication";
    case vr::VRApplicationError_InvalidManifest:
        return "VRApplicationError_InvalidManifest";
    }
    return "VRApplicationError_Unknown";
}

#define WAND_SIM_SKIP_USED_SLOT(n, ret, name, params)
#define WAND_SIM_DEFINE_UNUSED_SLOT(n, name)                                                                 \
    void SimSystem::name() {                                                                                 \
        unimplementedSlot("IVRSystem_012", n, #name);                                                        \
    }
WAND_IVRSYSTEM_012_SLOTS(WAND_SIM_DEFINE_UNUSED_SLOT, WAND_SIM_SKIP_USED_SLOT)
#undef WAND_SIM_DEFINE_UNUSED_SLOT
#define WAND_SIM_DEFINE_UNUSED_SLOT(n, name)                                                                 \
    void SimApplications::name() {                                                                           \
        unimplementedSlot("IVRApplications_007", n, #name);                                                  \
    }
WAND_IVRAPPLICATIONS_007_SLOTS(WAND_SIM_DEFINE_UNUSED_SLOT, WAND_SIM_SKIP_USED_SLOT)
#undef WAND_SIM_DEFINE_UNUSED_SLOT
#define WAND_SIM_DEFINE_UNUSED_SLOT(n, name)                                                                 \
    void SimRenderModels::name() {                                                                           \
        unimplementedSlot("IVRRenderModels_006", n, #name);                                                  \
    }
WAND_IVRRENDERMODELS_006_SLOTS(WAND_SIM_DEFINE_UNUSED_SLOT, WAND_SIM_SKIP_USED_SLOT)
#undef WAND_SIM_DEFINE_UNUSED_SLOT
#undef WAND_SIM_SKIP_USED_SLOT
