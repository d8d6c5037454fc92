// What this process holds down on the desktop, counted: a mouse button or a key goes down with its first
// hold and up with its last release, so that two holds on one input never let go of it early (two bindings
// that share Ctrl, a binding on the left button during the trigger's drag). Kept once, below the runner,
// for every desktop; the backend sends only what this lets through.
#pragma once

#include "desktop/desktop.h"

#include <array>
#include <cstdint>

namespace platform {

struct HeldInput {
    std::array<uint16_t, 3> buttons{}; // by MouseButton
    std::array<uint16_t, kKeyCount> keys{};
};

// Counts the action and says whether it goes to the desktop: a press only when nothing held the input, a
// release only when it lets go of the last hold (one without a hold goes nowhere), a click only when the
// button is not held (its release would end the hold).
bool countHold(HeldInput& held, MouseButton button, ButtonAction action);
bool countHold(HeldInput& held, Key key, bool press);

} // namespace platform
