#include "tests/support/process.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

int64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t monotonicMs() {
    return monotonicUs() / 1000;
}

namespace {

std::string errnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void setNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

size_t countOccurrences(const std::string& haystack, const std::string& needle) {
    if (needle.empty()) {
        return 1;
    }
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + needle.size())) {
        ++count;
    }
    return count;
}

// Writing to a child that has closed its input must be an error return, not a signal that ends the test.
void ignoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPIPE, &action, nullptr);
    });
}

std::string findProgram(const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& env) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string path_list;
    if (const char* path = getenv("PATH")) {
        path_list = path;
    }
    for (const auto& [key, value] : env) {
        if (key == "PATH") {
            path_list = value;
        }
    }
    if (path_list.empty()) {
        path_list = "/usr/local/bin:/usr/bin:/bin";
    }
    size_t start = 0;
    while (start <= path_list.size()) {
        size_t end = path_list.find(':', start);
        if (end == std::string::npos) {
            end = path_list.size();
        }
        std::string dir = path_list.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    throw std::runtime_error("program not found in PATH: " + name);
}

int exitCodeOf(int wait_status) {
    if (WIFEXITED(wait_status)) {
        return WEXITSTATUS(wait_status);
    }
    if (WIFSIGNALED(wait_status)) {
        return 128 + WTERMSIG(wait_status);
    }
    return -1;
}

} // namespace

struct ProcessState {
    pid_t pid = -1;
    int pidfd = -1;
    bool reaped = false;
    int status = -1;

    int in_fd = -1;
    int out_fd = -1;
    int err_fd = -1;
    int wake[2] = {-1, -1};

    std::mutex mutex;
    std::condition_variable changed;
    std::string out;
    std::string err;
    std::string pending_in;
    bool close_in_requested = false;
    bool stop = false;
    uint64_t drain_requested = 0;
    uint64_t drained = 0;
    std::thread io;

    void wakeIo() {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wake[1], &byte, 1);
    }

    // Reads what is available now; returns false at end of file (the descriptor is then closed).
    bool readAvailable(int& fd, std::string& target) {
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard lock(mutex);
                target.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return true;
            }
            closeFd(fd);
            return false;
        }
    }

    void ioLoop() {
        for (;;) {
            pollfd fds[4];
            int count = 0;
            bool want_write = false;
            {
                std::lock_guard lock(mutex);
                if (stop) {
                    return;
                }
                if (in_fd >= 0 && pending_in.empty() && close_in_requested) {
                    closeFd(in_fd);
                }
                want_write = in_fd >= 0 && !pending_in.empty();
            }
            fds[count++] = {wake[0], POLLIN, 0};
            if (out_fd >= 0) {
                fds[count++] = {out_fd, POLLIN, 0};
            }
            if (err_fd >= 0) {
                fds[count++] = {err_fd, POLLIN, 0};
            }
            if (want_write) {
                fds[count++] = {in_fd, POLLOUT, 0};
            }
            if (::poll(fds, nfds_t(count), -1) < 0 && errno != EINTR) {
                return;
            }
            if (fds[0].revents & POLLIN) {
                char bytes[256];
                while (::read(wake[0], bytes, sizeof bytes) > 0) {
                }
            }
            uint64_t drain_goal;
            {
                std::lock_guard lock(mutex);
                drain_goal = drain_requested;
            }
            if (out_fd >= 0) {
                readAvailable(out_fd, out);
            }
            if (err_fd >= 0) {
                readAvailable(err_fd, err);
            }
            if (want_write) {
                std::lock_guard lock(mutex);
                while (in_fd >= 0 && !pending_in.empty()) {
                    ssize_t n = ::write(in_fd, pending_in.data(), pending_in.size());
                    if (n > 0) {
                        pending_in.erase(0, size_t(n));
                    } else if (n < 0 && errno == EINTR) {
                        continue;
                    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                        break;
                    } else {
                        // The child closed its input: what it did not read is dropped.
                        pending_in.clear();
                        closeFd(in_fd);
                    }
                }
            }
            {
                std::lock_guard lock(mutex);
                drained = drain_goal;
            }
            changed.notify_all();
        }
    }

    // Waits until everything the child wrote before now has been read.
    void drain() {
        std::unique_lock lock(mutex);
        uint64_t goal = ++drain_requested;
        wakeIo();
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return drained >= goal; });
    }

    // Reaps the child if it has ended; whatever it left in its process group is killed first.
    bool tryReap() {
        if (reaped) {
            return true;
        }
        siginfo_t info{};
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
            return false;
        }
        // The zombie keeps the group id from being reused until it is reaped.
        ::kill(-pid, SIGKILL);
        int wait_status = 0;
        while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
        }
        status = exitCodeOf(wait_status);
        reaped = true;
        closeFd(pidfd);
        drain();
        return true;
    }

    bool waitReap(std::chrono::steady_clock::time_point deadline) {
        while (!tryReap()) {
            auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                return false;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
            if (pidfd >= 0) {
                pollfd fd{pidfd, POLLIN, 0};
                ::poll(&fd, 1, int(std::min<int64_t>(left, 1000)));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 2)));
            }
        }
        return true;
    }

    bool waitText(bool from_err, const std::string& text, Timeout timeout, size_t occurrences) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout,
                                [&] { return countOccurrences(from_err ? err : out, text) >= occurrences; });
    }

    void shutdown() {
        if (pid > 0 && !reaped) {
            ::kill(pid, SIGTERM);
            if (!waitReap(std::chrono::steady_clock::now() + std::chrono::seconds(5))) {
                ::kill(-pid, SIGKILL);
                ::kill(pid, SIGKILL);
                waitReap(std::chrono::steady_clock::now() + std::chrono::seconds(60));
            }
        }
        if (io.joinable()) {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            wakeIo();
            io.join();
        }
        closeFd(in_fd);
        closeFd(out_fd);
        closeFd(err_fd);
        closeFd(wake[0]);
        closeFd(wake[1]);
        closeFd(pidfd);
    }
};

