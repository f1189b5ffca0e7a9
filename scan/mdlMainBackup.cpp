// The backup writer of the fix: the checked rows of the error list as a REGEDIT4 file that the
// registry editor imports to put the deleted values back.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/App.h"
#include "core/FileWrite.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modLanguage.h"
#include "scan/cRegSearch.h"
#include "scan/frmMain.h"
#include "scan/mdlMain.h"

namespace {

// The system's general date format: the short date, a blank, the long time, with the
// characters a file name cannot hold replaced.
std::string DateTimeText() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    char date[128] = "", time[128] = "";
    if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof date))
        snprintf(date, sizeof date, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof time))
        snprintf(time, sizeof time, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
    std::string text = std::string(date) + " " + time;
    for (char& c : text)
        if (c == '/') c = '-';
    for (char& c : text)
        if (c == ':') c = ';';
    return text;
}

// First every "\" doubled, then a "\" before every double quote; the second byte of a
// character is left alone.
std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        const size_t n = AnsiCharBytes(text, i);
        if (n == 1 && text[i] == '\\')
            out += "\\\\";
        else if (n == 1 && text[i] == '"')
            out += "\\\"";
        else
            out.append(text, i, n);
        i += n;
    }
    return out;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// "xx,xx,..." behind `head`, continued on lines of their own (",\" and two blanks) as the
// registry editor writes long data.
std::string HexData(const std::string& head, const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = head;
    out.reserve(head.size() + bytes.size() * 3 + bytes.size() / 8);
    size_t column = head.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool last = i + 1 == bytes.size();
        if (i > 0 && column + (last ? 2 : 3) > 77) {
            out += "\\\r\n  ";
            column = 2;
        }
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
        if (!last) out += ',';
        column += last ? 2 : 3;
    }
    return out;
}

// One value line. A plain string keeps the quoted form; everything else goes as hex bytes of
// its own type, so that an import gives back the same type and the same bytes.
std::string ValueLine(const std::string& nameText, DWORD type, const std::string& bytes) {
    if (type == REG_SZ && !bytes.empty() && bytes.back() == '\0') {
        std::string text = bytes.substr(0, bytes.size() - 1);
        if (text.find('\0') == std::string::npos && !HasLineBreak(text))
            return nameText + "=\"" + Escape(text) + "\"";
    }
    if (type == REG_DWORD && bytes.size() == 4) {
        DWORD v;
        memcpy(&v, bytes.data(), 4);
        char buf[16];
        snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(v));
        return nameText + "=dword:" + buf;
    }
    if (type == REG_BINARY) return HexData(nameText + "=hex:", bytes);
    char head[32];
    snprintf(head, sizeof head, "=hex(%lx):", static_cast<unsigned long>(type));
    return HexData(nameText + head, bytes);
}

// The value's type and bytes as the ANSI registry functions give them.
LONG ReadValue(HKEY root, const std::string& keyPath, const std::string& name, DWORD& type, std::string& bytes) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &h);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD size = 0;
    rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size);
    for (int attempt = 0; rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA; ++attempt) {
        bytes.assign(size + 2, '\0');
        DWORD got = size + 2;
        rc = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &got);
        if (rc == ERROR_SUCCESS) {
            bytes.resize(got);
            break;
        }
        // The value grew between the calls.
        if (rc != ERROR_MORE_DATA || attempt == 8) break;
        size = got > size ? got : size * 2 + 64;
    }
    RegCloseKey(h);
    return rc;
}

