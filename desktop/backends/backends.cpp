// The desktop backends this platform builds, in order of preference, and the choice among them. Under
// Wayland the compositor's own virtual pointer, or GNOME's remote desktop, comes first, because X input
// through Xwayland reaches only X programs; otherwise the X server. Only the programs that open a desktop
// link this library, and with it the backends' own libraries (X11, Wayland, sd-bus).
#include "desktop/desktop_backend.h"
#include "os/os.h"

#include <cstdlib>
#include <string>

namespace platform {

namespace {

#ifdef _WIN32
constexpr DesktopBackend kBackends[] = {{.open = openWin32Desktop}};
#else
constexpr DesktopBackend kBackends[] = {{.wayland_only = true, .open = openWaylandDesktop},
                                        {.wayland_only = true, .open = openGnomeDesktop},
                                        {.open = openX11Desktop}};
#endif

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The first backend that opens. When the Wayland ones all refuse in a Wayland session, their reasons are
// printed and the next one is used through Xwayland.
const DesktopOps* chooseDesktop() {
    const bool wayland = !environment("WAYLAND_DISPLAY").empty();
    std::string refusals;
    for (const DesktopBackend& backend : kBackends) {
        if (backend.wayland_only && !wayland)
            continue;
        if (!backend.wayland_only && !refusals.empty())
            print("\n%s: Wand has no way to move the pointer under Wayland.\n", refusals.c_str());
        std::string refusal;
        const DesktopOps* ops = backend.open(refusal);
        if (ops && !backend.wayland_only && !refusals.empty())
            print("Using X11 through Xwayland instead: only X programs will see the pointer.\n");
        if (ops)
            return ops;
        if (backend.wayland_only)
            refusals += (refusals.empty() ? "" : ", and ") + refusal;
        else
            refusals.clear();
    }
    return nullptr;
}

} // namespace

std::string openDesktop() {
    static const DesktopOps* const chosen = chooseDesktop();
    useDesktop(chosen);
    if (chosen)
        return {};
    const std::string wayland = environment("WAYLAND_DISPLAY");
    const std::string x11 = environment("DISPLAY");
    const std::string lead = "No desktop to work on: ";
    if (wayland.empty() && x11.empty())
        return lead + "neither WAYLAND_DISPLAY nor DISPLAY is set.";
    if (wayland.empty())
        return lead + "the X display \"" + x11 + "\" cannot be opened.";
    if (x11.empty())
        return lead + "the Wayland desktop \"" + wayland + "\" cannot be used, and DISPLAY is not set.";
    return lead + "neither the Wayland desktop \"" + wayland + "\" nor the X display \"" + x11 +
           "\" can be used.";
}

} // namespace platform
