#pragma once
// Asks for a pop-up notice: set Title and Message, then FlatStyle opens one that rises into
// the screen's bottom-right corner, stays five seconds, falls away and closes on its own.
#include <cstdint>
#include <string>

class cAlert {
public:
    std::wstring Title;
    std::wstring Message;
    // Kept for the caller; nothing reads them.
    int32_t Link = 0;
    std::wstring sUrl;
    int32_t PosX = 0;
    int32_t PosY = 0;

    // Opens a new notice and returns at once; the notice does not refer back to this object.
    void FlatStyle();
};
