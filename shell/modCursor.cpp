#include "shell/modCursor.h"

void ResetLinkCursor() {}
