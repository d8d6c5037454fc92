// The simulator's controller models: the properties the runtime gives of a controller, and the "tip" of
// its render model served through "IVRRenderModels_006".
#include "sim/sim_core.h"
#include "sim/sim_log.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int32_t kNotProvided = -1;
constexpr int32_t kTrackpad = vr::k_eControllerAxis_TrackPad;
constexpr int32_t kJoystick = vr::k_eControllerAxis_Joystick;
constexpr int32_t kTrigger = vr::k_eControllerAxis_Trigger;
constexpr int32_t kNone = vr::k_eControllerAxis_None;

} // namespace

const std::vector<SimModel>& simModels() {
    // The tips dip toward the controller's -Y by their tilt: tip's -Z = (0, -sin t, -cos t).
    static const std::vector<SimModel> models = {
        {"vive",
         "vive_controller",
         "vr_controller_vive_1_5",
         {kTrackpad, kTrigger, kNone, kNone, kNone},
         true,
         0.0,
         {0.0, double(-0.077f), double(-0.038f)}},
        {"index-left",
         "knuckles",
         "valve_controller_knu_1_0_left",
         {kTrackpad, kTrigger, kTrigger, kJoystick, kNone},
         true,
         30.0,
         {-0.004, -0.015, -0.09}},
        {"index-right",
         "knuckles",
         "valve_controller_knu_1_0_right",
         {kTrackpad, kTrigger, kTrigger, kJoystick, kNone},
         true,
         30.0,
         {0.004, -0.015, -0.09}},
        {"touch-left",
         "oculus_touch",
         "oculus_cv1_controller_left",
         {kJoystick, kTrigger, kTrigger, kNone, kNone},
         true,
         40.0,
         {-0.006, -0.03, -0.055}},
        {"touch-right",
         "oculus_touch",
         "oculus_cv1_controller_right",
         {kJoystick, kTrigger, kTrigger, kNone, kNone},
         true,
         40.0,
         {0.006, -0.03, -0.055}},
        {"wmr-left",
         "holographic_controller",
         "{holographic}holographic_controller_left",
         {kJoystick, kTrigger, kTrackpad, kNone, kNone},
         true,
         20.0,
         {0.0, -0.025, -0.07}},
        {"wmr-right",
         "holographic_controller",
         "{holographic}holographic_controller_right",
         {kJoystick, kTrigger, kTrackpad, kNone, kNone},
         true,
         20.0,
         {0.0, -0.025, -0.07}},
        {"no-tip",
         "wand_prototype",
         "wand_prototype_1_0",
         {kTrackpad, kTrigger, kNone, kNone, kNone},
         false,
         0.0,
         {0.0, 0.0, 0.0}},
        {"unnamed",
         nullptr,
         nullptr,
         {kNotProvided, kNotProvided, kNotProvided, kNotProvided, kNotProvided},
         false,
         0.0,
         {0.0, 0.0, 0.0}},
    };
    return models;
}

size_t simModelIndex(const std::string& keyword) {
    const std::vector<SimModel>& models = simModels();
    for (size_t i = 0; i < models.size(); ++i)
        if (keyword == models[i].keyword)
            return i;
    return models.size();
}

SimMatrix simModelTip(const SimModel& model) {
    const double t = -model.tip_tilt_degrees * 3.14159265358979323846 / 180.0;
    const double c = double(float(std::cos(t))), s = double(float(std::sin(t)));
    SimMatrix tip;
    tip.m[1][1] = c;
    tip.m[1][2] = -s;
    tip.m[2][1] = s;
    tip.m[2][2] = c;
    for (int i = 0; i < 3; ++i)
        tip.m[i][3] = double(float(model.tip_position[i]));
    return tip;
}

bool simAimsFromModelTip(const SimModel& model) {
    return model.has_tip && model.controller_type &&
           std::strcmp(model.controller_type, "vive_controller") != 0;
}

SimMatrix modelTipPose(const SimModel& model, const SimMatrix& rotation, const double tip[3]) {
    if (!simAimsFromModelTip(model))
        return tipPose(rotation, tip);
    const SimMatrix t = simModelTip(model);
    SimMatrix pose = rotation;
    for (int i = 0; i < 3; ++i)
        pose.m[i][3] =
            tip[i] - (pose.m[i][0] * t.m[0][3] + pose.m[i][1] * t.m[1][3] + pose.m[i][2] * t.m[2][3]);
    return pose;
}

SimMatrix modelTipAimPose(const SimModel& model, const double tip[3], const double target[3]) {
    const SimMatrix frame = aimPose(tip, target); // the tip's own frame in tracking space
    if (!simAimsFromModelTip(model))
        return tipPose(frame, tip);
    // The device's rotation is the frame's times the tip's rotation inverted (transposed).
    const SimMatrix t = simModelTip(model);
    SimMatrix rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rotation.m[i][j] =
                frame.m[i][0] * t.m[j][0] + frame.m[i][1] * t.m[j][1] + frame.m[i][2] * t.m[j][2];
    return modelTipPose(model, rotation, tip);
}

