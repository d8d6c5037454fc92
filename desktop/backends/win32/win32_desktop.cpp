// Windows: monitors from EnumDisplayMonitors, the cursor through SetCursorPos and GetCursorPos, buttons,
// wheel and keys through SendInput, one record per call.
#include "desktop/desktop_backend.h"
#include "watchdog/watchdog.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

namespace platform {

namespace {

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto* monitors = reinterpret_cast<std::vector<MonitorInfo>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(MONITORINFOEXW);
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        monitors->push_back({static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                             static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)});
    }
    return TRUE;
}

DesktopReport win32Monitors() {
    DesktopReport report;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&report.monitors));
    report.virtual_width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    report.virtual_height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return report;
}

bool win32MoveTo(int32_t x, int32_t y) {
    return SetCursorPos(x, y) != 0;
}

// Physical pixels, like SetCursorPos's, since the process is per-monitor DPI aware. Fails while another
// desktop has the input (a secure desktop, a locked session): then the position is not known.
std::optional<CursorPosition> win32Position() {
    POINT at;
    if (!GetCursorPos(&at))
        return std::nullopt;
    return CursorPosition{static_cast<int32_t>(at.x), static_cast<int32_t>(at.y)};
}

void sendMouseRecord(DWORD flags, int32_t mouse_data = 0) {
    INPUT record{};
    record.type = INPUT_MOUSE;
    record.mi.dx = 0;
    record.mi.dy = 0;
    record.mi.mouseData = static_cast<DWORD>(mouse_data);
    record.mi.dwFlags = flags;
    record.mi.time = 0;
    record.mi.dwExtraInfo = 0;
    SendInput(1, &record, sizeof(INPUT));
}

constexpr DWORD kDown[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN};
constexpr DWORD kUp[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEUP};

void win32Button(MouseButton button, bool press) {
    const auto b = static_cast<size_t>(button);
    watchdog::tell(watchdog::InputKind::button, static_cast<uint32_t>(b), press);
    sendMouseRecord(press ? kDown[b] : kUp[b]);
}

// A click is one record with the button's down and up flags, never two records; a double click is two
// such records.
void win32Click(MouseButton button) {
    const auto b = static_cast<size_t>(button);
    sendMouseRecord(kDown[b] | kUp[b]);
}

// Windows takes the wheel in 120ths of a notch as they come.
void win32Wheel(int32_t units) {
    sendMouseRecord(MOUSEEVENTF_WHEEL, units);
}

struct VirtualKey {
    WORD code;
    bool extended; // the key sends the E0 prefix: the arrows and the block above them, media keys, ...
};

// In the order of Key.
// clang-format off
constexpr VirtualKey kVirtualKeys[] = {
    {'A', false}, {'B', false}, {'C', false}, {'D', false}, {'E', false}, {'F', false}, {'G', false},
    {'H', false}, {'I', false}, {'J', false}, {'K', false}, {'L', false}, {'M', false}, {'N', false},
    {'O', false}, {'P', false}, {'Q', false}, {'R', false}, {'S', false}, {'T', false}, {'U', false},
    {'V', false}, {'W', false}, {'X', false}, {'Y', false}, {'Z', false},
    {'0', false}, {'1', false}, {'2', false}, {'3', false}, {'4', false}, {'5', false}, {'6', false},
    {'7', false}, {'8', false}, {'9', false},
    {VK_F1, false}, {VK_F2, false}, {VK_F3, false}, {VK_F4, false}, {VK_F5, false}, {VK_F6, false},
    {VK_F7, false}, {VK_F8, false}, {VK_F9, false}, {VK_F10, false}, {VK_F11, false}, {VK_F12, false},
    {VK_ESCAPE, false}, {VK_TAB, false}, {VK_SPACE, false}, {VK_RETURN, false}, {VK_BACK, false},
    {VK_DELETE, true}, {VK_INSERT, true}, {VK_HOME, true}, {VK_END, true}, {VK_PRIOR, true}, {VK_NEXT, true},
    {VK_UP, true}, {VK_DOWN, true}, {VK_LEFT, true}, {VK_RIGHT, true}, {VK_SNAPSHOT, true},
    {VK_VOLUME_UP, true}, {VK_VOLUME_DOWN, true}, {VK_VOLUME_MUTE, true}, {VK_MEDIA_PLAY_PAUSE, true},
    {VK_MEDIA_NEXT_TRACK, true}, {VK_MEDIA_PREV_TRACK, true},
    {VK_LCONTROL, false}, {VK_LMENU, false}, {VK_LSHIFT, false}, {VK_LWIN, true},
};
// clang-format on
static_assert(std::size(kVirtualKeys) == kKeyCount);

// With the virtual-key code and the scan code of the keyboard layout in use, so that programs that read
// either (games often read scan codes) see the key. A held key's release carries the scan code its press
// had, whatever the layout has become since.
void win32Key(Key key, bool press) {
    static WORD pressed_scan_codes[kKeyCount] = {};
    const VirtualKey& vk = kVirtualKeys[static_cast<size_t>(key)];
    WORD& pressed_scan = pressed_scan_codes[static_cast<size_t>(key)];
    if (press)
        pressed_scan = static_cast<WORD>(MapVirtualKeyW(vk.code, MAPVK_VK_TO_VSC));
    INPUT record{};
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = vk.code;
    record.ki.wScan = pressed_scan;
    watchdog::tell(watchdog::InputKind::key, watchdog::packKey(vk.code, pressed_scan, vk.extended), press);
    record.ki.dwFlags = (vk.extended ? KEYEVENTF_EXTENDEDKEY : 0) | (press ? 0 : KEYEVENTF_KEYUP);
    record.ki.time = 0;
    record.ki.dwExtraInfo = 0;
    SendInput(1, &record, sizeof(INPUT));
}

constexpr DesktopOps kWin32Ops{.monitors = win32Monitors,
                               .move_to = win32MoveTo,
                               .button = win32Button,
                               .click = win32Click,
                               .wheel_units = win32Wheel,
                               .key = win32Key,
                               .position = win32Position};

} // namespace

// A Windows console program always has the desktop of its session, and it stays for the session's life.
// Reading the pointer's position costs no wait here: there is nothing to ask ahead.
const DesktopOps* openWin32Desktop(std::string&) {
    return &kWin32Ops;
}

} // namespace platform
