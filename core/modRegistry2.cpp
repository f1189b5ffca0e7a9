#include "core/modRegistry2.h"
#include "core/App.h"
#include "core/Text.h"
#include <cmath>

namespace {

// Writes, value deletions and reads with write access ask for this much, not KEY_ALL_ACCESS.
constexpr REGSAM WriteAccess = 0x3F;

std::string TrimSpaces(const std::string& s)
{
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// A text as a signed 32-bit number: blanks around it, a sign, digits and a fraction,
// rounded half to even. Anything else does not convert.
bool TextToLong(const std::string& text, int32_t& out)
{
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos)
        return false;
    size_t e = text.find_last_not_of(" \t") + 1;
    size_t i = b;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    double whole = 0, frac = 0, scale = 1;
    int digits = 0;
    while (i < e && text[i] >= '0' && text[i] <= '9') {
        whole = whole * 10 + (text[i++] - '0');
        ++digits;
    }
    if (i < e && text[i] == '.') {
        ++i;
        while (i < e && text[i] >= '0' && text[i] <= '9') {
            scale /= 10;
            frac += (text[i++] - '0') * scale;
            ++digits;
        }
    }
    if (digits == 0 || i != e)
        return false;
    double v = std::nearbyint(whole + frac);   // the default rounding mode is half to even
    if (negative)
        v = -v;
    if (v < -2147483648.0 || v > 2147483647.0)
        return false;
    out = (int32_t)v;
    return true;
}

bool ToLong(const RegVariant& value, int32_t& out)
{
    if (value.isNumber) {
        out = value.number;
        return true;
    }
    return TextToLong(value.text, out);
}

struct RootName {
    HKEY key;
    const char* name;
};
// The settings store knows five roots by name; the error list's map is a separate table.
const RootName StoreRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

} // namespace

std::string RegVariant::str() const
{
    return isNumber ? std::to_string(number) : text;
}

std::string JoinKeyPath(const std::string& first, const std::string& second, const std::string& third)
{
    std::string path = first;
    for (const std::string* part : {&second, &third}) {
        if (part->empty())
            continue;
        if (!path.empty())
            path += '\\';
        path += *part;
    }
    // Runs of backslashes collapse first; slashes become backslashes only afterwards, so a
    // slash beside a backslash leaves a doubled one.
    std::string collapsed;
    collapsed.reserve(path.size());
    for (char c : path) {
        if (c == '\\' && !collapsed.empty() && collapsed.back() == '\\')
            continue;
        collapsed += c;
    }
    for (char& c : collapsed)
        if (c == '/')
            c = '\\';
    return collapsed;
}

LONG WriteRegValue(HKEY key, const std::string& valueName, DWORD type, const RegVariant& value, bool* converted)
{
    if (converted)
        *converted = true;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::string text = value.str();
        return RegSetValueExA(key, valueName.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              (DWORD)text.size() + 1);
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        int32_t n;
        if (!ToLong(value, n)) {
            if (converted)
                *converted = false;
            return ERROR_INVALID_DATA;
        }
        // Little-endian for both types: the big-endian type is not byte-swapped.
        uint32_t u = (uint32_t)n;
        BYTE data[4] = {BYTE(u), BYTE(u >> 8), BYTE(u >> 16), BYTE(u >> 24)};
        return RegSetValueExA(key, valueName.c_str(), 0, type, data, 4);
    }
    default:
        return ERROR_SUCCESS;
    }
}

LONG ReadRegValue(HKEY key, const std::string& valueName, RegVariant& value, DWORD& type)
{
    value = RegVariant();
    type = 0;
    DWORD t = 0, size = 0;
    LONG rc = RegQueryValueExA(key, valueName.c_str(), nullptr, &t, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    type = t;
    switch (t) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_BINARY: {
        std::string data(size ? size : 1, '\0');
        DWORD got = (DWORD)data.size();
        rc = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &got);
        if (rc != ERROR_SUCCESS)
            return rc;
        // The second answer's size counts: the first may be an estimate.
        data.resize(got < data.size() ? got : data.size());
        if (t == REG_BINARY) {
            static const char hex[] = "0123456789ABCDEF";
            std::string text;
            for (unsigned char c : data) {
                if (!text.empty())
                    text += ' ';
                text += hex[c >> 4];
                text += hex[c & 15];
            }
            value.text = text;
        } else {
            // Drop the terminating NUL; text stored without one keeps its last character.
            if (!data.empty() && data.back() == '\0')
                data.pop_back();
            value.text = data;
        }
        return ERROR_SUCCESS;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        // Zero-filled, so shorter data reads as a small number rather than as stray bytes.
        BYTE data[4] = {0, 0, 0, 0};
        DWORD got = 4;
        rc = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, data, &got);
        if (rc != ERROR_SUCCESS)
            return rc;
        value.isNumber = true;
        value.number = (int32_t)(data[0] | (data[1] << 8) | (data[2] << 16) | ((uint32_t)data[3] << 24));
        return ERROR_SUCCESS;
    }
    default:
        return -1;
    }
}

