#pragma once
// The about box's hook for a pointer movement over its background. It does nothing: the
// underline stays on the last link label the pointer crossed.
void ResetLinkCursor();
