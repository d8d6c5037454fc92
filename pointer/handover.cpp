#include "pointer/handover.h"

#include <cmath>

namespace {

void startStillSpell(Handover& h, const HandoverFrame& frame) {
    h.still = true;
    h.still_direction = frame.direction;
    h.still_tick = frame.tick;
}

// Whether the direction has now stayed within rest_degrees of one direction for rest_ms.
bool cameToRest(Handover& h, const HandoverFrame& frame) {
    if (!h.still || !(angleDegrees(frame.direction, h.still_direction) <= h.rest_degrees)) {
        startStillSpell(h, frame);
        return false;
    }
    return frame.tick - h.still_tick >= h.rest_ms;
}

// Whether the answer to the question about the pointer puts it elsewhere than x, y. Where the desktop does
// not tell, nothing has moved it.
bool answerDiffers(const PointerIo& io, int32_t x, int32_t y) {
    const std::optional<platform::CursorPosition> at = io.cursor_pos();
    return at && (at->x != x || at->y != y);
}

bool pause(Handover& h, Pause kind, const char* message, const PointerIo& io) {
    h.pause = kind;
    h.pause_direction = h.frame.direction;
    io.print(message);
    return false;
}

const char* const kMouseTookOver = "\nCursor paused: the mouse took over";

} // namespace

Handover makeHandover(const RunnerSettings& settings) {
    Handover h;
    h.enabled = settings.handover_enable;
    h.rest_ms = static_cast<uint32_t>(std::ceil(static_cast<double>(settings.rest_seconds) * 1000.0));
    h.rest_degrees = settings.rest_degrees;
    h.resume_degrees = settings.resume_degrees;
    return h;
}

bool mayPlaceCursor(Handover& h, const HandoverFrame& frame, const PointerIo& io) {
    if (!h.enabled)
        return true;
    h.frame = frame;
    // The answer to the last frame's question, read whatever this frame does, so that none is left over.
    const bool moved = h.asked && answerDiffers(io, h.asked_x, h.asked_y);
    h.asked = false;
    if (h.pause != Pause::none) {
        if (frame.pressed || angleDegrees(frame.direction, h.pause_direction) > h.resume_degrees) {
            h.pause = Pause::none;
            h.resend = true;
            startStillSpell(h, frame);
            io.print("\nCursor resumed");
            return true;
        }
        // Put down after the mouse took over, the controller rests as quietly as if it had never moved it.
        if (h.pause == Pause::mouse && cameToRest(h, frame))
            h.pause = Pause::rest;
        return false; // paused: nothing is placed
    }
    // A held trigger or drag keeps the cursor where the controller points until it is let go, and a press
    // shows the controller in use: either starts the rest timer afresh.
    if (frame.holding || frame.pressed) {
        startStillSpell(h, frame);
        return true;
    }
    if (moved)
        return pause(h, Pause::mouse, kMouseTookOver, io);
    if (cameToRest(h, frame))
        return pause(h, Pause::rest, "\nCursor paused: the controller is at rest", io);
    if (h.placed && frame.tick - h.asked_tick >= kMouseCheckMs) {
        io.ask_cursor_pos();
        h.asked = true;
        h.asked_tick = frame.tick;
        h.asked_x = h.placed_x;
        h.asked_y = h.placed_y;
    }
    return true;
}

namespace {

// Asks where the pointer is and waits for the answer: whether something else has moved it from the position
// placed last. The question asked in an earlier frame is answered by this one too.
bool movedFromPlacement(Handover& h, const PointerIo& io) {
    io.ask_cursor_pos();
    h.asked = false;
    return answerDiffers(io, h.placed_x, h.placed_y);
}

} // namespace

void keepPlacement(Handover& h, const PointerIo& io) {
    if (!h.enabled || !h.placed || !h.frame.holding)
        return;
    if (movedFromPlacement(h, io))
        io.set_cursor_pos(h.placed_x, h.placed_y);
}

bool sendsPlacement(Handover& h, int32_t x, int32_t y, const PointerIo& io) {
    if (!h.enabled)
        return true;
    if (h.placed && !h.resend && x == h.placed_x && y == h.placed_y) {
        keepPlacement(h, io);
        return false;
    }
    // Unless the controller takes the cursor deliberately (a resume, a press, a held trigger), a move that
    // this placement would undo is looked for first, and waited for.
    const HandoverFrame& f = h.frame;
    if (h.placed && !h.resend && !f.pressed && !f.holding) {
        h.asked_tick = f.tick;
        if (movedFromPlacement(h, io))
            return pause(h, Pause::mouse, kMouseTookOver, io);
    }
    h.placed = true;
    h.placed_x = x;
    h.placed_y = y;
    h.resend = false;
    return true;
}

void forgetHandover(Handover& h) {
    h.pause = Pause::none;
    h.still = false;
    h.placed = false;
    h.resend = false;
    h.asked = false;
}

void handoverLost(Handover& h) {
    h.still = false;
}
