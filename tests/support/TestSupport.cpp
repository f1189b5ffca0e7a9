#include "tests/support/TestSupport.h"

#include <shlwapi.h>

#include "core/MsgBox.h"
#include "core/modLanguage.h"
#include "core/App.h"
#include "core/modRegistry2.h"
#include "ui/Form.h"

namespace testing_support {

MessageBoxCapture::MessageBoxCapture(int a) : answer(a) {
    SetMessageBoxHook([this](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.push_back({text, title, flags});
        return answer;
    });
}

MessageBoxCapture::~MessageBoxCapture() { SetMessageBoxHook(nullptr); }

void PumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        ui::DoEvents();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    ui::DoEvents();
}

static HKEY Create(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return h;
}

void SetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes, DWORD type) {
    if (HKEY h = Create(root, key)) {
        RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(h);
    }
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& data, DWORD type) {
    SetBinary(root, key, name, std::string(data.c_str(), data.size() + 1), type);
}

void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
    SetBinary(root, key, name, std::string(reinterpret_cast<const char*>(&value), 4), REG_DWORD);
}

bool ReadRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type, std::string& bytes) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size);
        bytes.resize(size);
    }
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name) {
    DWORD type;
    std::string bytes;
    return ReadRaw(root, key, name, type, bytes);
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

void DeleteTree(HKEY root, const std::string& key) { SHDeleteKeyA(root, key.c_str()); }

SettingGuard::SettingGuard(const char* name) : name_(name) {
    had_ = ReadRaw(HKEY_CURRENT_USER, SettingsKey, name_, type_, bytes_);
}

SettingGuard::~SettingGuard() {
    if (had_)
        SetBinary(HKEY_CURRENT_USER, SettingsKey, name_, bytes_, type_);
    else
        DeleteRegSetting("Halvren", "Settings", name_, HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
}

void UseEnglish() {
    SaveSetting("curLang", "English");
    ClearLanguageTable();
    LoadLanguage();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(f);
    return out;
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveFolderTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(full);
            else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

bool StartedProgram::Start(const std::string& exe) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::string cmd = "\"" + exe + "\"";
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, ProgramFolder().c_str(), &si,
                          &pi) != 0;
}

StartedProgram::~StartedProgram() {
    if (!pi.hProcess) return;
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

namespace {

struct WindowQuery {
    DWORD pid;
    const wchar_t* cls;
    const std::wstring& title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM p) {
    auto* q = reinterpret_cast<WindowQuery*>(p);
    DWORD pid = 0;
    wchar_t cls[64] = {}, title[256] = {};
    GetWindowThreadProcessId(w, &pid);
    GetClassNameW(w, cls, 64);
    GetWindowTextW(w, title, 256);
    bool captioned = (GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    if (pid == q->pid && IsWindowVisible(w) && captioned && !lstrcmpW(cls, q->cls) && q->title == title) q->found = w;
    return !q->found;
}

}  // namespace

HWND WaitForWindow(DWORD pid, const wchar_t* cls, const std::wstring& title) {
    WindowQuery q{pid, cls, title, nullptr};
    for (int i = 0; i < 300 && !q.found; ++i) {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&q));
        if (!q.found) Sleep(50);
    }
    return q.found;
}

}  // namespace testing_support
