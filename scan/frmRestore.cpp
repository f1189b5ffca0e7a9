#include "scan/frmRestore.h"

#include <windowsx.h>

#include <algorithm>

#include "core/App.h"
#include "core/FileWrite.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modLanguage.h"

namespace {

enum : int { kLvwRegBackups = 10 };

bool StartProgram(const std::wstring& commandLine, int showCommand, DWORD* error) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        if (error) *error = GetLastError();
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

StartProgramFn g_start = StartProgram;


// Files only, and not hidden or system ones: what a file list box shows.
std::vector<std::wstring> ListBackupFiles(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.reg").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::stable_sort(names.begin(), names.end(),
                     [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
    return names;
}

bool AllDigits(const std::wstring& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// The date and time taken back out of a backup's name: "Backup (16-07-2008 15;45;12).reg"
// gives "16/07/2008 15:45:12".
std::wstring DateFromName(const std::wstring& name) {
    // A second backup within the same second is named "Backup (<date>) (2).reg".
    if (name.size() > 4 && lstrcmpiW(name.substr(name.size() - 4).c_str(), L".reg") == 0) {
        std::wstring stem = name.substr(0, name.size() - 4);
        size_t open = stem.rfind(L" (");
        if (!stem.empty() && stem.back() == L')' && open != std::wstring::npos && open > 0 && stem[open - 1] == L')' &&
            AllDigits(stem.substr(open + 2, stem.size() - open - 3)))
            return DateFromName(stem.substr(0, open) + L".reg") + stem.substr(open);
    }
    std::wstring s = name;
    for (wchar_t& c : s)
        if (c == L'-') c = L'/';
    for (wchar_t& c : s)
        if (c == L';') c = L':';
    s = s.size() > 5 ? s.substr(0, s.size() - 5) : std::wstring();
    size_t open = name.find(L'(');
    if (open != std::wstring::npos) s = open + 1 < s.size() ? s.substr(open + 1) : std::wstring();
    return s;
}

// Whether a file holds anything for the registry editor to import: a line after the first (the
// format's header) that is neither blank nor a comment. A backup of a fix that kept nothing, or a
// file cut off after its header, holds none. A file that cannot be read is left to the editor.
bool HoldsSomethingToImport(const std::wstring& path) {
    std::string bytes;
    DWORD error = 0;
    if (!ReadWholeFile(path, bytes, error)) return true;
    // A Unicode export: its characters' low bytes tell lines apart as well.
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    size_t line = bytes.find('\n');
    while (line != std::string::npos) {
        const size_t start = bytes.find_first_not_of(" \t\r\n", line);
        if (start == std::string::npos) return false;
        if (bytes[start] != ';') return true;
        line = bytes.find('\n', start);
    }
    return false;
}

}  // namespace

void SetStartProgramHook(StartProgramFn start) { g_start = start ? start : StartProgram; }

bool RunProgram(const std::wstring& commandLine, int showCommand, DWORD* error) {
    return g_start(commandLine, showCommand, error);
}

bool RunProgram(const std::string& commandLine, int showCommand, DWORD* error) {
    return g_start(FromAnsi(commandLine), showCommand, error);
}

frmRestore& frmRestore::Get() {
    static frmRestore form;
    return form;
}

std::wstring frmRestore::Tag(int row) const {
    return row >= 0 && static_cast<size_t>(row) < tags_.size() ? tags_[row] : std::wstring();
}

ui::Form::Design frmRestore::GetDesign() {
    Design d;
    d.clientWidth = 6675;
    d.clientHeight = 4215;
    d.style = WS_OVERLAPPEDWINDOW;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.charset = 238;
    d.centred = true;
    return d;
}

void frmRestore::CreateControls() {
    AddListView(lvwRegBackups, kLvwRegBackups, 0, 0, 6675, 4215);
    ui::MenuItem file;
    file.id = mnuFile;
    ui::MenuItem restore, separator, close;
    restore.id = mnuRestore;
    separator.id = mnuSeperator;
    separator.caption = L"-";
    close.id = mnuClose;
    file.items = {restore, separator, close};
    menu.top = {file};
}

void frmRestore::Form_Load() {
    listBuilt_ = false;
    tags_.clear();
    fleBackups.clear();
    SetCaption(LangText(191));
    menu.SetCaption(mnuFile, LangText(192));
    menu.SetCaption(mnuRestore, LangText(191));
    menu.SetCaption(mnuClose, LangText(193));
    menu.Apply(hwnd());
}

void frmRestore::Form_Resize() {
    if (!hwnd() || !lvwRegBackups) return;
    RECT r;
    GetClientRect(hwnd(), &r);
    lvwRegBackups.MovePixels(0, 0, r.right, r.bottom);
}

void frmRestore::Form_Activate() {
    // Built once per opening: coming back to the window keeps the rows and their check marks.
    if (listBuilt_) return;
    listBuilt_ = true;

    const std::string folder = BackupFolder();
    if (!PathExists(folder)) CreateDirectoryA(folder.c_str(), nullptr);
    // A folder that can be neither found nor made lists nothing.
    fleBackups = ListBackupFiles(FromAnsi(folder));

    lvwRegBackups.SetupReport(true);
    for (int id = 194; id <= 196; ++id) lvwRegBackups.AddColumn(LangText(id));

    const int count = static_cast<int>(fleBackups.size());
    for (int i = 1; i <= count; ++i) {
        const std::wstring& name = fleBackups[i - 1];
        int row = lvwRegBackups.AddRow(LangText(197) + std::to_wstring(i));
        if (row < 0) continue;
        lvwRegBackups.SetCell(row, 1, DateFromName(name));
        lvwRegBackups.SetCell(row, 2, std::to_wstring(name.size()));
        if (static_cast<size_t>(row) >= tags_.size()) tags_.resize(row + 1);
        tags_[row] = name;
    }

    Move(ui::ScreenWidthTwips() / 2 - ScaleWidthTwips() / 2, ui::ScreenHeightTwips() / 2 - ScaleHeightTwips() / 2);

    // A third of the list's inside each: a third of its outer width would leave the three
    // columns wider than the list and bring up a horizontal scroll bar.
    RECT r = {};
    if (lvwRegBackups.hwnd) GetClientRect(lvwRegBackups.hwnd, &r);
    for (int c = 0; c < 3; ++c) lvwRegBackups.SetColumnWidthPixels(c, r.right / 3);

    if (lvwRegBackups.Count() == 0) {
        ui::MsgBox(LangText(198), MB_OK);
        Unload();
    }
}

void frmRestore::lvwRegBackups_ItemClick(int row) {
    if (row < 0 || row >= lvwRegBackups.Count()) return;
    lvwRegBackups.SetChecked(row, !lvwRegBackups.Checked(row));
}

void frmRestore::lvwRegBackups_MouseUp(int button, POINT screen) {
    if (button == 2) menu.Popup(mnuFile, hwnd(), screen);
}

void frmRestore::mnuClose_Click() { Unload(); }

void frmRestore::mnuRestore_Click() {
    const std::string folder = BackupFolder();
    if (!PathExists(folder)) CreateDirectoryA(folder.c_str(), nullptr);
    const int n = lvwRegBackups.Count();
    int restored = 0;
    for (int row = 0; row < n; ++row) {
        if (!lvwRegBackups.Checked(row)) continue;
        const std::wstring tag = Tag(row);
        ui::MsgBox(tag, MB_OK);
        // A window closed while the box was up starts nothing more.
        if (!IsLoaded()) return;
        // A blank after /s: Wine's registry editor takes "/s"<path>" for a file named
        // "/s<path>" and imports nothing; the blank is read alike everywhere.
        // Wide, so that the file handed over is the file listed, whatever its name holds.
        const std::wstring file = FromAnsi(BackupFolder()) + L"\\" + tag;
        // The editor would import nothing and the window would say it was handed over.
        if (!HoldsSomethingToImport(file)) {
            ui::MsgBox(LangTextOr(285, L"This backup holds no values to import, so it was not handed to the registry "
                                       L"editor."),
                       MB_OK | MB_ICONINFORMATION);
            if (!IsLoaded()) return;
            ++restored;
            continue;
        }
        const std::wstring line = L"regedit.exe /s \"" + file + L"\"";
        DWORD error = 0;
        if (!RunProgram(line, SW_SHOWMINIMIZED, &error)) {
            ui::MsgBox(LangTextOr(266, L"The registry editor could not be started:") + L"\r\n" + line + L"\r\n" +
                           SystemErrorText(error),
                       MB_OK | MB_ICONERROR);
            return;
        }
        ui::MsgBox(LangText(199), MB_OK);
        ++restored;
    }
    if (restored == 0) ui::MsgBox(LangText(200), MB_OK | MB_ICONEXCLAMATION);
}

void frmRestore::OnCommand(int id, int /*code*/) {
    switch (id) {
    case mnuRestore: mnuRestore_Click(); break;
    case mnuClose:
    case IDCANCEL:  // Esc
        mnuClose_Click();
        break;
    }
}

LRESULT frmRestore::OnNotify(NMHDR* hdr) {
    if (hdr->idFrom != static_cast<UINT_PTR>(kLvwRegBackups)) return 0;
    switch (hdr->code) {
    case NM_CLICK: {
        int row = lvwRegBackups.ClickedRow(hdr);
        if (row >= 0) lvwRegBackups_ItemClick(row);
        break;
    }
    case NM_RCLICK: {
        DWORD pos = GetMessagePos();
        POINT screen = {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
        lvwRegBackups_MouseUp(2, screen);
        break;
    }
    }
    return 0;
}
