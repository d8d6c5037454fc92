#include "desktop/held_input.h"

namespace platform {

namespace {

bool count(uint16_t& holds, bool press) {
    if (press)
        return holds++ == 0;
    if (holds == 0)
        return false;
    return --holds == 0;
}

} // namespace

bool countHold(HeldInput& held, MouseButton button, ButtonAction action) {
    uint16_t& holds = held.buttons[static_cast<size_t>(button)];
    if (action == ButtonAction::click)
        return holds == 0;
    return count(holds, action == ButtonAction::down);
}

bool countHold(HeldInput& held, Key key, bool press) {
    return count(held.keys[static_cast<size_t>(key)], press);
}

} // namespace platform
