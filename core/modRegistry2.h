#pragma once
// The settings store: the program's settings as REG_SZ values of
// HKEY_CURRENT_USER\SOFTWARE\Quorvane\Halvren\Settings, read with a caller-supplied default.
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// A value as the store hands it out: a text, or a number for the DWORD types.
struct RegVariant {
    bool isNumber = false;
    int32_t number = 0;
    std::string text;
    RegVariant() = default;
    RegVariant(std::string t) : text(std::move(t)) {}
    // The number in decimal, or the text.
    std::string str() const;
};

std::string JoinKeyPath(const std::string& first, const std::string& second, const std::string& third);
// Writes one value into an open key; 0 also for types that are not written at all.
// *converted is false when the value could not be converted for its type (nothing is written then).
LONG WriteRegValue(HKEY key, const std::string& valueName, DWORD type, const RegVariant& value,
                   bool* converted = nullptr);
// 0 when read; -1 for a type that is not handled; otherwise the registry's code.
LONG ReadRegValue(HKEY key, const std::string& valueName, RegVariant& value, DWORD& type);
RegVariant GetRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                         const std::string& defaultValue, HKEY root, const std::string& baseKey,
                         bool writeAccess);
bool SaveRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                    const std::string& value, HKEY root, const std::string& baseKey, DWORD type);
bool DeleteRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                      HKEY root, const std::string& baseKey, bool unused = false);
std::string RootKeyToName(HKEY root);
HKEY RootNameToKey(const std::string& name);
void EnumRegKeys(std::vector<std::string>& names, std::vector<bool>& hasChildren, const std::string& rootName,
                 const std::string& keyPath, bool checkChildren);

// The program's own settings: application title, section "Settings", HKEY_CURRENT_USER,
// base key "SOFTWARE\Quorvane", the empty text as default, read access, REG_SZ.
RegVariant GetSetting(const std::string& valueName);
bool SaveSetting(const std::string& valueName, const std::string& value);
// The same store for a caller that must know the outcome: 0, or the system's error code.
LONG StoreSetting(const std::string& valueName, const std::string& value);