// Whether a name without an ANSI form reads as `ansi` through the ANSI functions, with or
// without look-alikes for the missing characters.
bool ReadsAs(const std::wstring& name, const std::string& ansi) {
    if (HasAnsiForm(name.data(), name.size())) return false;
    if (ToAnsi(name) == ansi) return true;
    std::string plain(name.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), static_cast<int>(name.size()),
                                      &plain[0], static_cast<int>(plain.size()), nullptr, nullptr);
    return n > 0 && plain.compare(0, static_cast<size_t>(n), ansi) == 0 && static_cast<size_t>(n) == ansi.size();
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// What the registry editor stores for a value line made from the ANSI form of a value: string
// data of a REGEDIT4 file is ANSI text, turned into the wide form as it is imported.
std::string AsImported(DWORD type, const std::string& ansi) {
    if (!IsTextType(type)) return ansi;
    const std::wstring wide = FromAnsi(ansi);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// Why a backup line cannot give the wide data of a string value back exactly; empty when it can.
std::wstring WhyNotExact(const ExactValue& value) {
    if (!IsTextType(value.type)) return std::wstring();
    // An import closes string data with a NUL and keeps whole characters only.
    const std::string& b = value.bytes;
    if (b.size() < 2 || b.size() % 2 != 0 || b[b.size() - 1] != '\0' || b[b.size() - 2] != '\0')
        return LangTextOr(280, L"its text data does not end with a NUL character or has an odd length, which a "
                               L"backup file cannot hold exactly");
    const std::wstring wide(reinterpret_cast<const wchar_t*>(b.data()), b.size() / sizeof(wchar_t));
    // A character the code page lacks comes back as "?" or a look-alike.
    if (FromAnsi(ToAnsi(wide)) != wide)
        return LangTextOr(263, L"its data holds characters outside the system's code page, which a backup file "
                               L"cannot hold");
    return std::wstring();
}

// Whether a row's value name, not found by the ANSI functions, reads the name of a value that
// exists but has characters outside the code page: the row then cannot name its value
// exactly, and the value is not gone.
bool StandsForNameWithoutAnsiForm(HKEY root, const std::string& keyPath, const std::string& name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, FromAnsi(keyPath).c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
    std::vector<wchar_t> found(16384);
    bool lossy = false;
    for (DWORD i = 0; !lossy; ++i) {
        DWORD cch = static_cast<DWORD>(found.size());
        if (RegEnumValueW(h, i, found.data(), &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        lossy = ReadsAs(std::wstring(found.data(), cch), name);
    }
    RegCloseKey(h);
    return lossy;
}

// One value of a backup: its row, the key it goes under and its value line.
struct BackupEntry {
    int row;
    std::string key, line;
    RegErrorItemRef ref;
    ExactValue value;  // as read when the line was written
};
// The last backup written and what it holds, so that the fix can take out what it left alone.
std::string g_lastBackup;
std::vector<BackupEntry> g_lastEntries;

// "REGEDIT4", then each value line, under a key header wherever the key differs from the one before.
std::string BackupText(const std::vector<BackupEntry>& entries) {
    std::string content = "REGEDIT4\r\n";
    std::string previousKey;
    for (const BackupEntry& e : entries) {
        if (e.key != previousKey) content += "\r\n[" + e.key + "]\r\n";
        content += e.line + "\r\n";
        previousKey = e.key;
    }
    return content;
}

// Writes the whole text, forces it to the disk and closes the file; false with `code` set on any failure.
bool WriteAndClose(HANDLE f, const std::string& content, DWORD& code) {
    bool ok = WriteAll(f, content.data(), content.size(), code) && FlushToDisk(f, code);
    if (!CloseHandle(f) && ok) {
        ok = false;
        code = GetLastError();
    }
    return ok;
}

// Writes the text into `temp`, flushed, and only then gives it the name `path`: a backup's name
// never stands for a file that is not whole, whenever the program is ended. A failure leaves
// `path` as it was and no `temp` behind.
bool WriteWhole(const std::string& temp, const std::string& path, const std::string& content, bool replace,
                DWORD& code, bool* made = nullptr) {
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made) *made = f != INVALID_HANDLE_VALUE;
    if (f == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        return false;
    }
    bool ok = WriteAndClose(f, content, code);
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0))) {
        code = GetLastError();
        ok = false;
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

// What failed, the file or folder, and the system's words for why, each on a line.
std::wstring FileFault(const std::wstring& what, const std::string& file, DWORD code) {
    return what + L"\r\n" + FromAnsi(file) + L"\r\n" + SystemErrorText(code);
}

}  // namespace

ListedValue ReadListedValue(HKEY root, const std::string& keyPath, const std::string& name,
                            const std::wstring& shown, DWORD& type, std::string& bytes, LONG& rc) {
    rc = ReadValue(root, keyPath, name, type, bytes);
    if (rc == ERROR_FILE_NOT_FOUND) return ListedValue::Gone;
    if (rc != ERROR_SUCCESS) return ListedValue::Unreadable;
    // The row shows the data as the scan formatted it.
    const std::string now = cRegSearch::FormatValueData(type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                        static_cast<DWORD>(bytes.size()));
    return FromAnsi(now) == shown ? ListedValue::AsListed : ListedValue::Changed;
}

