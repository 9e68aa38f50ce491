#include "idle_timer.h"

namespace jxdd {

TickAction IdleTimer::Tick(bool hostWindowExists, bool relayWindowVisible, bool mouseButtonDown) {
    if (!hostWindowExists) return TickAction::EndRelay;
    if (relayWindowVisible) {
        hiddenTicks_ = 0;
        // A drag always holds a button down; without one the host left the window shown.
        return mouseButtonDown ? TickAction::None : TickAction::HideWindow;
    }
    if (hiddenTicks_ >= kHiddenTickLimit) return TickAction::EndRelay;
    ++hiddenTicks_;
    return TickAction::None;
}

}  // namespace jxdd
