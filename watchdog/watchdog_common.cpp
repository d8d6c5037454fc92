#include "watchdog/watchdog.h"

namespace watchdog {

void apply(HeldSet& set, const Message& message) {
    if (message.what == kBye) {
        set.bye = true;
        return;
    }
    if (message.what == kDesktop) {
        set.desktop = static_cast<Desktop>(message.kind);
        return;
    }
    for (int i = 0; i < set.count; ++i) {
        if (set.held[i].kind == message.kind && set.held[i].code == message.code) {
            if (message.what == kUp)
                set.held[i] = set.held[--set.count];
            return;
        }
    }
    if (message.what == kDown && set.count < kMaxHeld)
        set.held[set.count++] = message;
}

} // namespace watchdog