std::wstring LeftOutReason(ListedValue state, LONG rc) {
    switch (state) {
    case ListedValue::Changed: return LangTextOr(259, L"its data changed after the scan");
    case ListedValue::Unreadable:
        return LangTextOr(265, L"its value could not be read:") + L" " + SystemErrorText(static_cast<DWORD>(rc));
    default: return std::wstring();
    }
}

LONG ReadExactValue(HKEY root, const std::string& keyPath, const std::string& name, ExactValue& value) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(root, FromAnsi(keyPath).c_str(), 0, KEY_QUERY_VALUE, &h);
    if (rc != ERROR_SUCCESS) return rc;
    const std::wstring wname = FromAnsi(name);
    DWORD size = 0;
    rc = RegQueryValueExW(h, wname.c_str(), nullptr, &value.type, nullptr, &size);
    for (int attempt = 0; rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA; ++attempt) {
        value.bytes.assign(size, '\0');
        DWORD got = size;
        rc = RegQueryValueExW(h, wname.c_str(), nullptr, &value.type,
                              size ? reinterpret_cast<BYTE*>(&value.bytes[0]) : nullptr, &got);
        if (rc == ERROR_SUCCESS) {
            value.bytes.resize(got);
            break;
        }
        // The value grew between the calls.
        if (rc != ERROR_MORE_DATA || attempt == 8) break;
        size = got > size ? got : size * 2 + 64;
    }
    RegCloseKey(h);
    return rc;
}

ListedValue BackedUpValueNow(int row, LONG& rc) {
    rc = ERROR_NOT_FOUND;
    // The entries are in row order.
    auto e = std::lower_bound(g_lastEntries.begin(), g_lastEntries.end(), row,
                              [](const BackupEntry& b, int r) { return b.row < r; });
    if (e == g_lastEntries.end() || e->row != row) return ListedValue::Unreadable;
    ExactValue now;
    rc = ReadExactValue(GetRootKeyHandle(e->ref.rootKey), e->ref.keyPath, e->ref.valueName, now);
    if (rc == ERROR_FILE_NOT_FOUND) return ListedValue::Gone;
    if (rc != ERROR_SUCCESS) return ListedValue::Unreadable;
    return now == e->value ? ListedValue::AsListed : ListedValue::Changed;
}

