#include "tests/support/TestSupport.h"

#include <shlwapi.h>

#include <fstream>
#include <sstream>

#include "core/MsgBox.h"
#include "core/modLanguage.h"
#include "core/App.h"
#include "core/modRegistry2.h"
#include "scan/frmRestore.h"
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
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
        ui::DoEvents();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    ui::DoEvents();
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < ms;) PumpFor(20);
    return done();
}

void SetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes, DWORD type) {
    SHSetValueA(root, key.c_str(), name.c_str(), type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& data, DWORD type) {
    SetBinary(root, key, name, std::string(data.c_str(), data.size() + 1), type);
}

void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
    SetBinary(root, key, name, std::string(reinterpret_cast<const char*>(&value), 4), REG_DWORD);
}

bool ReadRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type, std::string& bytes) {
    DWORD size = 0;
    if (SHGetValueA(root, key.c_str(), name.c_str(), &type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes.assign(size, '\0');
    LONG rc = SHGetValueA(root, key.c_str(), name.c_str(), &type, &bytes[0], &size);
    bytes.resize(size);
    return rc == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name) {
    DWORD type;
    std::string bytes;
    return ReadRaw(root, key, name, type, bytes);
}

void DeleteTree(HKEY root, const std::string& key) { SHDeleteKeyA(root, key.c_str()); }

void PutSetting(const std::string& name, const std::string& text) {
    if (!text.empty())
        SaveSetting(name, text);
    else
        DeleteRegSetting("Halvren", "Settings", name, HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
}

SettingGuard::SettingGuard(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        Saved s{name, false, REG_SZ, {}};
        s.had = ReadRaw(HKEY_CURRENT_USER, SettingsKey, name, s.type, s.bytes);
        saved_.push_back(s);
    }
}

SettingGuard::~SettingGuard() {
    for (const Saved& s : saved_) {
        if (s.had)
            SetBinary(HKEY_CURRENT_USER, SettingsKey, s.name, s.bytes, s.type);
        else
            PutSetting(s.name, "");
    }
}

FileGuard::FileGuard(std::string p) : path(std::move(p)), had_(FileExists(path)) {
    if (had_) bytes_ = ReadFileBytes(path);
}

FileGuard::~FileGuard() {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (had_)
        WriteFileBytes(path, bytes_);
    else
        DeleteFileA(path.c_str());
}

void UseEnglish() {
    SaveSetting("curLang", "English");
    ClearLanguageTable();
    LoadLanguage();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    return f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream out;
    out << f.rdbuf();
    return out.str();
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveFolderTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &fd)) {
        const std::string name = fd.cFileName, full = path + "\\" + name;
        if (name == "." || name == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveFolderTree(full);
        } else {
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(full.c_str());
        }
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
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

bool RunToEnd(const std::string& commandLine, bool* wow64) {
    std::string line = commandLine;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    bool done = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
    if (wow64) {
        BOOL yes = FALSE;
        *wow64 = IsWow64Process(pi.hProcess, &yes) && yes;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
}

namespace {

std::function<void(frmRestore&)> g_restoreBody;
DWORD g_restoreOpened = 0;

void CALLBACK DriveRestoreWindow(HWND, UINT, UINT_PTR id, DWORD) {
    frmRestore& w = frmRestore::Get();
    bool built = w.IsLoaded() && w.lvwRegBackups.ColumnCount() == 3;
    if (!built && GetTickCount() - g_restoreOpened < 30000) return;
    KillTimer(nullptr, id);
    if (built && g_restoreBody) g_restoreBody(w);
    if (w.IsLoaded()) w.mnuClose_Click();
}

}  // namespace

void OpenRestoreWindow(std::function<void(frmRestore&)> body) {
    g_restoreBody = std::move(body);
    g_restoreOpened = GetTickCount();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, DriveRestoreWindow);
    frmRestore::Get().ShowModal();
    KillTimer(nullptr, timer);
    g_restoreBody = nullptr;
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
