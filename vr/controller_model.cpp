#include "vr/controller_model.h"

#include "vr/vr_library.h"

#include <algorithm>
#include <cmath>

namespace {

// Most names fit at the first call; a longer one is read again at the length the runtime asks for, up to
// the runtime's own limit for a string property.
constexpr uint32_t kFirstStringBuffer = 32;
constexpr uint32_t kLongestString = 32768;

std::string readString(vr::IVRSystem* system, uint32_t device_index, vr::ETrackedDeviceProperty property) {
    std::string value(kFirstStringBuffer, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
        const uint32_t length = system->GetStringTrackedDeviceProperty(device_index, property, value.data(),
                                                                       uint32_t(value.size()), &error);
        if (error == vr::TrackedProp_BufferTooSmall && length > value.size() && length <= kLongestString) {
            value.assign(length, '\0');
            continue;
        }
        if (error != vr::TrackedProp_Success || length == 0 || length > value.size())
            return {};
        value.resize(std::min<size_t>(length - 1, value.find('\0')));
        return value;
    }
    return {};
}

AxisKind readAxisKind(vr::IVRSystem* system, uint32_t device_index, uint32_t axis) {
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const auto property = vr::ETrackedDeviceProperty(vr::Prop_Axis0Type_Int32 + int32_t(axis));
    const int32_t type = system->GetInt32TrackedDeviceProperty(device_index, property, &error);
    if (error != vr::TrackedProp_Success)
        return AxisKind::unknown;
    switch (type) {
    case vr::k_eControllerAxis_None:
        return AxisKind::none;
    case vr::k_eControllerAxis_TrackPad:
        return AxisKind::trackpad;
    case vr::k_eControllerAxis_Joystick:
        return AxisKind::joystick;
    case vr::k_eControllerAxis_Trigger:
        return AxisKind::trigger;
    }
    return AxisKind::unknown;
}

// The render model's "tip" component in the controller's space; false when the runtime gives none or one
// that is not finite.
bool readModelTip(const std::string& render_model, Transform34& tip) {
    const VrLibrary& library = vrLibrary();
    if (render_model.empty() || !library.get_generic_interface)
        return false;
    vr::EVRInitError error = vr::VRInitError_None;
    auto* models =
        static_cast<vr::IVRRenderModels*>(library.get_generic_interface(vr::IVRRenderModels_Version, &error));
    if (!models)
        return false;
    const vr::VRControllerState_t state{};
    const vr::RenderModel_ControllerMode_State_t mode{};
    vr::RenderModel_ComponentState_t component{};
    if (!models->GetComponentState(render_model.c_str(), vr::k_pch_Controller_Component_Tip, &state, &mode,
                                   &component))
        return false;
    const Transform34 read = toTransform(component.mTrackingToComponentLocal);
    for (const auto& row : read.m)
        for (float v : row)
            if (!std::isfinite(v))
                return false;
    tip = read;
    return true;
}

} // namespace

ThumbControl chooseThumbControl(const AxisKinds& axes) {
    for (AxisKind wanted : {AxisKind::trackpad, AxisKind::joystick})
        for (uint32_t axis = 0; axis < axes.size(); ++axis)
            if (axes[axis] == wanted)
                return {axis, wanted};
    return {0, AxisKind::trackpad};
}

uint64_t thumbPressMask(const ThumbControl& thumb) {
    return vr::ButtonMaskFromId(vr::EVRButtonId(vr::k_EButton_Axis0 + int32_t(thumb.axis)));
}

ControllerModel readControllerModel(vr::IVRSystem* system, uint32_t device_index) {
    ControllerModel model;
    if (!system)
        return model;
    model.type = readString(system, device_index, vr::Prop_ControllerType_String);
    model.render_model = readString(system, device_index, vr::Prop_RenderModelName_String);
    for (uint32_t axis = 0; axis < model.axes.size(); ++axis)
        model.axes[axis] = readAxisKind(system, device_index, axis);
    model.reference = model.type.empty() || model.type == kReferenceControllerType;
    if (model.reference)
        return model;
    model.has_tip = readModelTip(model.render_model, model.tip);
    model.thumb = chooseThumbControl(model.axes);
    return model;
}

bool aimsFromModelTip(const ControllerModel& model) {
    return !model.reference && model.has_tip;
}

std::string describeController(const ControllerModel& model) {
    if (model.reference)
        return {};
    std::string line = "Controller: " + model.type;
    if (!model.render_model.empty())
        line += " (" + model.render_model + ")";
    if (model.has_tip)
        return line + ", aiming from its tip";
    return line + " has no tip in its model; touching and aiming as with a Vive controller";
}

Transform34 toTransform(const vr::HmdMatrix34_t& matrix) {
    Transform34 t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            t.m[i][j] = matrix.m[i][j];
    return t;
}
