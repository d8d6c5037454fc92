// The configurator's console dialogue: answers read as whitespace-delimited tokens, the per-monitor
// method menu, the handedness question, and the questions of re-anchoring.
#pragma once

#include "geometry/geometry.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

// Reads one token and returns the integer at its beginning (optional sign, decimal digits; whatever
// follows is ignored). A token that does not begin with a number, or whose number does not fit 32 bits,
// answers 0. Nothing when the input ends before a token. Whatever follows the token stays in `in`.
std::optional<int> readChoice(std::istream& in);

// The English ordinal of a position counted from 1: "1st", "2nd", "3rd", "4th", ..., "11th", "21st".
std::string ordinalText(int position);

inline constexpr int kMethodTouch = 1;
inline constexpr int kMethodPointing = 2;

// Shows the header and the method menu for monitor `index` (from 0) of `count` until the answer is 1 or
// 2, and returns it; nothing when the input ended.
std::optional<int> askCalibrationMethod(std::istream& in, int index, int count, const MonitorInfo& monitor);

inline constexpr int kKeepCalibration = 1;
inline constexpr int kCalibrateAgain = 2;

// Asks whether to keep a calibration that warned until the answer is 1 or 2, and returns it; nothing when
// the input ended.
std::optional<int> askCalibrateAgain(std::istream& in);

inline constexpr int kRightHanded = 1;
inline constexpr int kLeftHanded = 2;

// Asks for the handedness until the answer is 1 or 2, and returns it; nothing when the input ended.
std::optional<int> askHandedness(std::istream& in);

// Lists the calibrated monitors, numbered from 1, and asks which one to touch until the answer is one of
// them; returns it. Nothing when the input ended.
std::optional<int> askMonitor(std::istream& in, const std::vector<MonitorInfo>& monitors);

// Asks whether to keep a re-anchoring that warned (kKeepCalibration) or to touch the corners again (2);
// nothing when the input ended.
std::optional<int> askTouchAgain(std::istream& in);
