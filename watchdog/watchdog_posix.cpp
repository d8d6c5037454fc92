// Linux: the helper is a process forked from the program, adopted by the system at once (a second fork),
// so that it never lingers as the program's zombie. What it lets go of, it lets go of through XTest on a
// connection of its own to DISPLAY, or through the Wayland compositor (watchdog_wayland.cpp), opened only
// when there is something to let go of.
#include "watchdog/watchdog.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace watchdog {

namespace {

int write_end = -1;

void send(const Message& message) {
    if (write_end < 0)
        return;
    // One write of a few bytes to a pipe is never split. The write end does not block: a helper that stopped
    // reading must never stall the program (a message then lost costs at most one needless release).
    ssize_t written;
    do
        written = write(write_end, &message, sizeof message);
    while (written < 0 && errno == EINTR);
}

void sayBye() {
    send({kBye});
    close(write_end);
    write_end = -1;
}

// Every held input let go, the last pressed first (a key before its modifiers); returns once the X server
// has acted on them.
void releaseOnX11(const HeldSet& set) {
    xcb_connection_t* const c = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(c)) {
        for (int i = set.count - 1; i >= 0; --i) {
            const uint8_t type = set.held[i].kind == static_cast<uint8_t>(InputKind::button)
                                     ? XCB_BUTTON_RELEASE
                                     : XCB_KEY_RELEASE;
            xcb_test_fake_input(c, type, static_cast<uint8_t>(set.held[i].code), XCB_CURRENT_TIME, XCB_NONE,
                                0, 0, 0);
        }
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    xcb_disconnect(c);
}

[[noreturn]] void serve(int read_end) {
    // Nothing of the program's stays open here (its console, its log, its claim on a name): only the pipe.
    if (read_end != 3) {
        dup2(read_end, 3);
        read_end = 3;
    }
    if (close_range(4, ~0u, 0) != 0) {
        for (int fd = 4; fd < 1024; ++fd)
            close(fd);
    }
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd)
        dup2(null, fd);
    if (null > 3)
        close(null);
    // What a terminal or a session sends the whole group: the program lets go itself and says bye, while the
    // helper stays to the end in case it cannot. It never outlives the program.
    for (int signal :
         {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU, SIGUSR1, SIGUSR2, SIGALRM})
        std::signal(signal, SIG_IGN);
    HeldSet set;
    Message message;
    for (;;) {
        const ssize_t got = read(read_end, &message, sizeof message);
        if (got == sizeof message)
            apply(set, message);
        else if (!(got < 0 && errno == EINTR))
            break; // the pipe closed: the program has ended
    }
    if (!set.bye && set.count > 0) {
        if (set.desktop == Desktop::wayland)
            releaseOnWayland(set);
        else
            releaseOnX11(set);
    }
    _exit(0);
}

} // namespace

void start() {
    static bool started = false;
    if (started)
        return;
    started = true;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        close(ends[1]);
        if (fork() == 0)
            serve(ends[0]);
        _exit(0);
    }
    close(ends[0]);
    if (child < 0) {
        close(ends[1]);
        return;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    write_end = ends[1];
    std::atexit(sayBye);
}

void tell(InputKind kind, uint32_t code, bool down) {
    send({down ? kDown : kUp, static_cast<uint8_t>(kind), 0, code});
}

void tellDesktop(Desktop desktop) {
    send({kDesktop, static_cast<uint8_t>(desktop)});
}

std::optional<int> serveIfAsked(int, char**) {
    return std::nullopt;
}

} // namespace watchdog
