// The whole wandpointer run, from the command line on: the configuration, the monitor layout's check,
// the runtime and the controller, then the frame loop until a request to end.
#pragma once

#include "cli/command_line.h"
#include "pointer/pointer_io.h"

extern const ProgramHelp kPointerHelp;

// Returns the exit status: the command line's own when it has one (--help, --version, a mistake), failure
// when the configuration cannot be used or the runtime does not start, success after a request to end, with
// any held button let go. The frame loop acts and waits through `io`.
ExitStatus runPointer(const CommandLine& command_line, const PointerIo& io);
