// The desktop's free functions over the backend in use: a click's two halves, the wheel's remainder and the
// count of what is held are kept here, once, for every backend.
#include "desktop/desktop_backend.h"
#include "desktop/held_input.h"

#include <algorithm>

namespace platform {

namespace {

const DesktopOps* chosen = nullptr;

// The wheel comes in 120ths of a notch; most desktops know whole notches only. For them the signed
// remainder is kept, and the quotient truncates toward zero, so small amounts in either direction add up
// symmetrically.
int32_t wheel_accumulator = 0;

// The buttons and keys held down, counted, whichever backend sends them.
HeldInput held_input;

void finish(const DesktopOps& ops, bool wait) {
    if (ops.finish)
        ops.finish(wait);
}

} // namespace

void useDesktop(const DesktopOps* ops) {
    chosen = ops;
}

MonitorInfo around(const MonitorInfo& a, const MonitorInfo& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

void fitVirtualScreen(DesktopReport& report) {
    if (report.monitors.empty())
        return;
    MonitorInfo box = report.monitors.front();
    for (const MonitorInfo& m : report.monitors)
        box = around(box, m);
    report.virtual_width = box.right - box.left;
    report.virtual_height = box.bottom - box.top;
}

DesktopReport enumerateMonitors() {
    const DesktopOps* ops = chosen;
    return ops ? ops->monitors() : DesktopReport{};
}

bool desktopLost() {
    const DesktopOps* ops = chosen;
    return ops && ops->lost && ops->lost();
}

bool setCursorPos(int32_t x, int32_t y) {
    const DesktopOps* ops = chosen;
    return ops && ops->move_to(x, y);
}

void askCursorPos() {
    const DesktopOps* ops = chosen;
    if (ops && ops->ask_position)
        ops->ask_position();
}

std::optional<CursorPosition> cursorPos() {
    const DesktopOps* ops = chosen;
    return ops && ops->position ? ops->position() : std::nullopt;
}

void sendMouseButton(MouseButton button, ButtonAction action) {
    const DesktopOps* ops = chosen;
    if (!ops || !countHold(held_input, button, action))
        return;
    if (action == ButtonAction::click && ops->click) {
        ops->click(button);
    } else {
        if (action != ButtonAction::up)
            ops->button(button, true);
        if (action != ButtonAction::down)
            ops->button(button, false);
    }
    // A release must reach the desktop even when the program ends right after it (an orderly shutdown
    // releases the held button, then exits): wait until it has been processed.
    finish(*ops, action != ButtonAction::down);
}

void sendMouseWheel(int32_t units) {
    const DesktopOps* ops = chosen;
    if (!ops)
        return;
    if (ops->wheel_units) {
        ops->wheel_units(units);
        return;
    }
    wheel_accumulator += units;
    const int32_t notches = wheel_accumulator / 120;
    wheel_accumulator -= notches * 120;
    if (notches != 0)
        ops->wheel(notches);
    finish(*ops, false);
}

void sendKey(Key key, bool press) {
    const DesktopOps* ops = chosen;
    if (!ops || !ops->key || !countHold(held_input, key, press))
        return;
    ops->key(key, press);
    finish(*ops, !press);
}

std::string keyProblem(Key key) {
    const DesktopOps* ops = chosen;
    if (!ops)
        return {};
    if (!ops->key)
        return "this desktop cannot be sent keys";
    return ops->key_problem ? ops->key_problem(key) : std::string();
}

} // namespace platform
