#include "core/App.h"
#include "core/modPathUsers.h"
#include <windows.h>
#include <vector>

std::string VersionText()
{
    return std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) + std::to_string(VersionRevision);
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
