#pragma once
// Every message box of the program goes through CoreMessageBox, so that tests can capture
// them in one place instead of facing a modal box.
#include <windows.h>
#include <functional>
#include <string>

using MessageBoxHook = std::function<int(const std::wstring& text, const std::wstring& title, unsigned flags)>;

// Shows MessageBoxW (task-modal when it has no owner), or, with a hook installed, hands the
// box to the hook and returns its answer.
int CoreMessageBox(const std::wstring& text, const std::wstring& title, unsigned flags, HWND owner = nullptr);
// An empty function removes the hook.
void SetMessageBoxHook(MessageBoxHook hook);
