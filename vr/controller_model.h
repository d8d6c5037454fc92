// Which controller the runtime tracks: its type, its render model, the kinds of its axes and its tip,
// read once after selection. The reference controller ("vive_controller", and one the runtime does not
// name) keeps the fixed tip (0, -0.077, -0.038), the controller's -Z as its aim and axis 0 as its
// touchpad; any other takes the tip of its render model and its thumb control by the kinds of its axes.
#pragma once

#include "geometry/tip.h"
#include "vr/openvr_abi.h"

#include <array>
#include <cstdint>
#include <string>

// The kind the runtime gives an axis (an entry of rAxis); unknown when it did not say.
enum class AxisKind : uint8_t { unknown, none, trackpad, joystick, trigger };

using AxisKinds = std::array<AxisKind, vr::k_unControllerStateAxisCount>;

// The control under the thumb: the axis it is read from, and whether it is a trackpad or a joystick.
struct ThumbControl {
    uint32_t axis = 0;
    AxisKind kind = AxisKind::trackpad;
};

inline constexpr const char* kReferenceControllerType = "vive_controller";

struct ControllerModel {
    std::string type;         // Prop_ControllerType_String; "" when not known
    std::string render_model; // Prop_RenderModelName_String; "" when not known
    AxisKinds axes{};         // Prop_Axis0Type_Int32 + n
    bool reference = true;    // the type is "vive_controller" or not known
    bool has_tip = false;     // the runtime gave the render model's "tip" (asked only when not the reference)
    Transform34 tip = referenceTip(); // the tip used: the model's, else the reference controller's
    ThumbControl thumb;               // axis 0 as a trackpad for the reference controller
};

// Reads the model of the controller at `device_index`. Every property or render model the runtime cannot
// give counts as not known; the render models ("IVRRenderModels_006") are asked through the loaded client
// library (vrLibrary), and only for a controller other than the reference.
ControllerModel readControllerModel(vr::IVRSystem* system, uint32_t device_index);

// The axis the runtime calls a trackpad, else the one it calls a joystick (the first such), else axis 0
// taken as a trackpad.
ThumbControl chooseThumbControl(const AxisKinds& axes);

// The bit of ulButtonPressed that is the thumb control pressed down (button 32 + its axis).
uint64_t thumbPressMask(const ThumbControl& thumb);

// Whether the programs touch and aim from the model's own tip: a controller other than the reference
// whose render model has one. Otherwise they touch and aim exactly as with the reference controller.
bool aimsFromModelTip(const ControllerModel& model);

// The console line that names a controller other than the reference (no line break), "" for the
// reference: "Controller: knuckles (valve_controller_knu_1_0_right), aiming from its tip", or for a model
// without a tip "Controller: X (Y) has no tip in its model; touching and aiming as with a Vive controller".
std::string describeController(const ControllerModel& model);

// A pose or tip as the runtime gives it, as a transform.
Transform34 toTransform(const vr::HmdMatrix34_t& matrix);
