// The keys' codes on Linux: X's keysyms (X11, GNOME) and the kernel's evdev codes (Wayland, with a US
// keymap), in the order of Key.
#include "desktop/desktop_backend.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <iterator>

namespace platform {

namespace {

struct KeyCodes {
    uint32_t keysym;
    uint16_t evdev;
};

// In the order of Key.
// clang-format off
constexpr KeyCodes kKeyCodes[] = {
    {XK_a, KEY_A}, {XK_b, KEY_B}, {XK_c, KEY_C}, {XK_d, KEY_D}, {XK_e, KEY_E}, {XK_f, KEY_F}, {XK_g, KEY_G},
    {XK_h, KEY_H}, {XK_i, KEY_I}, {XK_j, KEY_J}, {XK_k, KEY_K}, {XK_l, KEY_L}, {XK_m, KEY_M}, {XK_n, KEY_N},
    {XK_o, KEY_O}, {XK_p, KEY_P}, {XK_q, KEY_Q}, {XK_r, KEY_R}, {XK_s, KEY_S}, {XK_t, KEY_T}, {XK_u, KEY_U},
    {XK_v, KEY_V}, {XK_w, KEY_W}, {XK_x, KEY_X}, {XK_y, KEY_Y}, {XK_z, KEY_Z},
    {XK_0, KEY_0}, {XK_1, KEY_1}, {XK_2, KEY_2}, {XK_3, KEY_3}, {XK_4, KEY_4}, {XK_5, KEY_5}, {XK_6, KEY_6},
    {XK_7, KEY_7}, {XK_8, KEY_8}, {XK_9, KEY_9},
    {XK_F1, KEY_F1}, {XK_F2, KEY_F2}, {XK_F3, KEY_F3}, {XK_F4, KEY_F4}, {XK_F5, KEY_F5}, {XK_F6, KEY_F6},
    {XK_F7, KEY_F7}, {XK_F8, KEY_F8}, {XK_F9, KEY_F9}, {XK_F10, KEY_F10}, {XK_F11, KEY_F11}, {XK_F12, KEY_F12},
    {XK_Escape, KEY_ESC}, {XK_Tab, KEY_TAB}, {XK_space, KEY_SPACE}, {XK_Return, KEY_ENTER},
    {XK_BackSpace, KEY_BACKSPACE}, {XK_Delete, KEY_DELETE}, {XK_Insert, KEY_INSERT}, {XK_Home, KEY_HOME},
    {XK_End, KEY_END}, {XK_Page_Up, KEY_PAGEUP}, {XK_Page_Down, KEY_PAGEDOWN}, {XK_Up, KEY_UP},
    {XK_Down, KEY_DOWN}, {XK_Left, KEY_LEFT}, {XK_Right, KEY_RIGHT}, {XK_Print, KEY_SYSRQ},
    {XF86XK_AudioRaiseVolume, KEY_VOLUMEUP}, {XF86XK_AudioLowerVolume, KEY_VOLUMEDOWN},
    {XF86XK_AudioMute, KEY_MUTE}, {XF86XK_AudioPlay, KEY_PLAYPAUSE}, {XF86XK_AudioNext, KEY_NEXTSONG},
    {XF86XK_AudioPrev, KEY_PREVIOUSSONG},
    {XK_Control_L, KEY_LEFTCTRL}, {XK_Alt_L, KEY_LEFTALT}, {XK_Shift_L, KEY_LEFTSHIFT}, {XK_Super_L, KEY_LEFTMETA},
};
// clang-format on
static_assert(std::size(kKeyCodes) == kKeyCount);

} // namespace

uint32_t keysymOf(Key key) {
    return kKeyCodes[static_cast<size_t>(key)].keysym;
}

uint32_t evdevCodeOf(Key key) {
    return kKeyCodes[static_cast<size_t>(key)].evdev;
}

} // namespace platform
