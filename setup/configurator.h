// The whole configurator run: VR start-up, controller selection, one calibration per monitor from left
// to right, the handedness question and "default.config".
#pragma once

#include "cli/command_line.h"
#include "desktop/desktop_layout.h"
#include "vr/controller_frame.h"

#include <istream>
#include <string>

// Reports on standard error that the file at `path` could not be written, and why; returns the exit status.
ExitStatus reportWriteFailure(const std::string& path, const std::string& reason);

// Runs the dialogue with answers from `in`, writes the file at `path` (with the recommended settings when
// `recommended`) and returns the exit status.
ExitStatus runConfigurator(std::istream& in, const std::string& path, bool recommended = false);

// wandsetup --reanchor: reads the file at `path`, has three corners of one of its monitors touched, moves
// every monitor's corners by the motion that carries the stored corners onto the touched ones, and writes
// the file again with nothing else changed. Returns the exit status.
ExitStatus runReanchor(std::istream& in, const std::string& path);

// Everything after the layout is known: the method menu and calibration of each monitor, the handedness
// question, and the file at `path`. Returns the exit status.
ExitStatus calibrateAndWrite(std::istream& in, TrackedController& controller, const DesktopLayout& layout,
                             const std::string& path, bool recommended = false);
