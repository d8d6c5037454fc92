// The watchdog: a helper process that lets go of every mouse button and key this program holds on the
// desktop when the program dies without letting go itself (killed, crashed, aborted, terminated). Neither
// the X server nor Windows releases what a client pressed through XTest or SendInput when the client goes.
//
// The helper shares one pipe with the program and blocks on reading it: it costs no wake-up while the
// program lives. The program tells it each input that goes down or up on the desktop, by the code the
// desktop was sent; when the pipe closes without the program's orderly "bye", the helper releases what is
// still down through its own desktop connection (X11: XTest; a wlroots compositor: a virtual pointer of its
// own; KWin: fake input; Windows: SendInput), then exits. It ignores
// the signals a terminal or a session sends the whole process group (Ctrl+C reaches the program, which
// lets go and says bye itself).
//
// Linux: a fork, made before any thread starts and before the desktop connection opens. Windows: this
// program started again with a hidden flag (serveIfAsked), the pipe's read end inherited.
#pragma once

#include <cstdint>
#include <optional>

namespace watchdog {

enum class InputKind : uint8_t { button, key };

// The desktop the codes are meant for (Linux): the X server, or the Wayland compositor, where a button is
// its evdev code (BTN_LEFT...) and a key the kernel's key code.
enum class Desktop : uint8_t { x11, wayland };

// Starts the helper once per process; later calls do nothing. Where it cannot start, the program runs
// unguarded, as before. An orderly exit (a return from main, exit()) says bye by itself.
void start();

// Tells the helper that the desktop now holds (`down`) or no longer holds this input. The code is what the
// desktop was sent: on X11 the button number or the key code, on Windows the button's index (0 left,
// 1 right, 2 middle) or the key's virtual-key code, scan code and extended flag (packKey).
void tell(InputKind kind, uint32_t code, bool down);

// Tells the helper which desktop the codes told from now on are for; X11 until told otherwise.
void tellDesktop(Desktop desktop);

// Windows: a key's code for tell: the virtual-key code, the extended flag and the scan code.
inline uint32_t packKey(uint16_t virtual_key, uint16_t scan_code, bool extended) {
    return (virtual_key & 0xffu) | (extended ? 0x100u : 0u) | (static_cast<uint32_t>(scan_code) << 16);
}

// Windows: the helper's own run, when the command line asks for it; the program's exit status then.
// Called first thing in main. Elsewhere never anything.
std::optional<int> serveIfAsked(int argc, char** argv);

// One held input, as the pipe carries it.
struct Message {
    uint8_t what = 0; // kUp, kDown, kBye or kDesktop
    uint8_t kind = 0; // InputKind; for kDesktop the Desktop
    uint16_t unused = 0;
    uint32_t code = 0;
};
inline constexpr uint8_t kUp = 0;
inline constexpr uint8_t kDown = 1;
inline constexpr uint8_t kBye = 2;
inline constexpr uint8_t kDesktop = 3;

// What is down, from the messages read so far; at most kMaxHeld inputs (three buttons and every key a
// binding names fit many times over).
inline constexpr int kMaxHeld = 64;
struct HeldSet {
    Message held[kMaxHeld];
    int count = 0;
    bool bye = false;
    Desktop desktop = Desktop::x11;
};
void apply(HeldSet& set, const Message& message);

// Linux: lets go of every held input through a connection of its own to the Wayland compositor of
// WAYLAND_DISPLAY, the last pressed first; returns once the compositor has acted on it. A wlroots
// compositor lets go of a virtual keyboard's keys itself when its client goes, but not of a virtual
// pointer's buttons: those go up through a new virtual pointer (the seat counts buttons, not devices).
void releaseOnWayland(const HeldSet& set);

} // namespace watchdog