bool BackupCheckedEntries(std::string& path, std::wstring& error, std::vector<int>* saved,
                          std::vector<BackupLeftOut>* leftOut) {
    path.clear();
    error.clear();
    if (saved) saved->clear();
    if (leftOut) leftOut->clear();

    const std::string folder = BackupFolder();
    if (!PathExists(folder) && !CreateDirectoryA(folder.c_str(), nullptr)) {
        const DWORD code = GetLastError();
        error = FileFault(LangTextOr(252, L"The backup folder could not be made:"), folder, code);
        return false;
    }
    const std::string stamp = DateTimeText();

    frmMain& form = frmMain::Get();
    ui::ListView& list = form.lvwRegErrors;
    std::vector<BackupEntry> entries;
    const int n = list.Count();
    for (int row = 0; row < n; ++row) {
        if (!list.Checked(row)) continue;
        const RegErrorItemRef& ref = form.RowRef(row);
        auto leave = [&](const std::wstring& reason) {
            if (leftOut) leftOut->push_back({row, reason});
        };
        // REGEDIT4 has no way to write a line break inside a name.
        if (HasLineBreak(ref.valueName)) {
            leave(LangTextOr(260, L"its value name holds a line break, which a backup file cannot hold"));
            continue;
        }
        if (HasLineBreak(ref.rootKey) || HasLineBreak(ref.keyPath)) {
            leave(LangTextOr(261, L"its key name holds a line break, which a backup file cannot hold"));
            continue;
        }
        HKEY root = GetRootKeyHandle(ref.rootKey);
        if (!root) {
            leave(LangTextOr(262, L"its root key is unknown"));
            continue;
        }
        const std::string nameText = ref.valueName.empty() ? "@" : "\"" + Escape(ref.valueName) + "\"";

        DWORD type = REG_NONE;
        std::string bytes;
        LONG rc = ERROR_SUCCESS;
        const ListedValue state = ReadListedValue(root, ref.keyPath, ref.valueName, list.Cell(row, 3), type, bytes, rc);
        if (state == ListedValue::Gone && StandsForNameWithoutAnsiForm(root, ref.keyPath, ref.valueName)) {
            leave(LangTextOr(264, L"its value name holds characters outside the system's code page, so the value "
                                  L"cannot be named exactly"));
            continue;
        }
        if (state != ListedValue::AsListed) {
            // A value deleted or changed since the scan is not the one the user checked.
            if (leftOut) leftOut->push_back({row, LeftOutReason(state, rc), state == ListedValue::Gone});
            continue;
        }
        // Under WOW64 the name seen may stand for a key of the other view: a backup must name
        // the key where the value really lives, or not hold it.
        std::string key;
        if (!RealKeyName(ref.rootKey, ref.keyPath, key)) {
            leave(LangTextOr(284, L"the real place of its key in the registry could not be learned, so a backup "
                                  L"could not put it back there"));
            continue;
        }
        // The value as the wide functions give it: the line written from its ANSI form must give
        // back exactly these bytes.
        ExactValue exact;
        rc = ReadExactValue(root, ref.keyPath, ref.valueName, exact);
        if (rc != ERROR_SUCCESS) {
            const ListedValue now = rc == ERROR_FILE_NOT_FOUND ? ListedValue::Gone : ListedValue::Unreadable;
            if (leftOut) leftOut->push_back({row, LeftOutReason(now, rc), now == ListedValue::Gone});
            continue;
        }
        std::wstring why = WhyNotExact(exact);
        if (why.empty() && !(AsImported(type, bytes) == exact.bytes && type == exact.type))
            why = LeftOutReason(ListedValue::Changed, rc);  // it changed between the two reads
        if (!why.empty()) {
            leave(why);
            continue;
        }
        entries.push_back({row, key, ValueLine(nameText, type, bytes), ref, std::move(exact)});
        if (saved) saved->push_back(row);
    }

    // The first free name; a second backup within the same second gets " (2)", " (3)", ...
    // behind the date's parenthesis.
    DWORD code = ERROR_FILE_EXISTS;
    bool made = false;
    for (int n = 1; n < 1000; ++n) {
        path = folder + "\\Backup (" + stamp + ")" + (n > 1 ? " (" + std::to_string(n) + ")" : "") + ".reg";
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        // On the disk before anything is deleted: after a crash the backup must not be the part
        // of the fix that is lost.
        if (WriteWhole(path + ".new", path, BackupText(entries), false, code, &made)) {
            g_lastBackup = path;
            g_lastEntries = std::move(entries);
            return true;
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    error = made ? FileFault(LangTextOr(254, L"The backup file could not be written:"), path, code)
                 : FileFault(LangTextOr(253, L"The backup file could not be created:"), path, code);
    if (saved) saved->clear();
    return false;
}

bool KeepInLastBackup(const std::vector<int>& rows, std::wstring& error) {
    std::vector<int> sorted(rows);
    std::sort(sorted.begin(), sorted.end());
    std::vector<BackupEntry> kept;
    for (const BackupEntry& e : g_lastEntries)
        if (std::binary_search(sorted.begin(), sorted.end(), e.row)) kept.push_back(e);
    if (kept.size() == g_lastEntries.size()) return true;
    // A failure leaves the whole first file.
    DWORD code = 0;
    if (!WriteWhole(g_lastBackup + ".new", g_lastBackup, BackupText(kept), true, code)) {
        error = FileFault(LangTextOr(254, L"The backup file could not be written:"), g_lastBackup, code);
        return false;
    }
    g_lastEntries = std::move(kept);
    return true;
}

bool DropLastBackup(std::wstring& error) {
    const DWORD code = g_lastBackup.empty() || DeleteFileA(g_lastBackup.c_str()) ? ERROR_SUCCESS : GetLastError();
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
        error = FileFault(LangTextOr(286, L"The backup file could not be removed:"), g_lastBackup, code);
        return false;
    }
    g_lastEntries.clear();
    return true;
}