RegVariant GetRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                         const std::string& defaultValue, HKEY root, const std::string& baseKey, bool writeAccess)
{
    try {
        std::string path = JoinKeyPath(baseKey, appName, section);
        RegVariant value;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, writeAccess ? WriteAccess : KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD type;
            ReadRegValue(key, valueName, value, type);
            RegCloseKey(key);
        }
        if (!value.isNumber && TrimSpaces(value.text).empty())
            return RegVariant(defaultValue);
        return value;
    } catch (...) {
        return RegVariant(defaultValue);
    }
}

bool SaveRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                    const std::string& value, HKEY root, const std::string& baseKey, DWORD type)
{
    std::string path = JoinKeyPath(baseKey, appName, section);
    HKEY key = nullptr;
    // Neither the creation nor the write is checked: only a failed conversion is reported.
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, WriteAccess, nullptr, &key, nullptr) != ERROR_SUCCESS)
        key = nullptr;
    bool converted = true;
    WriteRegValue(key, valueName, type, RegVariant(value), &converted);
    if (key)
        RegCloseKey(key);
    return converted;
}

bool DeleteRegSetting(const std::string& appName, const std::string& section, const std::string& valueName,
                      HKEY root, const std::string& baseKey, bool)
{
    std::string path = JoinKeyPath(baseKey, appName, section);
    if (!valueName.empty()) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, WriteAccess, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        LONG rc = RegDeleteValueA(key, valueName.c_str());
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }
    // An empty key path names the root itself; deleting "its tree" would empty the whole root.
    if (path.find_first_not_of('\\') == std::string::npos)
        return false;
    LONG rc = RegDeleteKeyA(root, path.c_str());
    if (rc == ERROR_ACCESS_DENIED) {
        // A key with subkeys: delete each subtree, then the key.
        std::vector<std::string> names;
        std::vector<bool> hasChildren;
        EnumRegKeys(names, hasChildren, RootKeyToName(root), path, false);
        for (const std::string& name : names)
            DeleteRegSetting(path + "\\" + name, "", "", root, "");
        rc = RegDeleteKeyA(root, path.c_str());
    }
    return rc == ERROR_SUCCESS;
}

std::string RootKeyToName(HKEY root)
{
    for (const RootName& r : StoreRoots)
        if (r.key == root)
            return r.name;
    return std::string();
}

HKEY RootNameToKey(const std::string& name)
{
    std::string upper = UpperAnsi(name);
    for (const RootName& r : StoreRoots)
        if (upper == r.name)
            return r.key;
    return nullptr;
}

void EnumRegKeys(std::vector<std::string>& names, std::vector<bool>& hasChildren, const std::string& rootName,
                 const std::string& keyPath, bool checkChildren)
{
    names.clear();
    hasChildren.clear();
    std::string path = JoinKeyPath(keyPath, "", "");
    HKEY root = RootNameToKey(rootName);
    char buf[2000];
    for (DWORD index = 0;; ++index) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;
        LONG rc = RegEnumKeyA(key, index, buf, sizeof buf);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return;
        buf[sizeof buf - 1] = '\0';
        std::string name = buf;
        if (checkChildren) {
            std::string sub = path.empty() ? name : path + "\\" + name;
            bool children = false;
            HKEY subKey = nullptr;
            if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &subKey) == ERROR_SUCCESS) {
                char child[2000];
                children = RegEnumKeyA(subKey, 0, child, sizeof child) == ERROR_SUCCESS;
                RegCloseKey(subKey);
            }
            hasChildren.push_back(children);
        }
        names.push_back(name);
    }
}

RegVariant GetSetting(const std::string& valueName)
{
    return GetRegSetting(AppTitle, "Settings", valueName, "", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane", false);
}

bool SaveSetting(const std::string& valueName, const std::string& value)
{
    return SaveRegSetting(AppTitle, "Settings", valueName, value, HKEY_CURRENT_USER, "SOFTWARE\\Quorvane", REG_SZ);
}

LONG StoreSetting(const std::string& valueName, const std::string& value)
{
    const std::string path = JoinKeyPath("SOFTWARE\\Quorvane", AppTitle, "Settings");
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, WriteAccess, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = WriteRegValue(key, valueName, REG_SZ, RegVariant(value));
    RegCloseKey(key);
    return rc;
}
