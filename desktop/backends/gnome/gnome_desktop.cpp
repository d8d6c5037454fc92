// Linux/GNOME on Wayland: mutter's own interfaces on the session bus, the ones GNOME's remote desktop uses
// (mutter offers neither the wlroots virtual pointer nor KDE's fake input). The monitors come from
// org.gnome.Mutter.DisplayConfig. The pointer moves through a remote-desktop session with one screen-cast
// stream per monitor, because mutter takes an absolute position only within a stream, in that monitor's
// own pixels; nobody reads the streams. GNOME shows its screen-sharing indicator while the session runs.
//
// The session is made when the pointer is first used (listing the monitors needs none, so wandsetup never
// starts one) and made again when the monitors change, which closes it. Mutter closes it too when PipeWire,
// which carries the streams, goes away; it says Closed without a reason either way, so Wand keeps a silent
// connection of its own to PipeWire, which breaks at the same moment: then a new session starts once
// PipeWire is back. A session closed while the monitors stayed as they were and PipeWire stayed has been
// stopped by the user (the screen-sharing indicator) or by GNOME: the desktop is lost. Mutter lets go of
// what a session held when it closes, so no button or key stays down across a new session. In the frame
// loop the bus is only written to, without waiting for replies, and read without blocking; a release of a
// button or a key waits for its reply, so that it has been acted on when the program ends.
#include "desktop/backends/gnome/gnome_desktop.h"
#include "desktop/desktop_backend.h"
#include "os/os.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform {

std::vector<GnomeMonitor> gnomeMonitors(const std::vector<GnomeLogicalMonitor>& logical,
                                        bool logical_layout) {
    std::vector<GnomeMonitor> monitors;
    for (const GnomeLogicalMonitor& l : logical) {
        if (l.scale <= 0.0)
            continue;
        const bool quarter_turn = (l.transform & 1u) != 0;
        // In the logical layout a monitor's size is its mode over its scale (mutter picks scales that divide
        // it evenly) and its stream keeps the hardware pixels.
        const double stream_scale = logical_layout ? l.scale : 1.0;
        const auto width =
            static_cast<int32_t>(std::lround((quarter_turn ? l.mode_height : l.mode_width) / stream_scale));
        const auto height =
            static_cast<int32_t>(std::lround((quarter_turn ? l.mode_width : l.mode_height) / stream_scale));
        if (width > 0 && height > 0)
            monitors.push_back({l.connector, {l.x, l.y, l.x + width, l.y + height}, stream_scale});
    }
    return monitors;
}

StreamPoint streamPoint(const std::vector<GnomeMonitor>& monitors, int32_t x, int32_t y) {
    StreamPoint point;
    int64_t nearest = std::numeric_limits<int64_t>::max();
    for (size_t i = 0; i < monitors.size(); ++i) {
        const GnomeMonitor& m = monitors[i];
        const int32_t on_x = std::clamp(x, m.rect.left, m.rect.right - 1);
        const int32_t on_y = std::clamp(y, m.rect.top, m.rect.bottom - 1);
        const int64_t dx = int64_t{x} - on_x;
        const int64_t dy = int64_t{y} - on_y;
        if (dx * dx + dy * dy < nearest) {
            nearest = dx * dx + dy * dy;
            point = {i, (on_x - m.rect.left + 0.5) * m.stream_scale,
                     (on_y - m.rect.top + 0.5) * m.stream_scale};
        }
    }
    return point;
}

