#include "core/App.h"
#include "core/modPathUsers.h"
#include "core/Text.h"
#include <algorithm>
#include <windows.h>
#include <vector>

std::string FormatVersionText(unsigned major, unsigned minor, unsigned revision)
{
    return std::to_string(major) + "." + std::to_string(minor) + std::to_string(revision);
}

// Read from the running module itself: its file name may be longer than MAX_PATH or hold
// characters the ANSI code page lacks, and the version must not depend on either.
std::string VersionText()
{
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));  // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = found ? SizeofResource(self, found) : 0;
    if (!data || size == 0)
        return std::string();
    // VerQueryValue may write into the block it reads, and a resource is read-only: use a copy.
    std::vector<char> info(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE)
        return std::string();
    // FILEVERSION major, minor, revision, build
    return FormatVersionText(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                             HIWORD(fixed->dwFileVersionLS));
}

std::string ProgramFolder()
{
    std::vector<wchar_t> buf(MAX_PATH);
    DWORD n = 0;
    for (;;) {
        n = GetModuleFileNameW(nullptr, buf.data(), (DWORD)buf.size());
        if (n == 0)
            return std::string();
        if (n < buf.size())
            break;
        buf.resize(buf.size() * 2);   // truncated: the program lies deeper than MAX_PATH
        if (buf.size() > 65536)
            return std::string();
    }
    std::wstring path(buf.data(), n);
    path.erase(std::min(path.size(), path.find_last_of(L'\\')));
    // The ANSI file functions cannot open a folder whose name the code page cannot spell, nor
    // one deeper than MAX_PATH; its short name serves them, where the volume keeps short names.
    if (!HasAnsiForm(path.data(), path.size()) || path.size() >= MAX_PATH) {
        std::wstring shortPath(path.size() + 1, L'\0');
        DWORD m = GetShortPathNameW(path.c_str(), &shortPath[0], (DWORD)shortPath.size());
        if (m > 0 && m < shortPath.size() && HasAnsiForm(shortPath.data(), m))
            return ToAnsi(shortPath.substr(0, m));
    }
    return ToAnsi(path);
}

std::string DataFolder()
{
    return GetLocalAppDataPath() + "\\Quorvane\\Halvren";
}

std::string BackupFolder() { return DataFolder() + "\\RegBackups"; }