// ---- IVRSystem_012: the properties -----------------------------------------------------------------

namespace {

// The model of a declared controller, else null with the runtime's error.
const SimModel* controllerModel(const SimRuntime& runtime, uint32_t index, vr::ETrackedPropertyError& error) {
    if (index >= vr::k_unMaxTrackedDeviceCount ||
        runtime.devices[index].device_class == vr::TrackedDeviceClass_Invalid) {
        error = vr::TrackedProp_InvalidDevice;
        return nullptr;
    }
    if (runtime.devices[index].device_class != vr::TrackedDeviceClass_Controller) {
        error = vr::TrackedProp_UnknownProperty;
        return nullptr;
    }
    return &simModels()[runtime.devices[index].model];
}

} // namespace

int32_t SimSystem::GetInt32TrackedDeviceProperty(uint32_t index, vr::ETrackedDeviceProperty property,
                                                 vr::ETrackedPropertyError* pError) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    int32_t value = 0;
    if (const SimModel* model = controllerModel(*runtime, index, error)) {
        const int32_t axis = property - vr::Prop_Axis0Type_Int32;
        if (property == vr::Prop_RenderModelName_String || property == vr::Prop_ControllerType_String)
            error = vr::TrackedProp_WrongDataType;
        else if (axis < 0 || axis >= 5 || model->axis_types[size_t(axis)] == kNotProvided)
            error = vr::TrackedProp_UnknownProperty;
        else
            value = model->axis_types[size_t(axis)];
    }
    if (pError)
        *pError = error;
    if (simLogging())
        simLog("GetInt32TrackedDeviceProperty %u %d -> %d %d", index, int(property), int(value), int(error));
    return value;
}

uint32_t SimSystem::GetStringTrackedDeviceProperty(uint32_t index, vr::ETrackedDeviceProperty property,
                                                   char* value, uint32_t size,
                                                   vr::ETrackedPropertyError* pError) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    uint32_t length = 0;
    if (const SimModel* model = controllerModel(*runtime, index, error)) {
        const char* text = property == vr::Prop_ControllerType_String    ? model->controller_type
                           : property == vr::Prop_RenderModelName_String ? model->render_model
                                                                         : nullptr;
        if (property >= vr::Prop_Axis0Type_Int32 && property <= vr::Prop_Axis4Type_Int32) {
            error = vr::TrackedProp_WrongDataType;
        } else if (!text) {
            error = vr::TrackedProp_UnknownProperty;
        } else {
            // As the runtime does: the length with the NUL, and the text only when it fits.
            length = uint32_t(std::strlen(text) + 1);
            if (!value || size < length)
                error = vr::TrackedProp_BufferTooSmall;
            else
                std::memcpy(value, text, length);
        }
    }
    if (error != vr::TrackedProp_Success && error != vr::TrackedProp_BufferTooSmall)
        length = 0;
    if (pError)
        *pError = error;
    if (simLogging())
        simLog("GetStringTrackedDeviceProperty %u %d %u -> %u %d", index, int(property), size, length,
               int(error));
    return length;
}

// ---- IVRRenderModels_006 ---------------------------------------------------------------------------

namespace {

// The model whose render model has the named component ("tip" is the only one served), else null.
const SimModel* modelWithComponent(const char* render_model, const char* component) {
    if (!render_model || !component || std::strcmp(component, vr::k_pch_Controller_Component_Tip) != 0)
        return nullptr;
    for (const SimModel& model : simModels())
        if (model.render_model && model.has_tip && std::strcmp(model.render_model, render_model) == 0)
            return &model;
    return nullptr;
}

} // namespace

bool SimRenderModels::GetComponentState(const char* render_model, const char* component,
                                        const vr::VRControllerState_t*,
                                        const vr::RenderModel_ControllerMode_State_t*,
                                        vr::RenderModel_ComponentState_t* state) {
    const SimModel* model = modelWithComponent(render_model, component);
    if (state) {
        const SimMatrix tip = model ? simModelTip(*model) : SimMatrix{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                state->mTrackingToComponentLocal.m[i][j] = float(tip.m[i][j]);
        state->mTrackingToComponentRenderModel = state->mTrackingToComponentLocal;
        state->uProperties = model ? uint32_t(vr::VRComponentProperty_IsStatic) : 0u;
    }
    const bool found = model && state;
    if (simLogging())
        simLog("GetComponentState %s %s -> %d", render_model ? render_model : "(null)",
               component ? component : "(null)", int(found));
    return found;
}

bool SimRenderModels::RenderModelHasComponent(const char* render_model, const char* component) {
    const bool found = modelWithComponent(render_model, component) != nullptr;
    if (simLogging())
        simLog("RenderModelHasComponent %s %s -> %d", render_model ? render_model : "(null)",
               component ? component : "(null)", int(found));
    return found;
}
