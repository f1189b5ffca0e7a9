#pragma once
// The registry scan engine: walks the registry depth-first from one predefined root or from
// all seven and reports key names, value names and value data texts that hold a search text.
// It knows nothing of windows: it reports to a listener and yields through a function, both
// supplied by its owner.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The engine's events, raised synchronously inside DoSearch.
struct cRegSearchEvents
{
    // One hit. sKey is the path below the root without a leading "\" (for a value: the key's
    // path, "\" and the value name); sValue is "*" for a key name, else the data text;
    // lFound is 0 for a key name, 1 for a value name, 2 for value data. sValueName is the
    // value's own name ("" for a key name): a value name may hold "\", so sKey alone
    // cannot tell where the key path ends.
    virtual void SearchFound(const std::string& sRootKey, const std::string& sKey,
                             const std::string& sValue, int32_t lFound,
                             const std::string& sValueName) = 0;
    // Once at the end of every walk: 0 finished, 1 stopped, otherwise the error number.
    virtual void SearchFinished(int32_t lReason) = 0;
    // A key has been entered: the root's name, "\" and the key's path.
    virtual void SearchKeyChanged(const std::string& sFullKeyName) = 0;
    // Asked before each SearchKeyChanged: a listener that shows the name only now and then
    // spares the walk building it for every key.
    virtual bool KeyNameWanted() { return true; }
    virtual ~cRegSearchEvents() = default;
};

class cRegSearch
{
public:
    // Walk-ending error numbers. An exception thrown during the walk (also by a listener
    // handler or by the yield function) ends it like a stop, and SearchFinished carries
    // ErrOutOfMemory for std::bad_alloc and ErrInternal for anything else.
    static constexpr int32_t ErrOutOfMemory = 7;
    static constexpr int32_t ErrInternal = 51;

    explicit cRegSearch(cRegSearchEvents* pEvents = nullptr);
    ~cRegSearch();
    cRegSearch(const cRegSearch&) = delete;
    cRegSearch& operator=(const cRegSearch&) = delete;

    // Called once per subkey of every key being enumerated, so that the owner can let
    // pending window events run. It must be cheap when nothing is pending.
    void SetYield(std::function<void()> fnYield);

    // Write-only properties.
    void SetSubKey(const std::string& vData);
    void SetSearchString(const std::string& vData);
    // Bit 1 tests value names, bit 2 value data, bit 4 asks for a whole-text match.
    void SetSearchFlags(int32_t vData);
    // A predefined root handle (0x80000000 .. 0x80000006), or 0 for all seven.
    void SetRootKey(int32_t vData);
    // The most bytes of value data the walk grows its buffer to (unlimited by default). A larger
    // value, like one the memory cannot hold, is skipped and the walk goes on.
    void SetValueSizeLimit(size_t cbMax);

    // Runs one whole walk; returns after SearchFinished has been raised. A call made while a
    // walk runs (from a handler or the yield) is ignored.
    void DoSearch();
    // Winds the running walk down; made while no walk runs, it stops the next one at once.
    void StopSearch();

    // A value's data as the walk reports it; the fix compares a value with its row through it.
    static std::string FormatValueData(DWORD lType, const BYTE* pData, DWORD cbData);

private:
    void SearchRoot(int32_t lRoot, bool bValues);
    bool SearchKeys(HKEY hKey, const std::string& sSubKey);
    bool SearchValues(HKEY hKey, const std::string& sSubKey, bool bMayBeLink);
    void EnterLink(HKEY hParent, const char* pszName, const std::string& sPath);
    bool IsOnDescent(const std::wstring& sKernelName);
    static std::string CutAtNull(const char* p, size_t cb);
    bool IsMatch(const std::string& s) const;
    bool IsMatch(const char* p, size_t n) const;
    static std::string GetRootKeyName(int32_t lRoot);

    void PrepareMatch();
    void GrowValueBuffers(HKEY hKey, DWORD cbDataWanted);
    void ReleaseHugeBuffer();
    void Trap();

    cRegSearchEvents* m_pEvents;
    std::function<void()> m_fnYield;

    int32_t m_lRootKey = 0;
    int32_t m_lSearchFlags = 0;
    std::string m_sSearchString;
    std::string m_sSubKey;
    int32_t m_lStopCode = 0;
    size_t m_cbValueLimit = SIZE_MAX;

    bool m_bRunning = false;
    std::string m_sRootName;  // of the root being walked, for the events

    // The keys of the current descent, the start key first. Their kernel names (upper case) are
    // asked only when a link is met, once per level.
    struct Level
    {
        HKEY hKey;
        bool bNamed;
        std::wstring sName;
    };
    std::vector<Level> m_levels;
    size_t m_nLevels = 0;

    // One key's hits, raised once its value list is read: a link's own values are not reported.
    struct Hit
    {
        std::string sPath, sText, sName;
        int32_t lFound;
    };
    std::vector<Hit> m_hits;

    // The search text folded once per walk; texts are folded byte by byte through m_fold,
    // except under a multi-byte code page, where a copy is upper-cased whole.
    char m_fold[256];
    bool m_bMultiByte = false;
    std::string m_sPattern;
    bool m_bFormattedMayMatch = true;  // the pattern may be found in a formatted data text

    // Reused for every key and value instead of being made afresh.
    char m_keyName[1024];
    std::vector<char> m_valueName;
    std::vector<BYTE> m_valueData;
};
