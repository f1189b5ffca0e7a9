#pragma once
// Single registry value edits outside the settings store, the root-name map of the error
// list, and the path test.
#include <windows.h>
#include <string>

bool SetRegStringValue(HKEY key, const std::string& subKey, const std::string& valueName, const std::string& text);
// Deletes one value of an existing key (never creates the key); the registry's answer.
LONG DeleteRegValue(HKEY key, const std::string& subKey, const std::string& valueName);
// path is the key path, "\" and the value name; data is not used. Returns false, deleting
// nothing, when the path holds no "\".
bool DeleteRegValuePath(HKEY key, const std::string& path, const std::string& data);
// "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA" to 0x80000000 ... 0x80000006, exact comparison;
// anything else (and "HKEY_ALL") gives 0.
HKEY GetRootKeyHandle(const std::string& rootName);
bool PathExists(const std::string& path);
