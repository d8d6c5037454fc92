// Stands in for the platform's monitor enumeration when the build has no platform library.
#include "platform/platform.h"

platform::DesktopReport platform::enumerateMonitors() {
    return {};
}
