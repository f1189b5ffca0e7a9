#pragma once
// Labels that show their whole text whatever face stands in for the designed one.
#include <windows.h>

namespace ui {

// Widens each text label of `window` (and of its frames) whose text its font would clip: to
// the right, into the room its right-hand neighbour on the same row can spare (a label
// neighbour moves over, keeping its right edge), never past the edge of its parent.
void FitLabelsToText(HWND window);

}  // namespace ui
