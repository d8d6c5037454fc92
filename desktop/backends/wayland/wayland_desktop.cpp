// Linux/Wayland: monitors from xdg-output, the pointer and keys through the wlroots virtual pointer and
// virtual keyboard, or through KDE's fake input.
#include "desktop/backends/wayland/wayland_desktop.h"
#include "os/os.h"
#include "watchdog/watchdog.h"

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

struct WaylandOutput {
    uint32_t global = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* logical = nullptr;
    MonitorInfo rect{};
};

} // namespace

struct WaylandDesktop {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zxdg_output_manager_v1* output_manager = nullptr;
    zwlr_virtual_pointer_manager_v1* pointer_manager = nullptr;
    org_kde_kwin_fake_input* fake_input = nullptr;
    uint32_t fake_input_version = 0;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboard_manager = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    // The virtual keyboard's keymap, and its state as the keys sent so far leave it (for the modifiers).
    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* key_state = nullptr;
    std::vector<WaylandOutput> outputs;
    bool lost = false; // the compositor closed the connection, and the user has been told
};

namespace {

WaylandOutput* outputOf(WaylandDesktop& desktop, zxdg_output_v1* logical) {
    for (WaylandOutput& o : desktop.outputs) {
        if (o.logical == logical)
            return &o;
    }
    return nullptr;
}

void onLogicalPosition(void* data, zxdg_output_v1* logical, int32_t x, int32_t y) {
    if (WaylandOutput* o = outputOf(*static_cast<WaylandDesktop*>(data), logical)) {
        o->rect = {x, y, x + (o->rect.right - o->rect.left), y + (o->rect.bottom - o->rect.top)};
    }
}

void onLogicalSize(void* data, zxdg_output_v1* logical, int32_t width, int32_t height) {
    if (WaylandOutput* o = outputOf(*static_cast<WaylandDesktop*>(data), logical)) {
        o->rect.right = o->rect.left + width;
        o->rect.bottom = o->rect.top + height;
    }
}

void ignoreDone(void*, zxdg_output_v1*) {}
void ignoreText(void*, zxdg_output_v1*, const char*) {}

constexpr zxdg_output_v1_listener kLogicalListener{onLogicalPosition, onLogicalSize, ignoreDone, ignoreText,
                                                   ignoreText};

// Outputs announced before the output manager, or after it, get their logical description here.
void describeOutputs(WaylandDesktop& desktop) {
    for (WaylandOutput& o : desktop.outputs) {
        if (!o.logical && desktop.output_manager) {
            o.logical = zxdg_output_manager_v1_get_xdg_output(desktop.output_manager, o.output);
            zxdg_output_v1_add_listener(o.logical, &kLogicalListener, &desktop);
        }
    }
}

template <typename Proxy>
Proxy* bind(wl_registry* registry, uint32_t global, const wl_interface& interface, uint32_t version) {
    return static_cast<Proxy*>(wl_registry_bind(registry, global, &interface, version));
}

void onGlobal(void* data, wl_registry* registry, uint32_t global, const char* interface, uint32_t version) {
    WaylandDesktop& desktop = *static_cast<WaylandDesktop*>(data);
    const auto is = [interface](const wl_interface& known) {
        return std::strcmp(interface, known.name) == 0;
    };
    if (is(wl_output_interface)) {
        desktop.outputs.push_back(
            {global, bind<wl_output>(registry, global, wl_output_interface, 1), nullptr, {}});
        describeOutputs(desktop);
    } else if (is(wl_seat_interface) && !desktop.seat) {
        desktop.seat = bind<wl_seat>(registry, global, wl_seat_interface, 1);
    } else if (is(zxdg_output_manager_v1_interface)) {
        desktop.output_manager =
            bind<zxdg_output_manager_v1>(registry, global, zxdg_output_manager_v1_interface, 1);
        describeOutputs(desktop);
    } else if (is(zwlr_virtual_pointer_manager_v1_interface)) {
        desktop.pointer_manager = bind<zwlr_virtual_pointer_manager_v1>(
            registry, global, zwlr_virtual_pointer_manager_v1_interface, 1);
    } else if (is(zwp_virtual_keyboard_manager_v1_interface)) {
        desktop.keyboard_manager = bind<zwp_virtual_keyboard_manager_v1>(
            registry, global, zwp_virtual_keyboard_manager_v1_interface, 1);
    } else if (is(org_kde_kwin_fake_input_interface) && version >= 3) {
        // Version 3 brought absolute motion, version 4 keys.
        desktop.fake_input_version = std::min(version, 4u);
        desktop.fake_input = bind<org_kde_kwin_fake_input>(
            registry, global, org_kde_kwin_fake_input_interface, desktop.fake_input_version);
    }
}

void onGlobalRemove(void* data, wl_registry*, uint32_t global) {
    std::vector<WaylandOutput>& outputs = static_cast<WaylandDesktop*>(data)->outputs;
    const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                   [global](const WaylandOutput& o) { return o.global == global; });
    if (gone == outputs.end())
        return;
    if (gone->logical)
        zxdg_output_v1_destroy(gone->logical);
    wl_output_destroy(gone->output);
    outputs.erase(gone);
}

