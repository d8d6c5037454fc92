// The tests' observer of mouse and keyboard input under Wine, where SendInput's buttons, wheel and keys
// never reach the X server: low-level hooks in the same prefix. It prints one line per monitor ("monitor L
// T R B"), the virtual screen ("virtual X Y W H"), "ready" once hooked, then one line per event:
// "<message> <x> <y> <wheel delta> <1 if injected>", e.g. "WM_LBUTTONDOWN -960 256 0 1", and
// "key <down|up> <virtual key> <scan code> <1 if extended> <1 if injected>" in hexadecimal, e.g.
// "key down 22 51 1 1" for Page Down.
// `mousehook move X Y` is another program that moves the pointer instead: SetCursorPos, and it ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

LRESULT CALLBACK mouseProc(int code, WPARAM message, LPARAM data) {
    static const struct {
        WPARAM message;
        const char* name;
    } kNames[] = {{WM_MOUSEMOVE, "WM_MOUSEMOVE"}, {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
                  {WM_LBUTTONUP, "WM_LBUTTONUP"}, {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
                  {WM_RBUTTONUP, "WM_RBUTTONUP"}, {WM_MBUTTONDOWN, "WM_MBUTTONDOWN"},
                  {WM_MBUTTONUP, "WM_MBUTTONUP"}, {WM_MOUSEWHEEL, "WM_MOUSEWHEEL"}};
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        const char* name = "WM_OTHER";
        for (const auto& entry : kNames)
            name = entry.message == message ? entry.name : name;
        const int delta = message == WM_MOUSEWHEEL ? static_cast<short>(HIWORD(event->mouseData)) : 0;
        std::printf("%s %ld %ld %d %d\n", name, event->pt.x, event->pt.y, delta,
                    (event->flags & LLMHF_INJECTED) != 0 ? 1 : 0);
        std::fflush(stdout);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK keyboardProc(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        std::printf("key %s %lx %lx %d %d\n", (event->flags & LLKHF_UP) != 0 ? "up" : "down", event->vkCode,
                    event->scanCode, (event->flags & LLKHF_EXTENDED) != 0 ? 1 : 0,
                    (event->flags & LLKHF_INJECTED) != 0 ? 1 : 0);
        std::fflush(stdout);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

BOOL CALLBACK printMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info))
        std::printf("monitor %ld %ld %ld %ld\n", info.rcMonitor.left, info.rcMonitor.top,
                    info.rcMonitor.right, info.rcMonitor.bottom);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // The programs under test declare per-monitor DPI awareness: the same coordinates here.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (argc == 4 && std::wcscmp(argv[1], L"move") == 0)
        return SetCursorPos(_wtoi(argv[2]), _wtoi(argv[3])) ? 0 : 1;
    EnumDisplayMonitors(nullptr, nullptr, printMonitor, 0);
    std::printf("virtual %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN),
                GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                GetSystemMetrics(SM_CYVIRTUALSCREEN));
    if (SetWindowsHookExW(WH_MOUSE_LL, mouseProc, GetModuleHandleW(nullptr), 0) == nullptr ||
        SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, GetModuleHandleW(nullptr), 0) == nullptr)
        return 1;
    // Under Wine 8 a hook that sees no input for about 5 s misses events for a moment; a timer keeps the
    // message loop busy enough.
    SetTimer(nullptr, 0, 250, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
