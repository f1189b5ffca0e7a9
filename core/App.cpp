#include "core/App.h"
#include "core/modPathUsers.h"
#include <windows.h>
#include <vector>

std::string FormatVersionText(unsigned major, unsigned minor, unsigned revision)
{
    return std::to_string(major) + "." + std::to_string(minor) + std::to_string(revision);
}

std::string VersionText()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
        return std::string();
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!GetFileVersionInfoA(path, 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO))
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