constexpr wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

// Acts on the events that have arrived, without waiting for more: outputs come and go while the
// pointer moves.
void takeArrivedEvents(wl_display* display) {
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return; // the connection is gone
    }
    wl_display_flush(display);
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    wl_display_dispatch_pending(display);
}

bool hasSize(const MonitorInfo& rect) {
    return rect.right > rect.left && rect.bottom > rect.top;
}

// The outputs that have a size, and the virtual screen around them.
DesktopReport outputRects(const WaylandDesktop& desktop) {
    DesktopReport report;
    for (const WaylandOutput& o : desktop.outputs) {
        if (hasSize(o.rect))
            report.monitors.push_back(o.rect);
    }
    fitVirtualScreen(report);
    return report;
}

// The rectangle around the outputs that have a size (all zero when none has). Needed every frame, so
// found without building the report.
MonitorInfo layoutBox(const WaylandDesktop& desktop) {
    std::optional<MonitorInfo> box;
    for (const WaylandOutput& o : desktop.outputs) {
        if (hasSize(o.rect))
            box = box ? around(*box, o.rect) : o.rect;
    }
    return box.value_or(MonitorInfo{});
}

// One virtual pointer for the connection's life, made when first needed: the compositor's seat has a
// pointer from then on.
zwlr_virtual_pointer_v1* virtualPointer(WaylandDesktop& desktop) {
    if (!desktop.pointer)
        desktop.pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(desktop.pointer_manager, desktop.seat);
    return desktop.pointer;
}

uint32_t now() {
    return tickCount();
}

// The keymap of the virtual keyboard, made once: the default rules and model with the US layout, whatever
// the environment says, so that the kernel's key codes that Wand sends are the keys it means.
bool makeKeymap(WaylandDesktop& desktop) {
    if (desktop.key_state)
        return true;
    if (!desktop.xkb)
        desktop.xkb = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{nullptr, nullptr, "us", nullptr, nullptr};
    if (desktop.xkb && !desktop.keymap)
        desktop.keymap = xkb_keymap_new_from_names(desktop.xkb, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (desktop.keymap)
        desktop.key_state = xkb_state_new(desktop.keymap);
    return desktop.key_state != nullptr;
}

// One virtual keyboard for the connection's life, with its keymap, made when first needed.
zwp_virtual_keyboard_v1* virtualKeyboard(WaylandDesktop& desktop) {
    if (desktop.keyboard || !desktop.keyboard_manager || !makeKeymap(desktop))
        return desktop.keyboard;
    char* text = xkb_keymap_get_as_string(desktop.keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const int fd = text ? memfd_create("wand-keymap", MFD_CLOEXEC) : -1;
    const size_t size = text ? std::strlen(text) + 1 : 0;
    if (fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size)) {
        desktop.keyboard =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(desktop.keyboard_manager, desktop.seat);
        zwp_virtual_keyboard_v1_keymap(desktop.keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(size));
    }
    if (fd >= 0)
        close(fd);
    std::free(text);
    return desktop.keyboard;
}

} // namespace

WaylandDesktop* connectWayland(const char* name) {
    wl_display* display = wl_display_connect(name);
    if (!display)
        return nullptr;
    auto* desktop = new WaylandDesktop;
    desktop->display = display;
    desktop->registry = wl_display_get_registry(display);
    wl_registry_add_listener(desktop->registry, &kRegistryListener, desktop);
    // The globals, then the outputs' logical rectangles.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (pointerKind(*desktop) == WaylandPointer::kde)
        org_kde_kwin_fake_input_authenticate(desktop->fake_input, "Wand",
                                             "turns a VR controller into the desktop's mouse");
    return desktop;
}

