// A build without the Wayland backend never tells the helper of a Wayland desktop.
#include "watchdog/watchdog.h"

namespace watchdog {

void releaseOnWayland(const HeldSet&) {}

} // namespace watchdog