namespace {

constexpr const char* kRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCast = "org.gnome.Mutter.ScreenCast";
constexpr const char* kDisplayConfig = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kDisplayConfigPath = "/org/gnome/Mutter/DisplayConfig";
// Mutter answers within milliseconds; one that has stopped answering must not hold Wand for ever.
constexpr uint64_t kReplyTimeoutUs = 5'000'000;

struct GnomeDesktop {
    sd_bus* bus = nullptr;
    std::vector<GnomeMonitor> monitors; // the layout that the session's streams were made for
    std::vector<std::string> streams;   // the streams' object paths, in the order of `monitors`
    std::string session;                // the remote-desktop session's object path; empty: none yet
    bool session_closed = false;        // mutter said Closed for it
    bool monitors_changed = false;      // mutter said MonitorsChanged since the layout was last compared
    bool lost = false;
    int pipewire = -1;                 // Wand's own connection to PipeWire, on which nothing is said
    bool waiting_for_pipewire = false; // PipeWire went away with the session: a new one when it is back
};

GnomeDesktop gnome;

void loseDesktop(const std::string& reason) {
    if (gnome.lost)
        return;
    gnome.lost = true;
    gnome.session.clear();
    print("\n%s\n", reason.c_str());
}

// The reply to a method call on mutter, or nullptr with `error` set.
template <typename... Args>
sd_bus_message* call(std::string& error, const char* service, const char* path, const char* interface,
                     const char* member, const char* types, Args... args) {
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r =
        sd_bus_call_method(gnome.bus, service, path, interface, member, &failure, &reply, types, args...);
    if (r < 0)
        error = failure.message ? failure.message : std::strerror(-r);
    sd_bus_error_free(&failure);
    return r < 0 ? nullptr : reply;
}

// The object path that a call answers with, or an empty one with `error` set.
template <typename... Args> std::string callForPath(std::string& error, Args... args) {
    sd_bus_message* reply = call(error, args...);
    const char* path = nullptr;
    if (reply && sd_bus_message_read(reply, "o", &path) < 0)
        error = "an unexpected reply";
    std::string result = path ? path : "";
    sd_bus_message_unref(reply);
    return result;
}

// A call on the session that mutter acts on without answering.
template <typename... Args> void sendToSession(const char* member, const char* types, Args... args) {
    sd_bus_message* message = nullptr;
    if (sd_bus_message_new_method_call(gnome.bus, &message, kRemoteDesktop, gnome.session.c_str(), kSession,
                                       member) >= 0 &&
        sd_bus_message_append(message, types, args...) >= 0 &&
        sd_bus_message_set_expect_reply(message, 0) >= 0)
        sd_bus_send(gnome.bus, message, nullptr);
    sd_bus_message_unref(message);
}

// Reads the a{sv} at the reply's position, giving `read` each key with the reply at its variant; `read`
// returns whether it read the variant.
template <typename Read> bool readProperties(sd_bus_message* m, Read read) {
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0)
        return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 || (!read(key) && sd_bus_message_skip(m, "v") < 0) ||
            sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r == 0 && sd_bus_message_exit_container(m) >= 0;
}

// The current mode's size of each monitor of GetCurrentState, at its monitors array.
bool readModes(sd_bus_message* m, std::vector<GnomeLogicalMonitor>& modes) {
    if (sd_bus_message_enter_container(m, 'a', "((ssss)a(siiddada{sv})a{sv})") < 0)
        return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, 'r', "(ssss)a(siiddada{sv})a{sv}")) > 0) {
        const char* connector = nullptr;
        if (sd_bus_message_read(m, "(ssss)", &connector, nullptr, nullptr, nullptr) < 0 ||
            sd_bus_message_enter_container(m, 'a', "(siiddada{sv})") < 0)
            return false;
        GnomeLogicalMonitor monitor;
        monitor.connector = connector;
        while ((r = sd_bus_message_enter_container(m, 'r', "siiddada{sv}")) > 0) {
            int32_t width = 0;
            int32_t height = 0;
            int current = 0;
            const auto isCurrent = [&](const char* key) {
                return std::strcmp(key, "is-current") == 0 && sd_bus_message_read(m, "v", "b", &current) >= 0;
            };
            if (sd_bus_message_read(m, "siidd", nullptr, &width, &height, nullptr, nullptr) < 0 ||
                sd_bus_message_skip(m, "ad") < 0 || !readProperties(m, isCurrent) ||
                sd_bus_message_exit_container(m) < 0)
                return false;
            if (current) {
                monitor.mode_width = width;
                monitor.mode_height = height;
            }
        }
        if (r < 0 || sd_bus_message_exit_container(m) < 0 || sd_bus_message_skip(m, "a{sv}") < 0 ||
            sd_bus_message_exit_container(m) < 0)
            return false;
        modes.push_back(monitor);
    }
    return r == 0 && sd_bus_message_exit_container(m) >= 0;
}

