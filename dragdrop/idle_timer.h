// The relay's once-a-second check: it ends when the host window is gone or
// when its own window has stayed hidden for too long, and hides its window
// when no drag can be in progress over it.
#pragma once

namespace jxdd {

enum class TickAction { None, HideWindow, EndRelay };

class IdleTimer {
public:
    // Consecutive hidden ticks after which the relay ends on the next one.
    static constexpr int kHiddenTickLimit = 60;

    TickAction Tick(bool hostWindowExists, bool relayWindowVisible, bool mouseButtonDown);

private:
    int hiddenTicks_ = 0;
};

}  // namespace jxdd