void disconnectWayland(WaylandDesktop* desktop) {
    for (const WaylandOutput& o : desktop->outputs) {
        if (o.logical)
            zxdg_output_v1_destroy(o.logical);
        wl_output_destroy(o.output);
    }
    if (desktop->pointer)
        zwlr_virtual_pointer_v1_destroy(desktop->pointer);
    if (desktop->pointer_manager)
        zwlr_virtual_pointer_manager_v1_destroy(desktop->pointer_manager);
    if (desktop->keyboard)
        zwp_virtual_keyboard_v1_destroy(desktop->keyboard);
    if (desktop->keyboard_manager)
        zwp_virtual_keyboard_manager_v1_destroy(desktop->keyboard_manager);
    xkb_state_unref(desktop->key_state);
    xkb_keymap_unref(desktop->keymap);
    xkb_context_unref(desktop->xkb);
    if (desktop->fake_input)
        org_kde_kwin_fake_input_destroy(desktop->fake_input);
    if (desktop->output_manager)
        zxdg_output_manager_v1_destroy(desktop->output_manager);
    if (desktop->seat)
        wl_seat_destroy(desktop->seat);
    wl_registry_destroy(desktop->registry);
    wl_display_disconnect(desktop->display);
    delete desktop;
}

WaylandPointer pointerKind(const WaylandDesktop& desktop) {
    return desktop.pointer_manager ? WaylandPointer::wlroots
           : desktop.fake_input    ? WaylandPointer::kde
                                   : WaylandPointer::none;
}

DesktopReport waylandMonitors(WaylandDesktop& desktop) {
    // Outputs that came or went, then the logical rectangles of those that came.
    wl_display_roundtrip(desktop.display);
    wl_display_roundtrip(desktop.display);
    return outputRects(desktop);
}

bool waylandMoveTo(WaylandDesktop& desktop, int32_t x, int32_t y) {
    takeArrivedEvents(desktop.display);
    const MonitorInfo box = layoutBox(desktop);
    if (box.right <= box.left)
        return false;
    x = std::clamp(x, box.left, box.right - 1);
    y = std::clamp(y, box.top, box.bottom - 1);
    switch (pointerKind(desktop)) {
    case WaylandPointer::wlroots: {
        // The compositor scales the position by the layout's size over the extent. Aimed at the pixel's
        // centre over twice the size, every pixel is hit exactly; at its left edge over the size, the
        // scaled value can fall just short and land one pixel to the left, on another output.
        const auto twice = [](int32_t offset) { return static_cast<uint32_t>(offset) * 2u; };
        zwlr_virtual_pointer_v1_motion_absolute(virtualPointer(desktop), now(), twice(x - box.left) + 1,
                                                twice(y - box.top) + 1, twice(box.right - box.left),
                                                twice(box.bottom - box.top));
        zwlr_virtual_pointer_v1_frame(desktop.pointer);
        break;
    }
    case WaylandPointer::kde:
        // KWin takes global logical coordinates; a whole number is the pixel itself.
        org_kde_kwin_fake_input_pointer_motion_absolute(desktop.fake_input, wl_fixed_from_int(x),
                                                        wl_fixed_from_int(y));
        break;
    case WaylandPointer::none:
        return false;
    }
    wl_display_flush(desktop.display);
    return true;
}

void waylandButton(WaylandDesktop& desktop, MouseButton button, bool press) {
    const uint32_t code = button == MouseButton::left    ? BTN_LEFT
                          : button == MouseButton::right ? BTN_RIGHT
                                                         : BTN_MIDDLE;
    const uint32_t state = press ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
    if (pointerKind(desktop) == WaylandPointer::wlroots) {
        zwlr_virtual_pointer_v1_button(virtualPointer(desktop), now(), code, state);
        zwlr_virtual_pointer_v1_frame(desktop.pointer);
    } else if (desktop.fake_input) {
        org_kde_kwin_fake_input_button(desktop.fake_input, code, state);
    }
    watchdog::tell(watchdog::InputKind::button, code, press);
}

