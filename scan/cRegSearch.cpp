#include "scan/cRegSearch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/mdlMain.h"

namespace {

constexpr int32_t FirstRoot = static_cast<int32_t>(0x80000000u);
constexpr int32_t LastRoot = static_cast<int32_t>(0x80000006u);

// Value names hold at most 16383 characters, two bytes each under a multi-byte code page, so
// this buffer never needs to grow for a name; data grows on demand.
constexpr size_t ValueNameBytes = 32768;
constexpr size_t ValueDataBytes = 65536;
// A walk that met a huge value gives the memory back right after it.
constexpr size_t ValueDataKeep = 1 << 20;
// The registry nests keys no deeper; a walk that would go deeper is going round a loop.
constexpr size_t MaxDepth = 512;

HKEY RootHandle(int32_t lRoot)
{
    // Predefined handles are sign-extended 32-bit values.
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(lRoot));
}

class KeyHandle
{
public:
    KeyHandle() = default;
    ~KeyHandle()
    {
        if (m_h)
            RegCloseKey(m_h);  // nothing to do about a failed close
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    bool Open(HKEY hParent, const char* pszName, DWORD dwOptions = 0)
    {
        if (RegOpenKeyExA(hParent, pszName, dwOptions, KEY_READ, &m_h) == ERROR_SUCCESS)
            return true;
        m_h = nullptr;
        return false;
    }
    HKEY Get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

// A link opened as itself holds its target's name in this value, and has no subkey.
bool HoldsLinkValue(HKEY hKey)
{
    DWORD lType = REG_NONE;
    return RegQueryValueExA(hKey, "SymbolicLinkValue", nullptr, &lType, nullptr, nullptr) == ERROR_SUCCESS &&
           lType == REG_LINK;
}

void UpperCase(std::wstring& s)
{
    if (!s.empty())
        CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
}

}  // namespace

cRegSearch::cRegSearch(cRegSearchEvents* pEvents) : m_pEvents(pEvents)
{
    for (int c = 0; c < 256; ++c)
        m_fold[c] = static_cast<char>(c);
}

cRegSearch::~cRegSearch()
{
    m_lStopCode = 1;
}

void cRegSearch::SetYield(std::function<void()> fnYield)
{
    m_fnYield = std::move(fnYield);
}

void cRegSearch::SetSubKey(const std::string& vData)
{
    m_sSubKey = vData;
}

void cRegSearch::SetSearchString(const std::string& vData)
{
    m_sSearchString = vData;
}

void cRegSearch::SetSearchFlags(int32_t vData)
{
    m_lSearchFlags = vData;
}

void cRegSearch::SetRootKey(int32_t vData)
{
    m_lRootKey = vData;
}

void cRegSearch::SetValueSizeLimit(size_t cbMax)
{
    m_cbValueLimit = cbMax;
}

void cRegSearch::StopSearch()
{
    m_lStopCode = 1;
}

void cRegSearch::DoSearch()
{
    if (m_bRunning)
        return;
    m_bRunning = true;

    try {
        PrepareMatch();
        if (m_valueName.size() < ValueNameBytes)
            m_valueName.resize(ValueNameBytes);
        if (m_valueData.size() < ValueDataBytes)
            m_valueData.resize(ValueDataBytes);
        m_levels.resize(MaxDepth);
        m_nLevels = 0;
    } catch (...) {
        Trap();
    }

    if (m_lRootKey != 0) {
        SearchRoot(m_lRootKey, (m_lSearchFlags & 3) != 0);
    } else {
        // Each root's own values are not searched in this mode.
        for (int32_t lRoot = FirstRoot; lRoot <= LastRoot && m_lStopCode == 0; ++lRoot)
            SearchRoot(lRoot, false);
    }

    if (m_valueData.size() > ValueDataKeep)
        std::vector<BYTE>().swap(m_valueData);

    // The walk is over even when the handler throws; its exception goes to our caller.
    struct Finish
    {
        cRegSearch* p;
        ~Finish()
        {
            p->m_lStopCode = 0;
            p->m_bRunning = false;
        }
    } finish{this};
    if (m_pEvents)
        m_pEvents->SearchFinished(m_lStopCode);
}

// The start key under one root: its values when asked for, then its subkeys. The key is
// opened once and serves both.
void cRegSearch::SearchRoot(int32_t lRoot, bool bValues)
{
    if (m_lStopCode != 0)
        return;
    try {
        m_sRootName = GetRootKeyName(lRoot);
    } catch (...) {
        Trap();
        return;
    }
    KeyHandle key;
    if (!key.Open(RootHandle(lRoot), m_sSubKey.c_str()))
        return;
    if (bValues)
        SearchValues(key.Get(), m_sSubKey, false);
    SearchKeys(key.Get(), m_sSubKey);
}

// The subkeys of the open key hKey, whose path below the root is sSubKey. Each subkey is
// opened once, relative to hKey, for both its values and its own subkeys; a link is opened as
// itself and entered through EnterLink. True when hKey was read and has no subkey.
bool cRegSearch::SearchKeys(HKEY hKey, const std::string& sSubKey)
{
    if (m_lStopCode != 0 || m_nLevels >= MaxDepth)
        return false;
    m_levels[m_nLevels] = Level{hKey, false, std::wstring()};
    struct Descent
    {
        size_t& n;
        ~Descent() { --n; }
    } descent{++m_nLevels};
    bool bEmpty = true;
    try {
        for (DWORD i = 0;;) {
            if (m_fnYield)
                m_fnYield();
            DWORD cchName = sizeof(m_keyName);
            if (RegEnumKeyExA(hKey, i, m_keyName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            ++i;
            bEmpty = false;
            // A name with a NUL in it cannot be given whole: what comes before the NUL would open
            // another key, or this one again. Such a key is neither announced nor entered.
            if (std::memchr(m_keyName, 0, cchName))
                continue;
            const std::string sName(m_keyName, cchName);
            const std::string sPath = sSubKey.empty() ? sName : sSubKey + "\\" + sName;

            if (m_lStopCode == 0 && m_pEvents && m_pEvents->KeyNameWanted())
                m_pEvents->SearchKeyChanged(m_sRootName + "\\" + sPath);
            if (IsMatch(sName) && m_pEvents)
                m_pEvents->SearchFound(m_sRootName, sPath, "*", 0, std::string());

            // After a stop the list is finished without values or descent.
            if (m_lStopCode != 0)
                continue;
            KeyHandle child;
            if (!child.Open(hKey, sName.c_str(), REG_OPTION_OPEN_LINK))
                continue;
            // The value list shows a link at no cost; without it, only a key without subkeys is asked.
            if (m_lSearchFlags & 3) {
                if (!SearchValues(child.Get(), sPath, true))
                    SearchKeys(child.Get(), sPath);
                else
                    EnterLink(hKey, sName.c_str(), sPath);
            } else if (SearchKeys(child.Get(), sPath) && HoldsLinkValue(child.Get())) {
                EnterLink(hKey, sName.c_str(), sPath);
            }
        }
    } catch (...) {
        Trap();
    }
    return bEmpty;
}

// A link, or a key holding a value of the link type: walked through the key it leads to, as a
// plain open would, unless that key is on the current descent or above one of its keys, where
// the walk would go round the same keys for ever.
void cRegSearch::EnterLink(HKEY hParent, const char* pszName, const std::string& sPath)
{
    m_hits.clear();
    KeyHandle target;
    if (!target.Open(hParent, pszName))
        return;
    const std::wstring sName = KernelKeyName(target.Get());
    // A target that cannot be named cannot be shown to lie elsewhere.
    if (sName.empty() || IsOnDescent(sName))
        return;
    if (m_lSearchFlags & 3)
        SearchValues(target.Get(), sPath, false);
    SearchKeys(target.Get(), sPath);
}

bool cRegSearch::IsOnDescent(const std::wstring& sKernelName)
{
    std::wstring sTarget = sKernelName;
    UpperCase(sTarget);
    for (size_t k = 0; k < m_nLevels; ++k) {
        Level& level = m_levels[k];
        if (!level.bNamed) {
            level.sName = KernelKeyName(level.hKey);
            UpperCase(level.sName);
            level.bNamed = true;
        }
        const std::wstring& s = level.sName;
        if (!s.empty() && s.compare(0, sTarget.size(), sTarget) == 0 &&
            (s.size() == sTarget.size() || s[sTarget.size()] == L'\\'))
            return true;
    }
    return false;
}

// The values of the open key hKey. Values too large for the buffers are read again with
// buffers of the size the registry reports, so that every value is examined. The hits are
// reported after the list; with bMayBeLink, a key that holds a value of the link type reports
// none and returns true: it may be a link opened as itself.
bool cRegSearch::SearchValues(HKEY hKey, const std::string& sSubKey, bool bMayBeLink)
{
    if (m_lStopCode != 0)
        return false;
    try {
        m_hits.clear();
        bool bLinkValue = false;
        std::string sPath;
        for (DWORD i = 0;; ++i) {
            DWORD lType = REG_NONE;
            DWORD cchName = 0;
            DWORD cbData = 0;
            LONG lResult = ERROR_SUCCESS;
            bool bTooLarge = false;
            for (int nTry = 0;; ++nTry) {
                cchName = static_cast<DWORD>(m_valueName.size());
                cbData = static_cast<DWORD>(m_valueData.size());
                lResult = RegEnumValueA(hKey, i, m_valueName.data(), &cchName, nullptr, &lType,
                                        m_valueData.data(), &cbData);
                if (lResult != ERROR_MORE_DATA || nTry == 3)
                    break;
                // A value the memory cannot hold cannot name a file either: skip it.
                try {
                    GrowValueBuffers(hKey, cbData);
                } catch (const std::bad_alloc&) {
                    bTooLarge = true;
                    break;
                }
            }
            // A value that keeps outgrowing every buffer is being rewritten as we read it.
            if (bTooLarge || lResult == ERROR_MORE_DATA) {
                ReleaseHugeBuffer();
                continue;
            }
            if (lResult != ERROR_SUCCESS)
                break;
            bLinkValue = bLinkValue || lType == REG_LINK;

            // Texts are made only for a hit: most values are neither reported nor shown.
            const char* pName = m_valueName.data();
            const size_t cchShown = std::find(pName, pName + cchName, '\0') - pName;
            const bool bNameHit = (m_lSearchFlags & 1) && IsMatch(pName, cchShown);
            if (!bNameHit && !(m_lSearchFlags & 2))
                continue;
            std::string sText;
            bool bHaveText = false;
            // False when the memory cannot hold the text: the value is skipped.
            auto MakeText = [&] {
                try {
                    sText = FormatValueData(lType, m_valueData.data(), cbData);
                } catch (const std::bad_alloc&) {
                    ReleaseHugeBuffer();
                    return false;
                }
                bHaveText = true;
                return true;
            };
            bool bDataHit = false;
            if (m_lSearchFlags & 2) {
                if (lType == REG_SZ || lType == REG_MULTI_SZ) {
                    const char* pData = reinterpret_cast<const char*>(m_valueData.data());
                    bDataHit = IsMatch(pData, std::find(pData, pData + cbData, '\0') - pData);
                } else if (m_bFormattedMayMatch) {
                    if (!MakeText())
                        continue;
                    bDataHit = IsMatch(sText.data(), sText.size());
                }
            }
            if (!bNameHit && !bDataHit)
                continue;
            if (!bHaveText && !MakeText())
                continue;
            const std::string sName(pName, cchShown);
            sPath.assign(sSubKey).append(1, '\\').append(sName);
            if (bNameHit)
                m_hits.push_back(Hit{sPath, sText, sName, 1});
            if (bDataHit)
                m_hits.push_back(Hit{sPath, std::move(sText), sName, 2});
        }
        if (bLinkValue && bMayBeLink)
            return true;
        // A handler that stops the walk does not keep the key's other hits from being reported.
        for (const Hit& hit : m_hits)
            if (m_pEvents)
                m_pEvents->SearchFound(m_sRootName, hit.sPath, hit.sText, hit.lFound, hit.sName);
    } catch (...) {
        Trap();
    }
    return false;
}

void cRegSearch::GrowValueBuffers(HKEY hKey, DWORD cbDataWanted)
{
    DWORD cchMaxName = 0;
    DWORD cbMaxData = 0;
    if (RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cchMaxName,
                         &cbMaxData, nullptr, nullptr) != ERROR_SUCCESS) {
        cchMaxName = 0;
        cbMaxData = 0;
    }
    // Doubling as well makes progress if neither figure is of use.
    const size_t cbData = std::max({static_cast<size_t>(cbDataWanted), static_cast<size_t>(cbMaxData) + 2,
                                    m_valueData.size() * 2});
    const size_t cbName = std::max(static_cast<size_t>(cchMaxName) * 2 + 2, m_valueName.size());
    m_valueName.resize(cbName);
    if (static_cast<size_t>(cbDataWanted) > m_cbValueLimit)
        throw std::bad_alloc();
    // The old buffer goes before the new one is made: two huge ones may not fit together.
    std::vector<BYTE>().swap(m_valueData);
    m_valueData.resize(std::min(cbData, std::max(m_cbValueLimit, ValueDataBytes)));
}

// Back to the usual buffer after a huge value, or after a grow that failed.
void cRegSearch::ReleaseHugeBuffer()
{
    if (m_valueData.size() <= ValueDataKeep && !m_valueData.empty())
        return;
    std::vector<BYTE>().swap(m_valueData);
    m_valueData.resize(ValueDataBytes);
}

std::string cRegSearch::CutAtNull(const char* p, size_t cb)
{
    return std::string(p, std::find(p, p + cb, '\0'));
}

void cRegSearch::PrepareMatch()
{
    CPINFO info;
    m_bMultiByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
    // Upper case as the user's locale has it, one byte at a time; a byte whose upper case
    // has no byte of its own in the code page stays as it is.
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        char up = ch;
        WCHAR w;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &ch, 1, &w, 1) == 1) {
            CharUpperBuffW(&w, 1);
            BOOL bDefault = FALSE;
            char out;
            if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &w, 1, &out, 1, nullptr, &bDefault) == 1 &&
                !bDefault)
                up = out;
        }
        m_fold[c] = up;
    }
    if (m_bMultiByte) {
        m_sPattern = m_sSearchString;
        if (!m_sPattern.empty())
            CharUpperBuffA(&m_sPattern[0], static_cast<DWORD>(m_sPattern.size()));
    } else {
        m_sPattern.resize(m_sSearchString.size());
        for (size_t k = 0; k < m_sSearchString.size(); ++k)
            m_sPattern[k] = m_fold[static_cast<unsigned char>(m_sSearchString[k])];
    }
    // The data texts made for other types than strings (hex bytes, a number, the unsupported
    // note) hold only these characters: a search text with any other cannot be in them.
    static const char Formatted[] = "0123456789ABCDEF x()-Temporarily unsupported";
    bool bCanHold[256] = {};
    for (const char* p = Formatted; *p; ++p) {
        const unsigned char ch = static_cast<unsigned char>(*p);
        bCanHold[ch] = true;
        bCanHold[static_cast<unsigned char>(m_fold[ch])] = true;
        if (ch >= 'a' && ch <= 'z')
            bCanHold[ch - 'a' + 'A'] = true;
    }
    m_bFormattedMayMatch = true;
    for (char ch : m_sPattern)
        m_bFormattedMayMatch = m_bFormattedMayMatch && bCanHold[static_cast<unsigned char>(ch)];
}

