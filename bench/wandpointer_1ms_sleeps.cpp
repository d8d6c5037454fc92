// wandpointer with the frame pacing of earlier versions, for the live benchmarks' comparison: no sleep to
// the tick the frame is due, only the 1 ms sleeps until the tick says the 5 ms have passed. Everything
// else is the program itself, command line included.
#include "os/os.h"
#include "pointer/pointer_program.h"

int main(int argc, char** argv) {
    platform::prepareProcess();
    PointerIo io;
    io.sleep_until = [](uint32_t) {};
    return static_cast<int>(runPointer(readCommandLine(argc, argv, kPointerHelp), io));
}
