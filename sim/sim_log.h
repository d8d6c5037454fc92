// The simulated runtime's call log (WAND_SIM_LOG): one timestamped line per call, flushed at once.
#pragma once

#include <cstdint>

// Microseconds on the monotonic clock (CLOCK_MONOTONIC on Linux, the X server's event clock).
int64_t simMonotonicMicroseconds();
// True when a log file is open (opened from WAND_SIM_LOG at the first call).
bool simLogging();
// Appends "<us> " + the formatted text + "\n". Call only when simLogging() is true.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void simLog(const char* format, ...);
