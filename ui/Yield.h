#pragma once
// The pace at which a long walk lets the window events run: often enough that a Stop click,
// a repaint or a resize gets through at once, rarely enough that the walk does not pay for a
// message check per step.
#include <windows.h>

namespace ui {

class YieldThrottle {
public:
    explicit YieldThrottle(DWORD intervalMs = 10) : interval_(intervalMs) {}
    // Starts a new interval now.
    void Reset() { last_ = GetTickCount(); }
    // True once the interval has passed since the last time it said so (or since Reset).
    bool Due();

private:
    DWORD interval_;
    DWORD last_ = 0;
};

}  // namespace ui
