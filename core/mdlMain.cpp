#include "core/mdlMain.h"
#include <shlwapi.h>
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/Text.h"

namespace {
RegDeleteValueFn g_deleteValue = RegDeleteValueA;
QueryKeyFn g_queryKey = nullptr;  // null: ntdll's own
}  // namespace

bool SetRegStringValue(HKEY key, const std::string& subKey, const std::string& valueName, const std::string& text)
{
    HKEY h = nullptr;
    // Opened, never created: the value is written only into a key that already exists.
    if (RegOpenKeyExA(key, subKey.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS)
        return false;
    BYTE data[1024];
    std::memset(data, 0, sizeof data);
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(h, valueName.c_str(), nullptr, &type, data, &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        type = REG_SZ;
    bool written = false;
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        if (type == REG_SZ) {
            // The text is stored without a terminating NUL. The registry counts a NUL that
            // directly follows string data into the value, so the text is passed with a
            // non-NUL byte behind it.
            std::string padded = text + '\x01';
            rc = RegSetValueExA(h, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(padded.data()),
                                (DWORD)text.size());
        } else {
            // A value of another type keeps its own data.
            rc = RegSetValueExA(h, valueName.c_str(), 0, type, data, size);
        }
        written = rc == ERROR_SUCCESS;
    }
    RegCloseKey(h);
    return written;
}

LONG DeleteRegValue(HKEY key, const std::string& subKey, const std::string& valueName)
{
    if (!key)
        return ERROR_INVALID_HANDLE;   // an unknown root name
    HKEY h = nullptr;
    // Opened, never created: a key that is gone has no value to delete, and making it again
    // would leave an empty key behind.
    LONG rc = RegOpenKeyExA(key, subKey.c_str(), 0, KEY_SET_VALUE, &h);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = g_deleteValue(h, valueName.c_str());
    RegCloseKey(h);
    return rc;
}

void SetDeleteValueHook(RegDeleteValueFn deleteValue) { g_deleteValue = deleteValue ? deleteValue : RegDeleteValueA; }

bool DeleteRegValuePath(HKEY key, const std::string& path, const std::string&)
{
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return false;
    DeleteRegValue(key, path.substr(0, slash), path.substr(slash + 1));
    return true;
}

HKEY GetRootKeyHandle(const std::string& rootName)
{
    static const struct {
        const char* name;
        HKEY key;
    } roots[] = {
        {"HKEY_ALL", nullptr},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    };
    for (const auto& r : roots)
        if (rootName == r.name)
            return r.key;
    return nullptr;
}

namespace {

// Whether this 32-bit process runs on 64-bit Windows. Looked up by name: 32-bit Windows before
// XP SP2 lacks the function, and there nothing is redirected.
bool RunsUnderWow64() {
    static const bool wow64 = [] {
        using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        const auto isWow64 = SystemFunction<Fn>("kernel32.dll", "IsWow64Process");
        BOOL yes = FALSE;
        return isWow64 && isWow64(GetCurrentProcess(), &yes) && yes;
    }();
    return wow64;
}

}  // namespace

// The kernel's name of an open key, such as \REGISTRY\MACHINE\SOFTWARE\Wow6432Node\Vendor; empty
// when it cannot be asked.
std::wstring KernelKeyName(HKEY key) {
    static const auto ntQueryKey = SystemFunction<QueryKeyFn>("ntdll.dll", "NtQueryKey");
    const QueryKeyFn queryKey = g_queryKey ? g_queryKey : ntQueryKey;
    if (!queryKey) return L"";
    const int KeyNameInformation = 3;
    std::vector<BYTE> info(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        LONG status = queryKey(key, KeyNameInformation, info.data(), static_cast<ULONG>(info.size()), &needed);
        if (status >= 0) {
            ULONG bytes = 0;
            memcpy(&bytes, info.data(), sizeof bytes);
            if (bytes > info.size() - sizeof(ULONG)) return L"";
            return std::wstring(reinterpret_cast<const wchar_t*>(info.data() + sizeof(ULONG)), bytes / sizeof(wchar_t));
        }
        // STATUS_BUFFER_OVERFLOW, STATUS_BUFFER_TOO_SMALL
        if (static_cast<ULONG>(status) != 0x80000005UL && static_cast<ULONG>(status) != 0xC0000023UL) return L"";
        info.resize(std::max<size_t>(needed + sizeof(wchar_t), info.size() * 2));
    }
    return L"";
}

namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

// How many parts of a key name are "Wow6432Node".
int Wow64NodeCount(const std::wstring& name) {
    int count = 0;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        if (SameText(name.substr(start, end - start), L"Wow6432Node")) ++count;
        start = end + 1;
    }
    return count;
}

