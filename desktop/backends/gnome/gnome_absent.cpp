// Linux without GNOME's remote desktop: this build was made without sd-bus (libsystemd's development files).
#include "desktop/desktop_backend.h"

namespace platform {

const DesktopOps* openGnomeDesktop(std::string& refusal) {
    refusal = "this build of Wand has no GNOME support (it was built without libsystemd-dev)";
    return nullptr;
}

} // namespace platform
