// wandpointer: turns the selected VR controller into the desktop's mouse, from the calibration in
// "default.config".
#include "os/os.h"
#include "pointer/pointer_program.h"
#include "watchdog/watchdog.h"

int main(int argc, char** argv) {
    if (const std::optional<int> status = watchdog::serveIfAsked(argc, argv)) // Windows: the helper's run
        return *status;
    platform::prepareProcess();
    return static_cast<int>(runPointer(readCommandLine(argc, argv, kPointerHelp), PointerIo{}));
}
