// Linux without Wayland: this build was made without the Wayland development files.
#include "desktop/desktop_backend.h"

namespace platform {

const DesktopOps* openWaylandDesktop(std::string& refusal) {
    refusal = "This build of Wand has no Wayland support (it was built without libwayland-dev)";
    return nullptr;
}

} // namespace platform
