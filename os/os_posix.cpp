// Linux: time from CLOCK_MONOTONIC, console and signals through POSIX, files replaced with rename, shared
// libraries through dlopen.
#include "os/os.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

uint64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

} // namespace

uint32_t tickCount() {
    return static_cast<uint32_t>(monotonicMs());
}

void sleepUntil(uint32_t deadline) {
    const uint64_t now = monotonicMs();
    const auto ahead = static_cast<int32_t>(deadline - static_cast<uint32_t>(now));
    if (ahead <= 0)
        return;
    // The tick reads `deadline` from the first nanosecond of that millisecond on: wake up right then,
    // on the same clock, so that no drift between sleep and tick can add a second wake-up.
    const uint64_t due = now + static_cast<uint64_t>(ahead);
    const timespec at{static_cast<time_t>(due / 1000u), static_cast<long>(due % 1000u) * 1000000L};
    // A signal ends the sleep early, as in sleepMs.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

void sleepMs(uint32_t ms) {
    timespec rest{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    // A signal ends the sleep early; the caller's loop looks at the shutdown flag next.
    nanosleep(&rest, nullptr);
}

void pauseConsole() {
    if (!isatty(STDIN_FILENO))
        return;
    std::printf("Press Enter to continue . . . ");
    std::fflush(stdout);
    int c;
    do {
        c = std::getchar();
    } while (c != '\n' && c != EOF);
}

namespace {

volatile std::sig_atomic_t shutdown_requested = 0;

extern "C" void onShutdownSignal(int) {
    shutdown_requested = 1;
}

} // namespace

void prepareProcess() {
    // A closed descriptor would go to the next file opened, the X connection's socket among them.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", O_RDWR); // the lowest free descriptor: this one
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

void installShutdownHandler() {
    struct sigaction action {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep in progress ends at once
    // Every signal whose default ends the process and that comes from outside it.
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGIO,
                       SIGXCPU, SIGXFSZ, SIGPWR, SIGSTKFLT})
        sigaction(signal, &action, nullptr);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        sigaction(signal, &action, nullptr);
}

bool shutdownRequested() {
    return shutdown_requested != 0;
}

bool claimProcessName(const std::string& name) {
    // An abstract socket's name is freed with the process, however it ends; the namespace is the
    // machine's, so the user's id goes into the name.
    const int socket_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_fd < 0)
        return true; // nothing to claim with: never stand in the way
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string abstract = "wand/" + std::to_string(getuid()) + "/" + name;
    const size_t length = std::min(abstract.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, abstract.data(), length);
    if (bind(socket_fd, reinterpret_cast<const sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length)) != 0) {
        const bool taken = errno == EADDRINUSE;
        close(socket_fd);
        return !taken;
    }
    return true; // the socket stays open for the rest of the process
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

namespace {

std::filesystem::file_type typeOf(mode_t mode) {
    using std::filesystem::file_type;
    return S_ISDIR(mode)    ? file_type::directory
           : S_ISFIFO(mode) ? file_type::fifo
           : S_ISCHR(mode)  ? file_type::character
           : S_ISBLK(mode)  ? file_type::block
           : S_ISSOCK(mode) ? file_type::socket
                            : file_type::unknown;
}

// `path` opened with `flags` and O_NONBLOCK, so that a FIFO or a device never keeps the open waiting, and
// kept only when it is a regular file; then blocking again. -1 with the reason in `why` otherwise.
int openRegular(const std::string& path, int flags, std::string& why, bool& missing) {
    const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat status {};
    if (fd < 0) {
        missing = errno == ENOENT;
        why = std::strerror(errno);
        // A FIFO without a reader refuses a writer that would not wait: say what it is.
        if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            why = "it is " + notRegularFile(typeOf(status.st_mode));
        return -1;
    }
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        why = "it is " + notRegularFile(typeOf(status.st_mode));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

FileText readRegularFile(const std::string& path, uintmax_t most) {
    FileText file;
    const int fd = openRegular(path, O_RDONLY, file.failure, file.missing);
    if (fd < 0)
        return file;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.failure = std::strerror(errno);
            break;
        }
        if (got == 0)
            break;
        file.text.append(buffer, static_cast<size_t>(got));
        if (file.text.size() > most) {
            file.failure = "it is larger than " + std::to_string(most) + " bytes";
            break;
        }
    }
    close(fd);
    if (!file.failure.empty())
        file.text.clear();
    return file;
}

std::FILE* appendToRegularFile(const std::string& path, std::string& why) {
    bool missing = false;
    const int fd = openRegular(path, O_WRONLY | O_APPEND | O_CREAT, why, missing);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "a");
    if (!file) {
        why = std::strerror(errno);
        close(fd);
    }
    return file;
}

std::string programPath() {
    char path[PATH_MAX + 1] = {};
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::string userSettingsFolder(bool) {
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    if (config_home && *config_home == '/')
        return config_home;
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.config" : std::string();
}

void* loadLibrary(const std::string& name, std::string& why) {
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = dlerror();
        why = error ? error : "cannot be loaded";
    }
    return library;
}

void* librarySymbol(void* library, const char* name) {
    return dlsym(library, name);
}

} // namespace platform

// Replacing a file in one step, for atomic_write.cpp.
std::string platform::replaceFile(const std::string& source, const std::string& target) {
    // Put the new contents on the disk before they take the old file's place.
    const int file = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::strerror(errno);
    }
    if (fsync(file) != 0) {
        const int error = errno;
        close(file);
        return std::strerror(error);
    }
    close(file);
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        return std::strerror(errno);
    }
    // Make the new directory entry durable too; some file systems cannot sync a directory, which
    // does not make the replacement itself fail.
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return {};
}
