// Windows: a 1 ms tick, a high-resolution timer for the frame pacing, per-monitor DPI awareness, console
// control events for shutdown, files replaced with MoveFileExW, DLLs through LoadLibraryExW.
#include "os/os.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <io.h>
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

// Replacing a file in one step (for atomic_write.cpp), and the rest that takes file names.
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

std::optional<platform::FileIdentity> platform::fileIdentity(const std::string& path) {
    // Opening for no access reads the attributes without disturbing the file; a folder needs the flag.
    const HANDLE file =
        CreateFileW(wideName(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL known = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (!known)
        return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) |
                            information.nFileIndexLow};
}

namespace {

// Only a regular file is opened: Windows has no FIFO in the file system, but a device name would wait.
std::string irregular(const std::string& path, bool& missing) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    missing = status.type() == std::filesystem::file_type::not_found;
    if (missing)
        return {};
    if (error)
        return error.message();
    return std::filesystem::is_regular_file(status) ? std::string()
                                                    : "it is " + platform::notRegularFile(status.type());
}

} // namespace

platform::FileText platform::readRegularFile(const std::string& path, uintmax_t most) {
    FileText file;
    file.failure = irregular(path, file.missing);
    if (file.missing)
        file.failure = "No such file or directory";
    if (!file.failure.empty())
        return file;
    std::FILE* in = _wfopen(wideName(path).c_str(), L"rb");
    if (!in) {
        file.failure = std::strerror(errno);
        return file;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        file.text.append(buffer, got);
        if (file.text.size() > most) {
            file.failure = "it is larger than " + std::to_string(most) + " bytes";
            break;
        }
    }
    if (file.failure.empty() && std::ferror(in))
        file.failure = std::strerror(errno);
    std::fclose(in);
    if (!file.failure.empty())
        file.text.clear();
    return file;
}

std::FILE* platform::appendToRegularFile(const std::string& path, std::string& why) {
    bool missing = false;
    why = irregular(path, missing);
    if (!why.empty())
        return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file)
        why = std::strerror(errno);
    return file;
}
