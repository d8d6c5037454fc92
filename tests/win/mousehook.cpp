// Observer for the end-to-end tests: logs every mouse event that reaches the desktop's input queue, as a
// low-level mouse hook sees it. Under Wine, SendInput's buttons and wheel stay inside Wine and never reach
// the X server, so this hook, running in the same prefix, is where a test can see them.
//
// Output on standard output, one line per event, flushed at once:
//   monitor <left> <top> <right> <bottom>   first, one line per monitor as Windows reports it
//   virtual <x> <y> <width> <height>        the virtual screen
//   ready                                   once, when the hook is installed
//   <message> <x> <y> <wheel> <injected>    e.g. "WM_LBUTTONDOWN -640 512 0 1"
// <x> <y> is the event's point in virtual-desktop pixels, <wheel> the signed wheel delta (0 for other
// messages) and <injected> 1 when the event came from SendInput or mouse_event. The program runs until
// it is ended from outside, or until standard input reaches its end when started with "--until-eof".
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

const char* messageName(WPARAM message) {
    switch (message) {
    case WM_MOUSEMOVE:
        return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN:
        return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP:
        return "WM_LBUTTONUP";
    case WM_RBUTTONDOWN:
        return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP:
        return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN:
        return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP:
        return "WM_MBUTTONUP";
    case WM_MOUSEWHEEL:
        return "WM_MOUSEWHEEL";
    case WM_MOUSEHWHEEL:
        return "WM_MOUSEHWHEEL";
    case WM_XBUTTONDOWN:
        return "WM_XBUTTONDOWN";
    case WM_XBUTTONUP:
        return "WM_XBUTTONUP";
    default:
        return nullptr;
    }
}

LRESULT CALLBACK mouseProc(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        const bool wheel = message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL;
        const int delta = wheel ? static_cast<int>(static_cast<short>(HIWORD(event->mouseData))) : 0;
        const int injected = (event->flags & LLMHF_INJECTED) != 0 ? 1 : 0;
        if (const char* name = messageName(message))
            std::printf("%s %ld %ld %d %d\n", name, event->pt.x, event->pt.y, delta, injected);
        else
            std::printf("WM_0x%04x %ld %ld %d %d\n", static_cast<unsigned>(message), event->pt.x, event->pt.y,
                        delta, injected);
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

// Ends the message loop when standard input closes, so a test can stop the observer by closing a pipe.
DWORD WINAPI watchInput(void* main_thread) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
    }
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(main_thread)), WM_QUIT, 0, 0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // The same coordinates as the programs under test, which declare per-monitor DPI awareness.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // Wine reports one 1024x768 monitor when it cannot reach the display: tests check the layout first.
    EnumDisplayMonitors(nullptr, nullptr, printMonitor, 0);
    std::printf("virtual %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN),
                GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                GetSystemMetrics(SM_CYVIRTUALSCREEN));
    HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, mouseProc, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        std::printf("error SetWindowsHookExW %lu\n", GetLastError());
        std::fflush(stdout);
        return 1;
    }
    // Make sure the thread has a message queue before anyone posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (argc > 1 && std::wcscmp(argv[1], L"--until-eof") == 0) {
        const DWORD main_thread = GetCurrentThreadId();
        HANDLE watcher = CreateThread(
            nullptr, 0, watchInput, reinterpret_cast<void*>(static_cast<UINT_PTR>(main_thread)), 0, nullptr);
        if (watcher != nullptr)
            CloseHandle(watcher);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    UnhookWindowsHookEx(hook);
    return 0;
}