// Whether `name` begins with the key name `prefix`, as a whole part; `rest` receives what
// follows it, its "\" included.
bool StartsWithKey(const std::wstring& name, const std::wstring& prefix, std::wstring& rest) {
    if (prefix.empty() || name.size() < prefix.size() || !SameText(name.substr(0, prefix.size()), prefix))
        return false;
    if (name.size() > prefix.size() && name[prefix.size()] != L'\\') return false;
    rest = name.substr(prefix.size());
    return true;
}

}  // namespace

void SetQueryKeyHook(QueryKeyFn queryKey) { g_queryKey = queryKey; }

bool RealKeyName(const std::string& rootName, const std::string& keyPath, std::string& name) {
    name = keyPath.empty() ? rootName : rootName + "\\" + keyPath;
    const HKEY root = GetRootKeyHandle(rootName);
    if (!RunsUnderWow64() || !root || keyPath.empty()) return true;
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    const std::wstring real = KernelKeyName(h);
    RegCloseKey(h);
    if (real.empty()) return false;
    if (Wow64NodeCount(real) <= Wow64NodeCount(FromAnsi(name))) return true;

    std::wstring user, rest;
    if (RegOpenCurrentUser(KEY_QUERY_VALUE, &h) == ERROR_SUCCESS) {
        user = KernelKeyName(h);
        RegCloseKey(h);
    }
    if (StartsWithKey(real, user, rest))
        name = "HKEY_CURRENT_USER" + ToAnsi(rest);
    else if (StartsWithKey(real, L"\\REGISTRY\\USER", rest))
        name = "HKEY_USERS" + ToAnsi(rest);
    else if (StartsWithKey(real, L"\\REGISTRY\\MACHINE", rest))
        name = "HKEY_LOCAL_MACHINE" + ToAnsi(rest);
    else
        return false;  // a place no root name stands for
    return true;
}

namespace {

// Whether the redirector may have shown this process another file than the native view holds:
// all it redirects lies in the Windows folder (System32, its last-good copy, regedit.exe), so a
// full path that does not name that folder, nor holds a short name that might stand for it,
// sees the same file either way. `full` is the path as GetFullPathNameA gives it.
bool FullPathMayBeRedirected(const std::string& full) {
    static const std::string windows = [] {
        char folder[MAX_PATH];
        const UINT n = GetSystemWindowsDirectoryA(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::string();
        std::string name(folder, n);
        while (!name.empty() && name.back() == '\\') name.pop_back();
        const size_t slash = name.rfind('\\');
        return UpperAnsi(slash == std::string::npos ? name : name.substr(slash + 1));
    }();
    if (windows.empty()) return true;
    const std::string upper = UpperAnsi(full);
    return upper.find('~') != std::string::npos || upper.find(windows) != std::string::npos;
}

bool MayBeRedirected(const std::string& path) {
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n == 0 || n >= sizeof full || FullPathMayBeRedirected(std::string(full, n));
}

}  // namespace

bool PathExists(const std::string& path) {
    if (PathFileExistsA(path.c_str()) == TRUE) return true;
    if (!RunsUnderWow64() || !MayBeRedirected(path)) return false;
    // The redirector shows this process SysWOW64 where it asks for System32: a file that only
    // the native folder holds (a driver, a 64-bit program's library) exists all the same. The
    // redirection is off for this one call on this thread alone.
    using Disable = BOOL(WINAPI*)(PVOID*);
    using Revert = BOOL(WINAPI*)(PVOID);
    static const auto disable = SystemFunction<Disable>("kernel32.dll", "Wow64DisableWow64FsRedirection");
    static const auto revert = SystemFunction<Revert>("kernel32.dll", "Wow64RevertWow64FsRedirection");
    PVOID old = nullptr;
    if (!disable || !revert || !disable(&old)) return false;
    const bool exists = PathFileExistsA(path.c_str()) == TRUE;
    revert(old);
    return exists;
}

std::string FolderDeciding(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full || path.compare(0, std::string::npos, full, n) != 0) return std::string();
    // The parts are cut at the last "\" that is a character of its own, not the second byte of
    // a double-byte one.
    size_t last = std::string::npos, partStart = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c != '\\') continue;
        if (i > partStart && (path[i - 1] == '.' || path[i - 1] == ' ')) return std::string();
        last = i;
        partStart = i + 1;
    }
    // "C:\FILE" has no folder but the root, which is there.
    if (last == std::string::npos || last < 3) return std::string();
    // The path is its own full form, checked above.
    if (RunsUnderWow64() && FullPathMayBeRedirected(path)) return std::string();
    return path.substr(0, last);
}

bool FolderMissing(const std::string& folder) {
    if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
