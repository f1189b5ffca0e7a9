#pragma once
// What the benchmarks share: the clock, the median, the reference walk (the least a walk of
// the whole registry must do) and the synthetic tree added under
// HKEY_CURRENT_USER\Software\HalvrenBench.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

const char TreeKey[] = "Software\\HalvrenBench";
const char Needle[] = "C:\\";
const int32_t FirstRoot = static_cast<int32_t>(0x80000000u);
const int32_t LastRoot = static_cast<int32_t>(0x80000006u);

inline double Now()
{
    static LARGE_INTEGER freq;
    if (!freq.QuadPart)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct WalkResult
{
    long keys = 0, values = 0, hits = 0, calls = 0, links = 0;
    double seconds = 0;
};

// ---- The reference: the least a walk must do ------------------------------------------------

class Reference
{
public:
    Reference() : m_name(32768), m_data(1 << 20)
    {
        char up[256];
        for (int c = 0; c < 256; ++c)
            up[c] = static_cast<char>(c);
        CharUpperBuffA(up, 256);
        std::memcpy(m_fold, up, 256);
        for (const char* p = Needle; *p; ++p)
            m_needle += m_fold[static_cast<unsigned char>(*p)];
    }

    WalkResult Walk()
    {
        m_r = WalkResult();
        const double t0 = Now();
        for (int32_t root = FirstRoot; root <= LastRoot; ++root) {
            HKEY h;
            if (RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root)), "", 0, KEY_READ, &h) !=
                ERROR_SUCCESS)
                continue;
            Keys(h);
            RegCloseKey(h);
        }
        m_r.seconds = Now() - t0;
        return m_r;
    }

private:
    bool Match(const char* s, size_t n) const
    {
        const size_t m = m_needle.size();
        for (size_t i = 0; i + m <= n; ++i) {
            size_t k = 0;
            while (k < m && m_fold[static_cast<unsigned char>(s[i + k])] == m_needle[k])
                ++k;
            if (k == m)
                return true;
        }
        return false;
    }

    void Keys(HKEY h)
    {
        char name[1024];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof(name);
            if (RegEnumKeyExA(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            ++m_r.keys;
            if (Match(name, cch))
                ++m_r.hits;
            HKEY child;
            if (RegOpenKeyExA(h, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
                continue;
            Values(child);
            Keys(child);
            RegCloseKey(child);
        }
    }

    // Only string data can hold the needle; other types are not turned into text.
    void Values(HKEY h)
    {
        for (DWORD i = 0;; ++i) {
            DWORD cch = static_cast<DWORD>(m_name.size()), cb = static_cast<DWORD>(m_data.size()), type;
            if (RegEnumValueA(h, i, m_name.data(), &cch, nullptr, &type, m_data.data(), &cb) != ERROR_SUCCESS)
                break;
            ++m_r.values;
            if (Match(m_name.data(), cch))
                ++m_r.hits;
            if (type == REG_SZ || type == REG_MULTI_SZ) {
                const char* d = reinterpret_cast<const char*>(m_data.data());
                if (Match(d, strnlen(d, cb)))
                    ++m_r.hits;
            }
        }
    }

    std::vector<char> m_name;
    std::vector<BYTE> m_data;
    char m_fold[256];
    std::string m_needle;
    WalkResult m_r;
};

// ---- The synthetic tree ----------------------------------------------------------------------

inline uint32_t g_seed = 12345;
inline uint32_t Rand()
{
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 8;
}

inline std::string Text(size_t n)
{
    static const char Words[][10] = {"alpha", "Setting", "value", "D:\\data", "mode", "%TEMP%", "x86", "Item"};
    std::string s;
    while (s.size() < n) {
        s += Words[Rand() % 8];
        s += ' ';
    }
    s.resize(n);
    return s;
}

inline void SetValue(HKEY h, const std::string& name, DWORD type, const std::string& bytes)
{
    RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
}

// About one value in twenty holds "C:\" (in either letter case); a few are longer than 4096
// bytes, some of those with "C:\" at their end.
inline void AddValues(HKEY h, int count, int keyNo)
{
    for (int j = 0; j < count; ++j) {
        const std::string name = (j == 0 && keyNo % 7 == 0) ? std::string() : "Value" + std::to_string(j) + "_" +
                                                                                  std::to_string(Rand() % 1000);
        const uint32_t r = Rand() % 100;
        if (r < 5) {
            std::string path = (Rand() % 2 ? "C:\\Program Files\\Vendor" : "c:\\program files\\vendor") +
                               std::to_string(keyNo % 97) + "\\bin\\tool" + std::to_string(j) + ".exe";
            SetValue(h, name, REG_SZ, path + '\0');
        } else if (r < 45) {
            SetValue(h, name, REG_SZ, Text(5 + Rand() % 75) + '\0');
        } else if (r < 65) {
            const uint32_t v = Rand();
            SetValue(h, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), 4));
        } else if (r < 80) {
            std::string b(Rand() % 500 == 0 ? 6000 : 4 + Rand() % 60, '\0');
            for (char& c : b)
                c = static_cast<char>(Rand());
            SetValue(h, name, REG_BINARY, b);
        } else if (r < 90) {
            SetValue(h, name, REG_EXPAND_SZ, "%SystemRoot%\\system32\\x" + std::to_string(Rand() % 9999) + ".dll" + '\0');
        } else if (r < 95) {
            SetValue(h, name, REG_MULTI_SZ, Text(12) + '\0' + Text(20) + '\0' + '\0');
        } else {
            std::string t = Text(Rand() % 1000 == 0 ? 8000 : 200 + Rand() % 400);
            if (t.size() > 4096)
                t += " C:\\Windows\\long.dll";
            SetValue(h, name, REG_SZ, t + '\0');
        }
    }
}

// 20 x 20 x 50 keys: 20,420 keys, 4 values on every leaf and 2 on every inner key.
inline bool BuildTree(long& keys)
{
    HKEY top;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, TreeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    RegQueryInfoKeyA(top, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    keys = 0;
    if (subkeys == 0) {
        int keyNo = 0;
        for (int a = 0; a < 20; ++a) {
            HKEY ha;
            RegCreateKeyExA(top, ("Vendor" + std::to_string(a)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ha,
                            nullptr);
            AddValues(ha, 2, keyNo++);
            for (int b = 0; b < 20; ++b) {
                HKEY hb;
                RegCreateKeyExA(ha, ("Product " + std::to_string(b)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &hb, nullptr);
                AddValues(hb, 2, keyNo++);
                for (int c = 0; c < 50; ++c) {
                    HKEY hc;
                    char name[32];
                    std::snprintf(name, sizeof(name), "{%08X-item-%d}", Rand(), c);
                    RegCreateKeyExA(hb, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hc, nullptr);
                    AddValues(hc, 4, keyNo++);
                    RegCloseKey(hc);
                }
                RegCloseKey(hb);
            }
            RegCloseKey(ha);
        }
        keys = keyNo;
    }
    RegCloseKey(top);
    return true;
}

}  // namespace bench
