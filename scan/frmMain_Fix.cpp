// The Fix command: back up the checked rows, then delete their values.
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modLanguage.h"
#include "scan/frmMain.h"
#include "scan/mdlMain.h"
#include "ui/Dpi.h"

namespace {

const COLORREF kFixedColor = RGB(255, 0, 0);  // &H0000FF
const COLORREF kLeftColor = RGB(0, 0, 255);   // &HFF0000

// Keeps the label's face and character set; only the size and the weight change.
void SetNotice(ui::Label& label, double points, bool bold, const std::wstring& text) {
    LOGFONTW lf = {};
    HFONT current = label.hwnd ? reinterpret_cast<HFONT>(SendMessageW(label.hwnd, WM_GETFONT, 0, 0)) : nullptr;
    if (!current || !GetObjectW(current, sizeof lf, &lf)) {
        lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
        lf.lfCharSet = DEFAULT_CHARSET;
    }
    HFONT font = ui::GetFont(lf.lfFaceName, points, bold, false, lf.lfCharSet);
    label.SetFont(label.hwnd ? ui::FontForForm(GetAncestor(label.hwnd, GA_ROOT), font) : font);
    label.SetText(text);
    // The fix does not yield, so the notice is painted now or never.
    if (label.hwnd) UpdateWindow(label.hwnd);
}

// True when the registry no longer holds the value (or its key).
bool ValueGone(HKEY root, const std::string& keyPath, const std::string& name) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &h);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return rc == ERROR_FILE_NOT_FOUND;
}

bool SameRef(const RegErrorItemRef& a, const RegErrorItemRef& b) {
    return a.rootKey == b.rootKey && a.keyPath == b.keyPath && a.valueName == b.valueName;
}

std::wstring OneLine(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n') c = L' ';
    return text;
}

}  // namespace

