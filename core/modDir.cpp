#include "core/modDir.h"
#include <windows.h>

namespace {

bool IsSep(char c)
{
    return c == '\\' || c == '/';
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The drive part of a path: "C:" for C:\A\B, "\\server\share" for a UNC path, the empty
// text for a relative path.
std::string DriveName(const std::string& path)
{
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':')
        return path.substr(0, 2);
    if (path.size() > 2 && IsSep(path[0]) && IsSep(path[1])) {
        size_t server = path.find_first_of("\\/", 2);
        if (server == std::string::npos || server == 2)
            return std::string();
        size_t share = path.find_first_of("\\/", server + 1);
        if (share == server + 1)
            return std::string();
        return path.substr(0, share);
    }
    return std::string();
}

// A drive given as "C", "C:", "C:\" or "\\server\share" (with or without a closing "\");
// any longer path is not a drive.
bool DriveExists(const std::string& drive)
{
    if (!drive.empty() && IsLetter(drive[0]) &&
        (drive.size() == 1 || (drive[1] == ':' && (drive.size() == 2 || (drive.size() == 3 && IsSep(drive[2])))))) {
        int bit = (drive[0] | 0x20) - 'a';
        return (GetLogicalDrives() >> bit) & 1;
    }
    std::string unc = drive;
    if (!unc.empty() && IsSep(unc.back()))
        unc.pop_back();
    if (unc.empty() || DriveName(unc) != unc)
        return false;
    UINT type = GetDriveTypeA((unc + "\\").c_str());
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

bool FolderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool CreateFolderTree(const std::string& path)
{
    if (!DriveExists(DriveName(path)))
        return false;
    std::string full = path;
    if (full.empty() || full.back() != '\\')
        full += '\\';
    for (size_t slash = full.find('\\'); slash != std::string::npos; slash = full.find('\\', slash + 1)) {
        std::string prefix = full.substr(0, slash + 1);
        // Fails for a folder that exists already and for the drive root; the test below decides.
        CreateDirectoryA(prefix.c_str(), nullptr);
        if (!DriveExists(prefix) && !FolderExists(prefix))
            return false;
    }
    return true;
}