bool cRegSearch::IsMatch(const std::string& s) const
{
    return IsMatch(s.data(), s.size());
}

bool cRegSearch::IsMatch(const char* p, size_t n) const
{
    const bool bWhole = (m_lSearchFlags & 4) != 0;
    if (m_bMultiByte) {
        std::string u(p, n);
        if (!u.empty())
            CharUpperBuffA(&u[0], static_cast<DWORD>(u.size()));
        return bWhole ? u == m_sPattern : u.find(m_sPattern) != std::string::npos;
    }

    const size_t m = m_sPattern.size();
    const unsigned char* ps = reinterpret_cast<const unsigned char*>(p);
    const char* pp = m_sPattern.data();
    if (bWhole) {
        if (n != m)
            return false;
        for (size_t k = 0; k < n; ++k)
            if (m_fold[ps[k]] != pp[k])
                return false;
        return true;
    }
    if (m == 0)
        return true;
    if (n < m)
        return false;
    for (size_t i = 0; i + m <= n; ++i) {
        if (m_fold[ps[i]] != pp[0])
            continue;
        size_t k = 1;
        while (k < m && m_fold[ps[i + k]] == pp[k])
            ++k;
        if (k == m)
            return true;
    }
    return false;
}

std::string cRegSearch::FormatValueData(DWORD lType, const BYTE* pData, DWORD cbData)
{
    switch (lType) {
    case REG_SZ:
    case REG_MULTI_SZ:
        // Of a multi-string only the first string.
        return CutAtNull(reinterpret_cast<const char*>(pData), cbData);
    case REG_BINARY: {
        if (cbData == 0)
            return "00";
        static const char Hex[] = "0123456789ABCDEF";
        std::string s(cbData * 3 - 1, ' ');
        for (DWORD k = 0; k < cbData; ++k) {
            s[k * 3] = Hex[pData[k] >> 4];
            s[k * 3 + 1] = Hex[pData[k] & 15];
        }
        return s;
    }
    case REG_DWORD: {
        // Shorter data is read as the bytes present, zero-extended.
        uint32_t v = 0;
        for (DWORD k = 0; k < cbData && k < 4; ++k)
            v |= static_cast<uint32_t>(pData[k]) << (8 * k);
        char buf[32];
        snprintf(buf, sizeof(buf), "0x%08X(%ld)", static_cast<unsigned>(v), static_cast<long>(static_cast<int32_t>(v)));
        return buf;
    }
    default:
        return "Temporarily unsupported";
    }
}

std::string cRegSearch::GetRootKeyName(int32_t lRoot)
{
    static const char* const Names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                        "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                        "HKEY_DYN_DATA"};
    if (lRoot < FirstRoot || lRoot > LastRoot)
        return std::string();
    return Names[lRoot - FirstRoot];
}

void cRegSearch::Trap()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        m_lStopCode = ErrOutOfMemory;
    } catch (...) {
        m_lStopCode = ErrInternal;
    }
}