// Wayland's vertical axis grows downward, Windows' wheel upward: a notch away from the user is a step of
// -1 and, as a mouse wheel reports it, -15 in value.
void waylandWheel(WaylandDesktop& desktop, int32_t notches) {
    const wl_fixed_t value = wl_fixed_from_int(-15 * notches);
    if (pointerKind(desktop) == WaylandPointer::wlroots) {
        zwlr_virtual_pointer_v1_axis_source(virtualPointer(desktop), WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(desktop.pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL, value,
                                              -notches);
        zwlr_virtual_pointer_v1_frame(desktop.pointer);
    } else if (desktop.fake_input) {
        org_kde_kwin_fake_input_axis(desktop.fake_input, WL_POINTER_AXIS_VERTICAL_SCROLL, value);
    }
}

void waylandKey(WaylandDesktop& desktop, Key key, bool press) {
    const uint32_t code = evdevCodeOf(key);
    const uint32_t state = press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED;
    if (pointerKind(desktop) == WaylandPointer::wlroots) {
        zwp_virtual_keyboard_v1* keyboard = virtualKeyboard(desktop);
        if (!keyboard)
            return;
        zwp_virtual_keyboard_v1_key(keyboard, now(), code, state);
        // The modifiers as the keys sent so far leave them (xkb numbers keys 8 above the kernel).
        xkb_state* s = desktop.key_state;
        xkb_state_update_key(s, code + 8, press ? XKB_KEY_DOWN : XKB_KEY_UP);
        zwp_virtual_keyboard_v1_modifiers(keyboard, xkb_state_serialize_mods(s, XKB_STATE_MODS_DEPRESSED),
                                          xkb_state_serialize_mods(s, XKB_STATE_MODS_LATCHED),
                                          xkb_state_serialize_mods(s, XKB_STATE_MODS_LOCKED),
                                          xkb_state_serialize_layout(s, XKB_STATE_LAYOUT_EFFECTIVE));
    } else if (desktop.fake_input && desktop.fake_input_version >= 4) {
        org_kde_kwin_fake_input_keyboard_key(desktop.fake_input, code, state);
    }
    watchdog::tell(watchdog::InputKind::key, code, press);
}

std::string waylandKeyProblem(WaylandDesktop& desktop) {
    switch (pointerKind(desktop)) {
    case WaylandPointer::wlroots:
        if (!desktop.keyboard_manager)
            return "this Wayland desktop offers no zwp_virtual_keyboard_manager_v1, through which Wand sends "
                   "keys";
        // Made now, at start-up, so that the desktop knows the keyboard before its first key.
        if (!virtualKeyboard(desktop))
            return "no keyboard map could be made for the virtual keyboard (is xkb-data installed?)";
        wl_display_flush(desktop.display);
        return {};
    case WaylandPointer::kde:
        return desktop.fake_input_version >= 4
                   ? ""
                   : "this KWin's org_kde_kwin_fake_input (version 3) takes no keys";
    case WaylandPointer::none:
        break;
    }
    return "this Wayland desktop takes no input from Wand";
}

void waylandFinish(WaylandDesktop& desktop, bool wait) {
    if (wait)
        wl_display_roundtrip(desktop.display);
    else
        wl_display_flush(desktop.display);
}

bool waylandLost(WaylandDesktop& desktop) {
    if (desktop.lost)
        return true;
    // A closed connection shows as the end of the socket once it is read, or as a write that fails.
    takeArrivedEvents(desktop.display);
    if (wl_display_get_error(desktop.display) == 0 &&
        (wl_display_flush(desktop.display) >= 0 || errno == EAGAIN))
        return false;
    desktop.lost = true;
    print("\nWayland: the desktop went away (the compositor closed the connection), and with it every button "
          "and key Wand held. Start wandpointer again to go on.\n");
    return true;
}

namespace {

WaylandDesktop* session = nullptr;

constexpr DesktopOps kWaylandOps{
    .monitors = [] { return waylandMonitors(*session); },
    .move_to = [](int32_t x, int32_t y) { return waylandMoveTo(*session, x, y); },
    .button = [](MouseButton button, bool press) { waylandButton(*session, button, press); },
    .wheel = [](int32_t notches) { waylandWheel(*session, notches); },
    .key = [](Key key, bool press) { waylandKey(*session, key, press); },
    .key_problem = [](Key) { return waylandKeyProblem(*session); },
    .finish = [](bool wait) { waylandFinish(*session, wait); },
    .lost = [] { return waylandLost(*session); },
};

} // namespace

const DesktopOps* openWaylandDesktop(std::string& refusal) {
    WaylandDesktop* desktop = connectWayland(nullptr);
    if (!desktop) {
        refusal =
            "Cannot connect to the Wayland desktop \"" + std::string(std::getenv("WAYLAND_DISPLAY")) + "\"";
        return nullptr;
    }
    if (pointerKind(*desktop) == WaylandPointer::none) {
        refusal =
            "This Wayland desktop offers neither zwlr_virtual_pointer_manager_v1 (sway, Hyprland, river) "
            "nor org_kde_kwin_fake_input (KDE Plasma 5.27 and later)";
        disconnectWayland(desktop);
        return nullptr;
    }
    session = desktop;
    watchdog::tellDesktop(watchdog::Desktop::wayland);
    return &kWaylandOps;
}

} // namespace platform
