// Windows: a 1 ms tick, a high-resolution timer for the frame pacing, per-monitor DPI awareness, monitors
// from EnumDisplayMonitors, the cursor through SetCursorPos, buttons, wheel and keys through SendInput,
// console control events for shutdown, DLLs through LoadLibraryExW.
#include "platform/held_input.h"
#include "platform/platform.h"
#include "watchdog/watchdog.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <iterator>
#include <string>

namespace platform {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

LONGLONG counterFrequency() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

unsigned long long counterMs(LONGLONG counter) {
    const LONGLONG frequency = counterFrequency();
    return static_cast<unsigned long long>(counter / frequency) * 1000ull +
           static_cast<unsigned long long>(counter % frequency * 1000 / frequency);
}

} // namespace

// GetTickCount and Sleep(1) move in steps of about 16 ms by default, which caps a 5 ms frame loop near
// 64 frames per second. The performance counter gives a true millisecond tick; it wraps like
// GetTickCount when truncated to 32 bits.
uint32_t tickCount() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(counterMs(now.QuadPart));
}

namespace {

// Set by the console handler, so that a sleep in progress ends at once on a request to stop.
HANDLE shutdown_event = nullptr;

} // namespace

void sleepMs(uint32_t ms) {
    if (shutdown_event)
        WaitForSingleObject(shutdown_event, ms);
    else
        Sleep(ms);
}

void sleepUntil(uint32_t deadline) {
    // A high-resolution waitable timer wakes within a fraction of a millisecond (Windows 10 1803 and
    // later). Where there is none, nothing is slept here and the caller's 1 ms sleeps do the waiting.
    static const HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer)
        return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const unsigned long long now_ms = counterMs(now.QuadPart);
    const auto ahead = static_cast<int32_t>(deadline - static_cast<uint32_t>(now_ms));
    if (ahead <= 0)
        return;
    // The first counter value at which the tick reads `deadline`, and the wait up to it in 100 ns units.
    const LONGLONG frequency = counterFrequency();
    const unsigned long long due_ms = now_ms + static_cast<unsigned long long>(ahead);
    const LONGLONG due = static_cast<LONGLONG>(due_ms / 1000) * frequency +
                         (static_cast<LONGLONG>(due_ms % 1000) * frequency + 999) / 1000;
    const LONGLONG wait = ((due - now.QuadPart) * 10000000 + frequency - 1) / frequency;
    LARGE_INTEGER due_time;
    due_time.QuadPart = -wait; // negative: relative to now
    if (SetWaitableTimer(timer, &due_time, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(timer, INFINITE);
}

void pauseConsole() {
    if (!_isatty(_fileno(stdin)))
        return;
    std::fflush(stdout);
    std::system("pause");
}

namespace {

void declareDpiAwareness() {
    // Physical pixels everywhere: enumeration, the display hash and SetCursorPos agree on scaled and
    // mixed-DPI desktops. Looked up at run time so older systems without the call still start.
    using SetContext = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32)
        return;
    auto set_context = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (set_context &&
        set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) // PER_MONITOR_AWARE_V2
        return;
    using SetAware = BOOL(WINAPI*)();
    auto set_aware =
        reinterpret_cast<SetAware>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
    if (set_aware)
        set_aware();
}

} // namespace

void prepareProcess() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    declareDpiAwareness();
    timeBeginPeriod(1);
}

// A Windows console program always has the desktop of its session.
std::string openDesktop() {
    return {};
}

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

} // namespace

DesktopReport enumerateMonitors() {
    DesktopReport report;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&report.monitors));
    report.virtual_width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    report.virtual_height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return report;
}

// The Windows desktop stays for the session's life.
bool desktopLost() {
    return false;
}

bool setCursorPos(int32_t x, int32_t y) {
    return SetCursorPos(x, y) != 0;
}

// Reading the position costs no wait here: there is nothing to ask ahead.
void askCursorPos() {}