// The logical monitors of GetCurrentState, at its logical monitors array, with the modes of their first
// monitors.
bool readLogicalMonitors(sd_bus_message* m, const std::vector<GnomeLogicalMonitor>& modes,
                         std::vector<GnomeLogicalMonitor>& logical) {
    if (sd_bus_message_enter_container(m, 'a', "(iiduba(ssss)a{sv})") < 0)
        return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, 'r', "iiduba(ssss)a{sv}")) > 0) {
        GnomeLogicalMonitor l;
        if (sd_bus_message_read(m, "iidub", &l.x, &l.y, &l.scale, &l.transform, nullptr) < 0 ||
            sd_bus_message_enter_container(m, 'a', "(ssss)") < 0)
            return false;
        const char* connector = nullptr;
        while ((r = sd_bus_message_read(m, "(ssss)", &connector, nullptr, nullptr, nullptr)) > 0) {
            if (l.connector.empty())
                l.connector = connector;
        }
        if (r < 0 || sd_bus_message_exit_container(m) < 0 || sd_bus_message_skip(m, "a{sv}") < 0 ||
            sd_bus_message_exit_container(m) < 0)
            return false;
        for (const GnomeLogicalMonitor& mode : modes) {
            if (mode.connector == l.connector) {
                l.mode_width = mode.mode_width;
                l.mode_height = mode.mode_height;
            }
        }
        logical.push_back(l);
    }
    return r == 0 && sd_bus_message_exit_container(m) >= 0;
}

// The monitors as mutter has them now, or false with `error` set.
bool readMonitors(std::vector<GnomeMonitor>& monitors, std::string& error) {
    sd_bus_message* reply =
        call(error, kDisplayConfig, kDisplayConfigPath, kDisplayConfig, "GetCurrentState", "");
    if (!reply)
        return false;
    std::vector<GnomeLogicalMonitor> modes;
    std::vector<GnomeLogicalMonitor> logical;
    uint32_t layout_mode = 0;
    const auto readLayoutMode = [&](const char* key) {
        return std::strcmp(key, "layout-mode") == 0 &&
               sd_bus_message_read(reply, "v", "u", &layout_mode) >= 0;
    };
    const bool read = sd_bus_message_read(reply, "u", nullptr) >= 0 && readModes(reply, modes) &&
                      readLogicalMonitors(reply, modes, logical) && readProperties(reply, readLayoutMode);
    sd_bus_message_unref(reply);
    if (!read) {
        error = "an unexpected reply to GetCurrentState";
        return false;
    }
    monitors = gnomeMonitors(logical, layout_mode == 1);
    return true;
}

int onSessionClosed(sd_bus_message* m, void*, sd_bus_error*) {
    const char* path = sd_bus_message_get_path(m);
    if (path && path == gnome.session)
        gnome.session_closed = true;
    return 0;
}

int onMonitorsChanged(sd_bus_message*, void*, sd_bus_error*) {
    gnome.monitors_changed = true;
    return 0;
}

void stopSessionAtExit() {
    if (gnome.session.empty() || gnome.session_closed)
        return;
    sendToSession("Stop", "");
    sd_bus_flush(gnome.bus);
}

// PipeWire's socket, where its clients look for it.
std::string pipewireSocket() {
    const char* name = std::getenv("PIPEWIRE_REMOTE");
    if (!name || !*name)
        name = "pipewire-0";
    if (name[0] == '/')
        return name;
    for (const char* folder : {std::getenv("PIPEWIRE_RUNTIME_DIR"), std::getenv("XDG_RUNTIME_DIR")}) {
        if (folder && *folder)
            return std::string(folder) + "/" + name;
    }
    return {};
}

