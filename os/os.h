// What Wand needs from the operating system, as free functions: the clock and sleeps, the console and the
// log, shutdown requests, files, shared libraries and the user's folders. Linux: os_posix.cpp; Windows:
// os_win32.cpp; output.cpp and atomic_write.cpp for both. The desktop (monitors, pointer, buttons, keys) is
// desktop/desktop.h's, in the same namespace: together they are the platform the programs run on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#if defined(__GNUC__)
#define WAND_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define WAND_PRINTF_FORMAT
#endif

namespace platform {

// Milliseconds with GetTickCount's semantics: unsigned 32 bits, wrapping; only differences matter.
uint32_t tickCount();
// Sleeps `ms` milliseconds, or less when a request to stop arrives (once the handler below is installed).
void sleepMs(uint32_t ms);
// Sleeps until tickCount() reaches `deadline` (compared by wrapping difference; a deadline already
// passed returns at once), in one wake-up where the system has a precise timer. It may return early: on
// a signal, or on Windows without a high-resolution timer, where it does not sleep at all. Callers check
// the tick afterwards.
void sleepUntil(uint32_t deadline);

// The console's "pause": waits for Enter (a key on Windows) only when standard input is interactive, so
// scripts and tests never block.
void pauseConsole();

// The programs' messages, printf-style: to standard output (print) or standard error (printError),
// flushed at once, and each line that is not empty also to the log file, after a time stamp, when one is
// open.
void print(const char* format, ...) WAND_PRINTF_FORMAT;
void printError(const char* format, ...) WAND_PRINTF_FORMAT;
// Opens `path` for appending, its folders created, as the log file of every message from now on. Only a
// regular file (or none yet) is taken, and opening never waits (a FIFO without a reader is refused). Returns
// an empty string on success, else the reason.
std::string openLogFile(const std::string& path);

// Called first thing by both programs, before the command line is read: standard input, output and error
// that are closed are opened on the null device, so that no file or connection opened later takes their
// place; a write to a closed pipe fails instead of ending the process; console output is unbuffered. On
// Windows also per-monitor DPI awareness and a 1 ms timer resolution.
void prepareProcess();

// Requests to end the process: Ctrl+C, Ctrl+Break and closing the console on Windows; on Linux every
// signal that would end the process and can be caught (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, the
// real-time signals...). The handler only records the request, and a sleep it interrupts ends early.
// Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT...) keep their default.
void installShutdownHandler();
bool shutdownRequested();

// Claims `name` among the user's running processes for as long as this one runs (Linux: an abstract
// socket; Windows: a named mutex). False when another process holds it.
bool claimProcessName(const std::string& name);

// What tells a file from every other for as long as it exists, however its path is spelled (relative,
// through symbolic links or "..", by another hard link): Linux its device and inode, Windows its volume's
// serial number and its file index.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file that `path` leads to, or nothing when there is none.
std::optional<FileIdentity> fileIdentity(const std::string& path);

// A whole file as readRegularFile read it: its text, or why there is none (`missing`: nothing at the path).
struct FileText {
    std::string text;
    bool missing = false;
    std::string failure; // empty when the text was read
};
// Reads the regular file at `path`, at most `most` bytes, never waiting on opening it: a FIFO, a device, a
// folder or a larger file is refused ("it is a FIFO, not a regular file", "it is larger than N bytes").
FileText readRegularFile(const std::string& path, uintmax_t most);

// `path` opened for appending when it is a regular file or nothing yet, without waiting on opening it;
// null with the reason in `why` otherwise. The C runtime's text mode.
std::FILE* appendToRegularFile(const std::string& path, std::string& why);

// The running program's own file, as an absolute path.
std::string programPath();
// The folder of the user's settings: Linux $XDG_CONFIG_HOME, else ~/.config; Windows %APPDATA%, or with
// `local` %LOCALAPPDATA% (Linux: the same folder). Empty when the environment names none.
std::string userSettingsFolder(bool local = false);

// A shared library by path, or by bare file name searched the system's way (Linux: the dynamic loader's
// folders; Windows: the standard search), loaded for the rest of the process. Null when it cannot be
// loaded, with the system's reason in `why`.
void* loadLibrary(const std::string& name, std::string& why);
// A function exported by a loaded library under `name`, or null.
void* librarySymbol(void* library, const char* name);

// Writes `text` as a text stream (CR LF line ends on Windows) into a temporary file beside `path` and
// then replaces `path` with it in one step, keeping its permission bits. A symbolic link stays: the file it
// leads to is replaced. Returns an empty string on success; otherwise a reason for the user, and `path` is
// left exactly as it was. Only a regular file that may be written is replaced (not a folder, a device, a
// FIFO, or a read-only file).
std::string writeFileAtomically(const std::string& text, const std::string& path);
// Whether writeFileAtomically can write `path` now, found out as it would: its temporary file is created
// and removed. Returns an empty string, or the reason writeFileAtomically would give.
std::string checkFileWritable(const std::string& path);

// "a FIFO, not a regular file": what a file system entry of that type is, for a message that refuses it.
std::string notRegularFile(std::filesystem::file_type type);

// Replaces `target` by `source` in one step (both in the same folder), the new contents on the disk first.
// On failure `target` is untouched, `source` is left for the caller to remove, and the reason is returned;
// an empty string means success.
std::string replaceFile(const std::string& source, const std::string& target);

} // namespace platform
