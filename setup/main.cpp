// wandsetup: calibrates the desktop's monitors in VR tracking space and writes "default.config".
#include "platform/platform.h"
#include "setup/configurator.h"

#include <iostream>

int main() {
    platform::prepareProcess();
    return runConfigurator(std::cin);
}
