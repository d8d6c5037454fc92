// Windows: the helper is this program started again with a hidden flag and no console (Ctrl+C and a closed
// console reach only the program), the pipe's read end inherited by its handle's number. What it lets go
// of, it lets go of through SendInput.
#include "watchdog/watchdog.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace watchdog {

namespace {

constexpr char kServeFlag[] = "--held-input-watchdog";

HANDLE write_end = nullptr;

void send(const Message& message) {
    DWORD written = 0;
    if (write_end)
        WriteFile(write_end, &message, sizeof message, &written, nullptr);
}

void sayBye() {
    send({kBye});
    CloseHandle(write_end);
    write_end = nullptr;
}

// Every held input let go, the last pressed first (a key before its modifiers).
void release(const HeldSet& set) {
    static constexpr DWORD kUpFlags[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEUP};
    for (int i = set.count - 1; i >= 0; --i) {
        const uint32_t code = set.held[i].code;
        INPUT record{};
        if (set.held[i].kind == static_cast<uint8_t>(InputKind::button)) {
            record.type = INPUT_MOUSE;
            record.mi.dwFlags = kUpFlags[code % 3];
        } else {
            record.type = INPUT_KEYBOARD;
            record.ki.wVk = static_cast<WORD>(code & 0xff);
            record.ki.wScan = static_cast<WORD>(code >> 16);
            record.ki.dwFlags = KEYEVENTF_KEYUP | ((code & 0x100) ? KEYEVENTF_EXTENDEDKEY : 0);
        }
        SendInput(1, &record, sizeof(INPUT));
    }
}

} // namespace

void start() {
    static bool started = false;
    if (started)
        return;
    started = true;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read_end, &write, &inherited, 0))
        return;
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    std::wstring command =
        L"\"" + path + L"\" --held-input-watchdog " + std::to_wstring(reinterpret_cast<uintptr_t>(read_end));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool started_helper =
        !path.empty() &&
        CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE,
                       DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process);
    CloseHandle(read_end);
    if (!started_helper) {
        CloseHandle(write);
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    write_end = write;
    std::atexit(sayBye);
}

void tell(InputKind kind, uint32_t code, bool down) {
    send({down ? kDown : kUp, static_cast<uint8_t>(kind), 0, code});
}

std::optional<int> serveIfAsked(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], kServeFlag) != 0)
        return std::nullopt;
    SetConsoleCtrlHandler(nullptr, TRUE);
    const auto read_end =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 10)));
    HeldSet set;
    Message message;
    DWORD got = 0;
    while (ReadFile(read_end, &message, sizeof message, &got, nullptr) && got == sizeof message)
        apply(set, message);
    if (!set.bye)
        release(set);
    return 0;
}

} // namespace watchdog
