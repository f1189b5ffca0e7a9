#pragma once
// Single registry value edits outside the settings store, the root-name map of the error
// list, and the path test. What a 32-bit process sees redirected on 64-bit Windows (System32,
// parts of the registry) is dealt with here alone: in PathExists and in RealKeyName.
#include <windows.h>
#include <string>

bool SetRegStringValue(HKEY key, const std::string& subKey, const std::string& valueName, const std::string& text);
// Deletes one value of an existing key (never creates the key); the registry's answer.
LONG DeleteRegValue(HKEY key, const std::string& subKey, const std::string& valueName);
// Tests replace the system call behind DeleteRegValue; nullptr brings back the real one.
using RegDeleteValueFn = LONG(WINAPI*)(HKEY, LPCSTR);
void SetDeleteValueHook(RegDeleteValueFn deleteValue);
// path is the key path, "\" and the value name; data is not used. Returns false, deleting
// nothing, when the path holds no "\".
bool DeleteRegValuePath(HKEY key, const std::string& path, const std::string& data);
// "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA" to 0x80000000 ... 0x80000006, exact comparison;
// anything else (and "HKEY_ALL") gives 0.
HKEY GetRootKeyHandle(const std::string& rootName);
// The name of a key for a backup file, root name included: the key as the walk saw it, or, when
// this process runs under WOW64 and the key it opens lives under a "Wow6432Node" that the seen
// name lacks, the key's real place, so that a 32-bit and a 64-bit registry editor both put a
// value back where it was read. False when under WOW64 the key cannot be opened or its real
// name cannot be read: the name seen might then stand for a key of the other view.
bool RealKeyName(const std::string& rootName, const std::string& keyPath, std::string& name);
// Tests replace the kernel's key-name query behind RealKeyName; nullptr brings back the real one.
using QueryKeyFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
void SetQueryKeyHook(QueryKeyFn queryKey);
// An open key's full name as the kernel knows it (\REGISTRY\...); "" when it cannot be asked.
std::wstring KernelKeyName(HKEY key);
// Whether a file or folder exists. Under WOW64 a path counts as missing only when it exists in
// neither view of the file system.
bool PathExists(const std::string& path);
// The folder of a full path whose absence proves the path missing too, or "" when it would
// not: a path the system reads otherwise than it is written (relative, ".", "..", a part that
// ends in a dot or a blank), a path right under a drive's root, or one the WOW64 redirector may
// show another way.
std::string FolderDeciding(const std::string& path);
// Whether a folder is plainly absent: the system answers "not found", not "no access".
bool FolderMissing(const std::string& folder);

// A function of a system library that older Windows may lack; null when it does.
template <class Fn>
Fn SystemFunction(const char* module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}
