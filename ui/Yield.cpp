#include "ui/Yield.h"

namespace ui {

bool YieldThrottle::Due() {
    const DWORD now = GetTickCount();
    // Unsigned subtraction stays right when the tick count wraps after 49.7 days.
    if (now - last_ < interval_) return false;
    last_ = now;
    return true;
}

}  // namespace ui
