// A child process for end-to-end tests: argv, working folder, extra environment, standard input from a
// string, standard output and error captured continuously into strings by a thread of its own (so a
// chatty child never blocks on a full pipe). Everything that waits takes a timeout: it is a deadline for
// an observed effect, not an assumption about speed.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Timeout = std::chrono::milliseconds;
inline constexpr Timeout kDefaultTimeout{10000};

struct ProcessOptions {
    // Empty: the test's own working folder.
    std::string working_dir;
    // Added to (or replacing in) the test's environment, e.g. {"DISPLAY", ":57"}.
    std::vector<std::pair<std::string, std::string>> env;
    // Removed from the inherited environment.
    std::vector<std::string> unset_env;
    // Written to the child's standard input; then the input is closed unless keep_stdin_open is set
    // (use writeStdin/closeStdin later).
    std::string stdin_text;
    bool keep_stdin_open = false;
    // Descriptors of the test that the child keeps (all others are closed on exec).
    std::vector<int> keep_fds;
};

struct ProcessState;

class Process {
  public:
    // argv[0] without a slash is searched in PATH. Throws std::runtime_error when the program cannot be
    // started (not found, working folder missing, ...).
    explicit Process(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    // A child still running gets SIGTERM, then SIGKILL if it has not ended within 5 s; its process group
    // is killed as well.
    ~Process();
    Process(Process&&) noexcept;
    Process& operator=(Process&&) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int pid() const;

    // What the child wrote so far.
    std::string out() const;
    std::string err() const;

    // True once standard output (standard error) holds `text` at least `occurrences` times.
    bool waitForOutput(const std::string& text, Timeout timeout = kDefaultTimeout, size_t occurrences = 1);
    bool waitForError(const std::string& text, Timeout timeout = kDefaultTimeout, size_t occurrences = 1);

    void writeStdin(const std::string& text);
    void closeStdin();

    // The exit status once the child has ended: its exit code, or 128 + the signal number when a signal
    // ended it (shell convention). Empty when it is still running at the deadline. Everything the child
    // wrote before ending is in out() and err() when this returns a status.
    std::optional<int> waitExit(Timeout timeout = kDefaultTimeout);
    // The status if the child has already ended, without waiting.
    std::optional<int> exitStatus();
    bool running();

    // Sends a signal to the child (only while it has not been reaped).
    void signal(int sig);

  private:
    std::unique_ptr<ProcessState> state_;
};

// Runs a program to its end and returns {status, stdout, stderr}; status is empty on timeout (the
// program is then killed).
struct RunResult {
    std::optional<int> status;
    std::string out;
    std::string err;
};
RunResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {},
                     Timeout timeout = kDefaultTimeout);

// CLOCK_MONOTONIC in milliseconds and microseconds (Xvfb's event timestamps are CLOCK_MONOTONIC ms).
int64_t monotonicMs();
int64_t monotonicUs();

} // namespace testsupport