Process::Process(const std::vector<std::string>& argv, const ProcessOptions& options)
    : state_(std::make_unique<ProcessState>()) {
    if (argv.empty()) {
        throw std::invalid_argument("Process needs a program");
    }
    ignoreSigpipe();
    std::string path = findProgram(argv[0], options.env);

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls are made.
    std::vector<std::string> env_strings;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::string key = text.substr(0, text.find('='));
        bool replaced =
            std::any_of(options.env.begin(), options.env.end(),
                        [&](const auto& kv) { return kv.first == key; }) ||
            std::find(options.unset_env.begin(), options.unset_env.end(), key) != options.unset_env.end();
        if (!replaced) {
            env_strings.push_back(text);
        }
    }
    for (const auto& [key, value] : options.env) {
        env_strings.push_back(key + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& text : env_strings) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argv_copy = argv;
    std::vector<char*> argvp;
    for (auto& text : argv_copy) {
        argvp.push_back(text.data());
    }
    argvp.push_back(nullptr);

    int in_pipe[2], out_pipe[2], err_pipe[2], exec_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
        pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(exec_pipe, O_CLOEXEC) != 0 ||
        pipe2(state_->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error(errnoText("pipe", errno));
    }
    const char* dir = options.working_dir.empty() ? nullptr : options.working_dir.c_str();
    std::vector<int> keep = options.keep_fds;

    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error(errnoText("fork", errno));
    }
    if (pid == 0) {
        setpgid(0, 0);
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int sig = 1; sig < NSIG; ++sig) {
            sigaction(sig, &action, nullptr);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : keep) {
            fcntl(fd, F_SETFD, 0);
        }
        int err = 0;
        if (dir && chdir(dir) != 0) {
            err = errno;
        } else {
            execve(path.c_str(), argvp.data(), envp.data());
            err = errno;
        }
        [[maybe_unused]] ssize_t n = ::write(exec_pipe[1], &err, sizeof err);
        _exit(127);
    }
    setpgid(pid, pid);
    state_->pid = pid;
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ::close(exec_pipe[1]);
    state_->in_fd = in_pipe[1];
    state_->out_fd = out_pipe[0];
    state_->err_fd = err_pipe[0];
    setNonBlocking(state_->in_fd);
    setNonBlocking(state_->out_fd);
    setNonBlocking(state_->err_fd);

    int child_errno = 0;
    ssize_t got;
    while ((got = ::read(exec_pipe[0], &child_errno, sizeof child_errno)) < 0 && errno == EINTR) {
    }
    ::close(exec_pipe[0]);
    if (got > 0) {
        int wait_status;
        waitpid(pid, &wait_status, 0);
        state_->reaped = true;
        state_->shutdown();
        throw std::runtime_error(
            errnoText("cannot start " + path + (dir ? " in " + std::string(dir) : ""), child_errno));
    }
    state_->pidfd = int(syscall(SYS_pidfd_open, pid, 0));

    state_->pending_in = options.stdin_text;
    state_->close_in_requested = !options.keep_stdin_open;
    state_->io = std::thread([state = state_.get()] { state->ioLoop(); });
}

Process::~Process() {
    if (state_) {
        state_->shutdown();
    }
}

Process::Process(Process&&) noexcept = default;

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (state_) {
            state_->shutdown();
        }
        state_ = std::move(other.state_);
    }
    return *this;
}

int Process::pid() const {
    return state_->pid;
}

std::string Process::out() const {
    std::lock_guard lock(state_->mutex);
    return state_->out;
}

std::string Process::err() const {
    std::lock_guard lock(state_->mutex);
    return state_->err;
}

bool Process::waitForOutput(const std::string& text, Timeout timeout, size_t occurrences) {
    return state_->waitText(false, text, timeout, occurrences);
}

bool Process::waitForError(const std::string& text, Timeout timeout, size_t occurrences) {
    return state_->waitText(true, text, timeout, occurrences);
}

void Process::writeStdin(const std::string& text) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->close_in_requested) {
            throw std::logic_error("writeStdin after the input was closed");
        }
        state_->pending_in += text;
    }
    state_->wakeIo();
}

void Process::closeStdin() {
    {
        std::lock_guard lock(state_->mutex);
        state_->close_in_requested = true;
    }
    state_->wakeIo();
}

std::optional<int> Process::waitExit(Timeout timeout) {
    if (!state_->waitReap(std::chrono::steady_clock::now() + timeout)) {
        return std::nullopt;
    }
    return state_->status;
}

std::optional<int> Process::exitStatus() {
    if (!state_->tryReap()) {
        return std::nullopt;
    }
    return state_->status;
}

bool Process::running() {
    return !state_->tryReap();
}

void Process::signal(int sig) {
    if (!state_->reaped) {
        ::kill(state_->pid, sig);
    }
}

RunResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options, Timeout timeout) {
    Process process(argv, options);
    RunResult result;
    result.status = process.waitExit(timeout);
    result.out = process.out();
    result.err = process.err();
    return result;
}

} // namespace testsupport
