// Linux/Wayland: the helper's own connection to the compositor, made only when something is left to let
// go of. Buttons go up through a virtual pointer of its own (wlroots) or KWin's fake input; keys through
// fake input on KWin, while a wlroots compositor has already let go of the dead program's keys.
#include "watchdog/watchdog.h"

#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace watchdog {

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointer_manager = nullptr;
    org_kde_kwin_fake_input* fake_input = nullptr;
    uint32_t fake_input_version = 0;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    Globals& globals = *static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals.seat) {
        globals.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals.pointer_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3) {
        globals.fake_input_version = std::min(version, 4u);
        globals.fake_input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, globals.fake_input_version));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

} // namespace

void releaseOnWayland(const HeldSet& set) {
    wl_display* const display = wl_display_connect(nullptr);
    if (!display)
        return;
    Globals globals;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.pointer_manager && globals.seat) {
        zwlr_virtual_pointer_v1* const pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointer_manager, globals.seat);
        for (int i = set.count - 1; i >= 0; --i) {
            if (set.held[i].kind == static_cast<uint8_t>(InputKind::button))
                zwlr_virtual_pointer_v1_button(pointer, 0, set.held[i].code,
                                               WL_POINTER_BUTTON_STATE_RELEASED);
        }
        zwlr_virtual_pointer_v1_frame(pointer);
    } else if (globals.fake_input) {
        org_kde_kwin_fake_input_authenticate(globals.fake_input, "Wand", "lets go of what Wand held");
        for (int i = set.count - 1; i >= 0; --i) {
            const Message& m = set.held[i];
            if (m.kind == static_cast<uint8_t>(InputKind::button))
                org_kde_kwin_fake_input_button(globals.fake_input, m.code, WL_POINTER_BUTTON_STATE_RELEASED);
            else if (globals.fake_input_version >= 4)
                org_kde_kwin_fake_input_keyboard_key(globals.fake_input, m.code,
                                                     WL_KEYBOARD_KEY_STATE_RELEASED);
        }
    }
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
}

} // namespace watchdog
