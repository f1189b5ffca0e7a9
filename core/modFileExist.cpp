#include "core/modFileExist.h"
#include <windows.h>

bool FileExist(const std::string& path)
{
    // A file's length can be taken only for a file: a folder, a missing file or a bad name
    // (wildcards included) answer false.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