void frmMain::mnuFix_Click() {
    // A scheduled scan must not clear the list while the fix works through its rows.
    fixing_ = true;
    struct Busy {
        bool& flag;
        ~Busy() { flag = false; }
    } busy{fixing_};
    SetNotice(lblCurrentKey, 24, true, LangText(216));
    std::string path;
    std::wstring error;
    std::vector<int> saved;
    std::vector<BackupLeftOut> leftOut;
    const bool backedUp = BackupCheckedEntries(path, error, &saved, &leftOut);
    SetNotice(lblCurrentKey, 8, false, L"");
    if (!backedUp) {
        ui::MsgBox(LangTextOr(251, L"Nothing was deleted, because the backup could not be written.") + L"\r\n\r\n" +
                       error,
                   MB_OK | MB_ICONERROR);
        return;
    }

    // Only what the backup holds may be deleted. The message below lets the user change the
    // check marks (and a scheduled scan refill the list), so keep what was written.
    std::map<int, RegErrorItemRef> inBackup;
    for (int row : saved) inBackup[row] = RowRef(row);
    std::map<int, BackupLeftOut> reasons;
    for (const auto& left : leftOut) reasons[left.row] = left;

    ui::MsgBox(LangText(217) + L" " + FromAnsi(path) + L".", MB_OK | MB_ICONINFORMATION);

    const int n = lvwRegErrors.Count();
    int unchecked = 0, gone = 0;
    std::vector<std::pair<int, std::wstring>> notFixed;
    auto markGone = [&](int row) {
        lvwRegErrors.SetCell(row, 0, LangTextOr(250, L"ALREADY GONE"));
        lvwRegErrors.SetRowColor(row, kLeftColor);
        ++gone;
    };
    std::vector<int> fixedRows;
    auto markFixed = [&](int row) {
        fixedRows.push_back(row);
        lvwRegErrors.SetCell(row, 0, LangText(218));
        lvwRegErrors.SetRowColor(row, kFixedColor);
    };
    auto leaveInPlace = [&](int row, const std::wstring& why) {
        notFixed.push_back({row, why});
        lvwRegErrors.SetRowColor(row, kLeftColor);
    };
    // Each backed-up value is read again: one that changed or went while the message above was
    // up is left alone, and taken out of the backup before anything is deleted, so that the file
    // on the disk never holds data older than what the registry holds.
    std::vector<int> toDelete;
    for (int row = 0; row < n; ++row) {
        if (!lvwRegErrors.Checked(row)) {
            lvwRegErrors.SetRowColor(row, kLeftColor);
            ++unchecked;
            continue;
        }
        auto it = inBackup.find(row);
        if (it == inBackup.end() || !SameRef(it->second, RowRef(row))) {
            auto why = reasons.find(row);
            if (why != reasons.end() && why->second.gone)
                markGone(row);
            else
                leaveInPlace(row, why != reasons.end()
                                      ? why->second.reason
                                      : LangTextOr(257, L"it was checked after the backup was written"));
            continue;
        }
        LONG rc = ERROR_SUCCESS;
        const ListedValue state = BackedUpValueNow(row, rc);
        if (state == ListedValue::Gone)
            markGone(row);
        else if (state != ListedValue::AsListed)
            leaveInPlace(row, LeftOutReason(state, rc));
        else
            toDelete.push_back(row);
    }
    // The file must hold exactly what is about to go before anything goes: should it keep a
    // value that changed, a restore would put the older data over the newer. When it cannot be
    // made so, nothing is deleted.
    std::wstring trimError, exactError;
    if (!KeepInLastBackup(toDelete, exactError)) {
        for (int row : toDelete)
            leaveInPlace(row, LangTextOr(251, L"Nothing was deleted, because the backup could not be written."));
        toDelete.clear();
    }

    // A value named after a missing file has a row for its name and one for its data.
    std::set<std::string> deleted;
    auto refKey = [](const RegErrorItemRef& r) { return r.rootKey + '\n' + r.keyPath + '\n' + r.valueName; };
    std::vector<int> stillShown;
    for (int row : toDelete) {
        const RegErrorItemRef& ref = inBackup[row];
        if (deleted.count(refKey(ref))) {
            markFixed(row);
            continue;
        }
        // Once more right before the deletion: what the backup holds is what goes.
        LONG rc = ERROR_SUCCESS;
        const ListedValue state = BackedUpValueNow(row, rc);
        if (state == ListedValue::Gone) {
            markGone(row);
            continue;
        }
        if (state != ListedValue::AsListed) {
            leaveInPlace(row, LeftOutReason(state, rc));
            continue;
        }
        HKEY root = GetRootKeyHandle(ref.rootKey);
        rc = DeleteRegValue(root, ref.keyPath, ref.valueName);
        if (rc == ERROR_FILE_NOT_FOUND) {
            markGone(row);
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            leaveInPlace(row, LangTextOr(258, L"the registry did not delete the value") + L": " +
                                  SystemErrorText(static_cast<DWORD>(rc)));
            continue;
        }
        // Done as the registry says, even when a value of that name still reads: under
        // HKEY_CLASSES_ROOT the machine's value shows once the user's is gone, and a program may
        // write its value again at once. The backup keeps what was deleted.
        markFixed(row);
        deleted.insert(refKey(ref));
        if (!ValueGone(root, ref.keyPath, ref.valueName)) stillShown.push_back(row);
    }

    // Only values that were not deleted after all need taking out; a fix that deleted nothing
    // keeps no backup.
    const bool dropped = fixedRows.empty() ? DropLastBackup(trimError) : false;
    if (!fixedRows.empty()) KeepInLastBackup(fixedRows, trimError);

    // After a fix the Type column shows longer texts than a scan puts there.
    const int typeWidth = lvwRegErrors.ColumnWidthPixels(0);
    AutoSizeColumns(lvwRegErrors, 0);
    if (lvwRegErrors.ColumnWidthPixels(0) < typeWidth) lvwRegErrors.SetColumnWidthPixels(0, typeWidth);

    // The rows not checked, the checked ones left in place and the ones already gone each
    // get a line of their own.
    std::wstring text = LangText(219) + L" " + std::to_wstring(unchecked) + L" " + LangText(220);
    if (!notFixed.empty())
        text += L"\r\n" + LangTextOr(255, L"Checked entries left in place:") + L" " + std::to_wstring(notFixed.size()) +
                L".";
    if (!stillShown.empty())
        text += L"\r\n" + LangTextOr(282, L"Deleted entries of which a value of the same name still shows:") + L" " +
                std::to_wstring(stillShown.size()) + L".";
    if (gone > 0)
        text += L"\r\n" +
                LangTextOr(256, L"Checked entries that were already gone (nothing to back up or delete):") + L" " +
                std::to_wstring(gone) + L".";
    for (int row : stillShown)
        notFixed.push_back({row, LangTextOr(283, L"deleted, but a value of this name still shows: another key's value "
                                                 L"shows through, or a program wrote it again")});
    if (!notFixed.empty()) {
        text += L"\r\n";
        const size_t shown = notFixed.size() < 10 ? notFixed.size() : 10;
        for (size_t i = 0; i < shown; ++i) {
            int row = notFixed[i].first;
            const std::wstring& why = notFixed[i].second;
            text += L"\r\n" + OneLine(lvwRegErrors.Cell(row, 1) + L"\\" + lvwRegErrors.Cell(row, 2)) + L": " + why +
                    (!why.empty() && why.back() == L'.' ? L"" : L".");
        }
        if (shown < notFixed.size()) text += L"\r\n...";
    }
    if (dropped) text += L"\r\n\r\n" + LangTextOr(281, L"Nothing was deleted, so no backup was kept.");
    if (!exactError.empty()) text += L"\r\n\r\n" + exactError;
    if (!trimError.empty())
        text += L"\r\n\r\n" + LangTextOr(267, L"The backup still holds the entries left in place:") + L"\r\n" +
                trimError;
    ui::MsgBox(text, MB_OK);
}
