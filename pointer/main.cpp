// wandpointer: turns the selected VR controller into the desktop's mouse, from the calibration in
// "default.config".
#include "os/os.h"
#include "pointer/pointer_program.h"

int main(int argc, char** argv) {
    platform::prepareProcess();
    return static_cast<int>(runPointer(readCommandLine(argc, argv, kPointerHelp), PointerIo{}));
}
