#include "core/MsgBox.h"

namespace {
MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}
}

int CoreMessageBox(const std::wstring& text, const std::wstring& title, unsigned flags, HWND owner)
{
    // A copy, so that a hook may replace itself while it runs.
    MessageBoxHook hook = Hook();
    if (hook)
        return hook(text, title, flags);
    // A box without owner is task-modal: every window of the thread takes no input while it
    // is up, so that nothing can run underneath the code that waits for the answer.
    if (!owner && !(flags & (MB_SYSTEMMODAL | MB_TASKMODAL))) flags |= MB_TASKMODAL;
    return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    Hook() = std::move(hook);
}