// A connection to PipeWire that never says anything: it breaks when PipeWire goes away. -1 when PipeWire
// cannot be reached.
int connectPipeWire() {
    const std::string path = pipewireSocket();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

// Whether PipeWire has gone away: Wand's connection to it has ended. Its end is there before mutter can
// have said Closed for the streams PipeWire carried.
bool pipewireWentAway() {
    pollfd ended{gnome.pipewire, POLLIN | POLLRDHUP, 0};
    char byte = 0;
    if (gnome.pipewire < 0 || poll(&ended, 1, 0) <= 0 ||
        ((ended.revents & (POLLHUP | POLLRDHUP | POLLERR)) == 0 &&
         recv(gnome.pipewire, &byte, 1, MSG_PEEK) != 0))
        return false;
    close(gnome.pipewire);
    gnome.pipewire = -1;
    return true;
}

// A remote-desktop session with a stream of each of gnome.monitors, started: its path, or an empty one
// with `error` set.
std::string newSession(std::string& error) {
    const std::string session =
        callForPath(error, kRemoteDesktop, kRemoteDesktopPath, kRemoteDesktop, "CreateSession", "");
    char* id = nullptr;
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    if (!session.empty() && sd_bus_get_property_string(gnome.bus, kRemoteDesktop, session.c_str(), kSession,
                                                       "SessionId", &failure, &id) < 0)
        error = failure.message ? failure.message : "no session id";
    sd_bus_error_free(&failure);
    if (!id)
        return {};
    // The screen cast that belongs to the session, and in it a stream of every monitor.
    const std::string screen_cast =
        callForPath(error, kScreenCast, "/org/gnome/Mutter/ScreenCast", kScreenCast, "CreateSession", "a{sv}",
                    1, "remote-desktop-session-id", "s", id);
    std::free(id);
    for (const GnomeMonitor& m : gnome.monitors) {
        gnome.streams.push_back(screen_cast.empty()
                                    ? ""
                                    : callForPath(error, kScreenCast, screen_cast.c_str(),
                                                  "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                                                  "sa{sv}", m.connector.c_str(), 0));
        if (gnome.streams.back().empty())
            return {};
    }
    sd_bus_message* started = call(error, kRemoteDesktop, session.c_str(), kSession, "Start", "");
    sd_bus_message_unref(started);
    return started ? session : std::string();
}

// A new session for the monitors as they are now, the previous one stopped. False when mutter refuses:
// the desktop is lost then.
bool startSession() {
    if (!gnome.session.empty() && !gnome.session_closed)
        sendToSession("Stop", "");
    gnome.session.clear();
    gnome.streams.clear();
    gnome.session_closed = false;
    gnome.monitors_changed = false;
    if (gnome.pipewire < 0)
        gnome.pipewire = connectPipeWire();
    std::string error;
    if (readMonitors(gnome.monitors, error) && gnome.monitors.empty())
        error = "GNOME reports no monitors";
    if (error.empty())
        gnome.session = newSession(error);
    if (gnome.session.empty())
        loseDesktop("GNOME refused the remote desktop session that moves the pointer: " + error);
    return !gnome.session.empty();
}

// Takes what the bus has brought (Closed, MonitorsChanged) without waiting, and writes what waits to be
// written.
void takeArrivedMessages() {
    int r = 0;
    while ((r = sd_bus_process(gnome.bus, nullptr)) > 0) {
    }
    if (r < 0)
        loseDesktop(std::string("The connection to the session bus broke off (") + std::strerror(-r) +
                    "): the pointer cannot be moved any more.");
}

// Acts on the session's end and on changed monitors. Mutter closes the session itself when the monitors
// change, and says MonitorsChanged right after Closed, and when PipeWire goes away; a session closed
// without either was stopped by the user or by GNOME, and the desktop is lost.
void keepUp() {
    if (gnome.lost)
        return;
    if (gnome.waiting_for_pipewire) {
        gnome.pipewire = connectPipeWire();
        if (gnome.pipewire < 0)
            return;
        gnome.waiting_for_pipewire = false;
        startSession();
    }
    takeArrivedMessages();
    if (gnome.lost || gnome.session.empty() || (!gnome.session_closed && !gnome.monitors_changed))
        return;
    std::vector<GnomeMonitor> now;
    std::string error;
    if (!readMonitors(now, error)) {
        loseDesktop("GNOME's display configuration cannot be read: " + error);
        return;
    }
    // Mutter's signals came before this answer: a MonitorsChanged sent with the Closed is here now.
    takeArrivedMessages();
    if (gnome.lost)
        return;
    const bool ended_alone = gnome.session_closed && !gnome.monitors_changed && now == gnome.monitors;
    if (ended_alone && pipewireWentAway()) {
        gnome.session.clear();
        gnome.waiting_for_pipewire = true;
        print("\nPipeWire went away, and GNOME closed the remote desktop session with it: a new one starts "
              "when PipeWire is back.\n");
    } else if (ended_alone)
        loseDesktop("GNOME ended the remote desktop session that moves the pointer (stopped from the "
                    "screen-sharing indicator, or by GNOME itself). Start wandpointer again to go on.");
    else if (gnome.session_closed || now != gnome.monitors)
        startSession();
    gnome.monitors_changed = false;
}

// A running session for the present monitors; false when the desktop is lost.
bool ready() {
    keepUp();
    if (gnome.lost || gnome.waiting_for_pipewire)
        return false;
    return !gnome.session.empty() || startSession();
}

DesktopReport gnomeReport() {
    DesktopReport report;
    std::vector<GnomeMonitor> monitors;
    std::string error;
    if (!readMonitors(monitors, error))
        print("\nGNOME's display configuration cannot be read: %s\n", error.c_str());
    for (const GnomeMonitor& m : monitors)
        report.monitors.push_back(m.rect);
    fitVirtualScreen(report);
    return report;
}

bool gnomeMoveTo(int32_t x, int32_t y) {
    if (!ready())
        return false;
    const StreamPoint point = streamPoint(gnome.monitors, x, y);
    sendToSession("NotifyPointerMotionAbsolute", "sdd", gnome.streams[point.monitor].c_str(), point.x,
                  point.y);
    return true;
}

void gnomeButton(MouseButton button, bool press) {
    if (!ready())
        return;
    const int32_t code = button == MouseButton::left    ? BTN_LEFT
                         : button == MouseButton::right ? BTN_RIGHT
                                                        : BTN_MIDDLE;
    if (press) {
        sendToSession("NotifyPointerButton", "ib", code, 1);
        return;
    }
    // The reply comes once mutter has let the button go.
    std::string error;
    sd_bus_message_unref(
        call(error, kRemoteDesktop, gnome.session.c_str(), kSession, "NotifyPointerButton", "ib", code, 0));
}

// Mutter's discrete steps count downward, Windows' notches away from the user.
void gnomeWheel(int32_t notches) {
    if (ready())
        sendToSession("NotifyPointerAxisDiscrete", "ui", 0u, -notches);
}

// By keysym: mutter finds the key in the keymap the user has, as X does.
void gnomeKey(Key key, bool press) {
    if (!ready())
        return;
    if (press) {
        sendToSession("NotifyKeyboardKeysym", "ub", keysymOf(key), 1);
        return;
    }
    std::string error;
    sd_bus_message_unref(call(error, kRemoteDesktop, gnome.session.c_str(), kSession, "NotifyKeyboardKeysym",
                              "ub", keysymOf(key), 0));
}

// Writes what is queued; a release has already waited for its reply.
void gnomeFinish(bool) {
    if (!gnome.lost)
        sd_bus_flush(gnome.bus);
}

bool gnomeLost() {
    keepUp();
    return gnome.lost;
}

constexpr DesktopOps kGnomeOps{.monitors = gnomeReport,
                               .move_to = gnomeMoveTo,
                               .button = gnomeButton,
                               .wheel = gnomeWheel,
                               .key = gnomeKey,
                               .finish = gnomeFinish,
                               .lost = gnomeLost};

} // namespace

const DesktopOps* openGnomeDesktop(std::string& refusal) {
    const char* const not_there = "org.gnome.Mutter.RemoteDesktop (GNOME) is not on the session bus";
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        refusal = std::string(not_there) + " (there is no session bus)";
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kReplyTimeoutUs);
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &failure, &reply, "s", kRemoteDesktop) < 0 ||
        sd_bus_message_read(reply, "b", &owned) < 0)
        owned = 0;
    sd_bus_error_free(&failure);
    sd_bus_message_unref(reply);
    // Signals of every session and of the display configuration: the handlers pick what concerns them.
    if (!owned ||
        sd_bus_match_signal(bus, nullptr, nullptr, nullptr, kSession, "Closed", onSessionClosed, nullptr) <
            0 ||
        sd_bus_match_signal(bus, nullptr, nullptr, kDisplayConfigPath, kDisplayConfig, "MonitorsChanged",
                            onMonitorsChanged, nullptr) < 0) {
        refusal = not_there;
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    gnome.bus = bus;
    std::atexit(stopSessionAtExit);
    return &kGnomeOps;
}

} // namespace platform
