// Sharing the desk ("handover" in "default.config"): the runner lets go of the cursor when something else
// moves the pointer (the user's own mouse, a touchpad, another program) or when the controller is put
// down, and takes it back when the controller is turned or one of its buttons is pressed.
#pragma once

#include "config/config_file.h"
#include "geometry/geometry.h"
#include "pointer/pointer_io.h"

#include <cstdint>

// While the cursor stays put, how often the runner asks where the pointer is, to compare it with the position
// placed last in the next frame, when the answer has come without a wait: so the mouse is noticed within
// 45 ms. Each question wakes the X server, which costs the runner more than a frame's own wake-up does.
// A placement that moves the cursor asks first and waits for the answer, since it would wipe out a move it
// has not seen.
inline constexpr uint32_t kMouseCheckMs = 40;
// The frame period while the controller is at rest: a pick-up or a press still acts within 50 ms.
inline constexpr uint32_t kRestFramePeriodMs = 50;

enum class Pause { none, rest, mouse };

// What one tracked frame with the cursor switched on brings to the handover.
struct HandoverFrame {
    uint32_t tick = 0;
    Vec3 direction;       // the raw pointing direction, before any filter
    bool pressed = false; // a press of the trigger, the touchpad, the grip or the menu button began
    bool holding = false; // the trigger is held, or a drag or a binding holds a button or key: no pause
};

struct Handover {
    bool enabled = false;
    uint32_t rest_ms = 0;
    double rest_degrees = 0.0;
    double resume_degrees = 0.0;
    Pause pause = Pause::none;
    Vec3 pause_direction; // the raw direction when the pause began
    // The current still spell: since still_tick the direction has stayed within rest_degrees of this one.
    bool still = false;
    Vec3 still_direction;
    uint32_t still_tick = 0;
    // The position placed last, and whether the next one goes out even when it is the same (a resume).
    bool placed = false;
    int32_t placed_x = 0;
    int32_t placed_y = 0;
    bool resend = false;
    uint32_t asked_tick = 0; // when the runner last asked where the pointer is
    bool asked = false;      // the answer is to be read in the next frame and compared with asked_x, asked_y
    int32_t asked_x = 0;
    int32_t asked_y = 0;
    HandoverFrame frame; // the current frame
};

Handover makeHandover(const RunnerSettings& settings);

// Whether the frame may place the cursor. Starts and ends pauses, saying so on the console; reads the answer
// about the pointer's position asked in the last frame, and asks again when that is due.
bool mayPlaceCursor(Handover& handover, const HandoverFrame& frame, const PointerIo& io);

// The frame's one placement, at x, y: whether it goes out: with the handover on, only one that moves the
// cursor (or the first after a resume), and only when nothing else has moved the pointer since the last
// placement, which pauses. Records it as the position placed last.
bool sendsPlacement(Handover& handover, int32_t x, int32_t y, const PointerIo& io);

// A frame that holds the cursor (the trigger held or dragging, a binding holding a button or key) and does
// not move it: the pointer is looked for, waiting for the answer, and put back where it was placed last when
// something else has moved it. A drag's button then goes down and up where the controller aims, whatever
// the mouse does, and no pause begins. With the handover off every frame places the cursor anyway.
void keepPlacement(Handover& handover, const PointerIo& io);

// Forgets the pause, the still spell and the position placed last: the cursor has been switched off.
void forgetHandover(Handover& handover);

// A frame without tracking: nothing is known of the direction meanwhile, so a rest is timed afresh from
// the next tracked frame.
void handoverLost(Handover& handover);
