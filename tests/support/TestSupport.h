#pragma once
// What the window tests share: captured message boxes, registry and file seeding, guards that
// put settings and files back, and a way to let the message loop run for a while.
#include <windows.h>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class frmRestore;

namespace testing_support {

struct CapturedBox {
    std::wstring text;
    std::wstring title;
    unsigned flags;
};

// Captures every message box of the program while it lives; each box is answered with
// `answer` (IDOK by default) instead of being shown.
class MessageBoxCapture {
public:
    explicit MessageBoxCapture(int answer = IDOK);
    ~MessageBoxCapture();
    std::vector<CapturedBox> boxes;
    int answer;
};

// Runs the message loop for about `ms` milliseconds.
void PumpFor(DWORD ms);
// Runs the message loop until `done` or about `ms` milliseconds have passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000);

// Registry seeding under HKEY_CURRENT_USER (or another root).
void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& data,
               DWORD type = REG_SZ);
void SetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes, DWORD type);
void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
bool ValueExists(HKEY root, const std::string& key, const std::string& name);
// The value's type and raw bytes; false when it cannot be read.
bool ReadRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type, std::string& bytes);
void DeleteTree(HKEY root, const std::string& key);

// The program's settings key below HKEY_CURRENT_USER.
constexpr char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";

// Stores one of the program's settings; an empty text removes the value.
void PutSetting(const std::string& name, const std::string& text);

// Keeps some of the program's settings as they were: remembered now, put back (or removed
// when there was none) when the guard goes.
class SettingGuard {
public:
    explicit SettingGuard(const char* name) : SettingGuard({name}) {}
    explicit SettingGuard(std::initializer_list<const char*> names);
    ~SettingGuard();
    SettingGuard(const SettingGuard&) = delete;
    SettingGuard& operator=(const SettingGuard&) = delete;

private:
    struct Saved {
        std::string name;
        bool had;
        DWORD type;
        std::string bytes;
    };
    std::vector<Saved> saved_;
};

// Keeps a file as it was: its bytes written back, or the file removed when there was none.
class FileGuard {
public:
    explicit FileGuard(std::string path);
    ~FileGuard();
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    const std::string path;

private:
    bool had_;
    std::string bytes_;
};

// Stores "English" as the interface language and loads its texts.
void UseEnglish();

// Whole-file helpers (bytes as they are on disk).
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFolderTree(const std::string& path);

// A started copy of halvren.exe (from the program folder), ended when it goes out of scope,
// whatever the test asserted.
struct StartedProgram {
    PROCESS_INFORMATION pi = {};
    bool Start(const std::string& exe);
    ~StartedProgram();
};

// Runs a command line to its end (at most two minutes); false when it could not be started or
// did not end. `wow64`, when given, receives whether the program ran as a 32-bit process on
// 64-bit Windows.
bool RunToEnd(const std::string& commandLine, bool* wow64 = nullptr);

// Shows the restore window modally, as the main window's Restore command does, runs `body` inside
// its modal loop once the list is built, then closes it.
void OpenRestoreWindow(std::function<void(frmRestore&)> body);

// The visible top-level window with a title bar, of class `cls` and titled `title`, that
// process `pid` shows within about fifteen seconds; null when none appears.
HWND WaitForWindow(DWORD pid, const wchar_t* cls, const std::wstring& title);

}  // namespace testing_support
