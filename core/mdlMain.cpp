#include "core/mdlMain.h"
#include <shlwapi.h>
#include <cstring>

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
    rc = RegDeleteValueA(h, valueName.c_str());
    RegCloseKey(h);
    return rc;
}

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

bool PathExists(const std::string& path)
{
    return PathFileExistsA(path.c_str()) == TRUE;
}
