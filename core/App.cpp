#include "core/App.h"
#include "core/modPathUsers.h"
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
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), (DWORD)buf.size());
        if (n == 0)
            return std::string();
        if (n < buf.size()) {
            std::string path(buf.data(), n);
            size_t slash = path.find_last_of('\\');
            return slash == std::string::npos ? std::string() : path.substr(0, slash);
        }
        buf.resize(buf.size() * 2);   // truncated: the program lies deeper than MAX_PATH
        if (buf.size() > 65536)
            return std::string();
    }
}

std::string DataFolder()
{
    return GetLocalAppDataPath() + "\\Quorvane\\Halvren";
}

std::string BackupFolder() { return DataFolder() + "\\RegBackups"; }
