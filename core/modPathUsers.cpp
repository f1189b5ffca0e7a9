#include "core/modPathUsers.h"
#include <windows.h>
#include <shlobj.h>

std::string GetLocalAppDataPath()
{
    char buf[MAX_PATH + 1] = {0};
    // CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE: the platform creates the folder when it is missing.
    // The result is not checked: a failed call leaves the buffer empty.
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buf);
    buf[MAX_PATH] = '\0';
    return buf;
}