// Physical pixels, like SetCursorPos's, since the process is per-monitor DPI aware. Fails while another
// desktop has the input (a secure desktop, a locked session): then the position is not known.
std::optional<CursorPosition> cursorPos() {
    POINT at;
    if (!GetCursorPos(&at))
        return std::nullopt;
    return CursorPosition{static_cast<int32_t>(at.x), static_cast<int32_t>(at.y)};
}

namespace {

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

} // namespace

// A click is one record with the button's down and up flags, never two records; a double click is two
// such records.
namespace {

// The buttons and keys held down, counted.
HeldInput held_input;

} // namespace

void sendMouseButton(MouseButton button, ButtonAction action) {
    static constexpr DWORD kDown[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN};
    static constexpr DWORD kUp[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEUP};
    if (!countHold(held_input, button, action))
        return;
    const auto b = static_cast<size_t>(button);
    if (action != ButtonAction::click)
        watchdog::tell(watchdog::InputKind::button, static_cast<uint32_t>(b), action == ButtonAction::down);
    sendMouseRecord(action == ButtonAction::click  ? kDown[b] | kUp[b]
                    : action == ButtonAction::down ? kDown[b]
                                                   : kUp[b]);
}

void sendMouseWheel(int32_t units) {
    sendMouseRecord(MOUSEEVENTF_WHEEL, units);
}

namespace {

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

} // namespace

// With the virtual-key code and the scan code of the keyboard layout in use, so that programs that read
// either (games often read scan codes) see the key.
// A held key's release carries the scan code its press had, whatever the layout has become since.
void sendKey(Key key, bool press) {
    static WORD pressed_scan_codes[kKeyCount] = {};
    if (!countHold(held_input, key, press))
        return;
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

std::string keyProblem(Key) {
    return {};
}

namespace {

std::atomic<bool> shutdown_requested{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    shutdown_requested = true;
    SetEvent(shutdown_event);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends as soon as this handler returns: give the loop time to release what it holds.
        // The loop's own exit ends the process sooner.
        Sleep(5000);
    }
    return TRUE;
}

} // namespace

void installShutdownHandler() {
    if (!shutdown_event)
        shutdown_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool shutdownRequested() {
    return shutdown_requested;
}

} // namespace platform

// Replacing a file in one step, for the configuration writer.
namespace {

std::wstring wideName(const std::string& name) {
    // The same code page the C runtime uses for narrow file names.
    const int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string narrowName(const std::wstring& wide) {
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(length - 1));
    return narrow;
}

std::string systemMessage(DWORD code) {
    char buffer[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                          buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
        --length;
    }
    if (length == 0) {
        return "system error " + std::to_string(code);
    }
    return std::string(buffer, length);
}

} // namespace

std::string platform::replaceFile(const std::string& source, const std::string& target) {
    const std::wstring from = wideName(source);
    const std::wstring to = wideName(target);
    if (from.empty() || to.empty()) {
        return "invalid file name";
    }
    // Put the new contents on the disk before they take the old file's place.
    HANDLE file =
        CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return systemMessage(GetLastError());
    }
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD flush_error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        return systemMessage(flush_error);
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return systemMessage(GetLastError());
    }
    return {};
}

bool platform::claimProcessName(const std::string& name) {
    // The mutex lives as long as a process holds a handle to it; this one keeps its handle.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + wideName(name)).c_str());
    return !(mutex && GetLastError() == ERROR_ALREADY_EXISTS);
}

std::string platform::programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return narrowName(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string platform::userSettingsFolder(bool local) {
    const wchar_t* value = _wgetenv(local ? L"LOCALAPPDATA" : L"APPDATA");
    return value && *value ? narrowName(value) : std::string();
}

void* platform::loadLibrary(const std::string& name, std::string& why) {
    const std::wstring wide = wideName(name);
    // A path is loaded with its own folder searched for what the DLL needs; a bare name the standard way.
    const bool path = name.find_first_of("\\/") != std::string::npos;
    HMODULE library = LoadLibraryExW(wide.c_str(), nullptr, path ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (!library) {
        why = systemMessage(GetLastError());
    }
    return reinterpret_cast<void*>(library);
}

void* platform::librarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
