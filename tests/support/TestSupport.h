#pragma once
// What the window tests share: captured message boxes, registry and file seeding, and a
// way to let the message loop run for a while.
#include <windows.h>
#include <string>
#include <vector>

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

// Registry seeding under HKEY_CURRENT_USER (or another root).
void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& data,
               DWORD type = REG_SZ);
void SetBinary(HKEY root, const std::string& key, const std::string& name, const std::string& bytes, DWORD type);
void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
bool ValueExists(HKEY root, const std::string& key, const std::string& name);
bool KeyExists(HKEY root, const std::string& key);
// The value's type and raw bytes; false when it cannot be read.
bool ReadRaw(HKEY root, const std::string& key, const std::string& name, DWORD& type, std::string& bytes);
void DeleteTree(HKEY root, const std::string& key);

// Whole-file helpers (bytes as they are on disk).
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFolderTree(const std::string& path);

}  // namespace testing_support
