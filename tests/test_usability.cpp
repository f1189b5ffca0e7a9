// What a new user meets first: the keyboard focus around message boxes and windows, the
// ignore-list messages in the interface language, documents that read right under any code
// page, captions that show whole with the fonts at hand, and an added entry in sight.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmInfo.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "scan/frmSearch.h"
#include "shell/FrmAbout.h"
#include "shell/frmOptions.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

std::string LanguageFile(const std::string& name) {
    return ProgramFolder() + "\\languages\\" + name + "\\" + name + ".txt";
}

void UseLanguage(const std::string& name) {
    ClearLanguageTable();
    ASSERT_EQ(0, LoadLanguageFile(LanguageFile(name)));
}

class Newcomer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ui::SetEndProgramHook([] {}); }
    static void TearDownTestSuite() { ui::SetEndProgramHook(nullptr); }
    void SetUp() override { UseEnglish(); }
    void TearDown() override {
        for (ui::Form* f : std::initializer_list<ui::Form*>{&frmIgnore::Get(), &FrmAbout::Get(), &frmInfo::Get(),
                                                           &frmMain::Get()})
            if (f->IsLoaded()) f->Unload();
        UseEnglish();
    }

    SettingGuard settings_{"curLang", "Recommended"};
    const bool folder_ = CreateFolderTree(DataFolder());
    FileGuard ignore_{DataFolder() + "\\Ignore.txt"};
};

// A real message box or window, closed by a thread timer once it has the activation; it notes
// whether the keyboard was on one of its controls then.
HWND g_opener = nullptr;
bool g_closed = false, g_focusInside = false;

VOID CALLBACK CloseActive(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND active = GetActiveWindow();
    if (!active || active == g_opener) return;
    KillTimer(nullptr, timer);
    HWND focus = GetFocus();
    g_focusInside = focus && IsChild(active, focus);
    g_closed = true;
    wchar_t cls[16] = {};
    GetClassNameW(active, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0)
        PostMessageW(active, WM_COMMAND, IDOK, 0);
    else
        PostMessageW(active, WM_CLOSE, 0, 0);
}

// Runs `open` with the keyboard on `control` of `form`: the window or box that opens must have
// the keyboard on a control of its own, and the keyboard must be back on `control` after it.
void ExpectFocusComesBack(ui::Form& form, HWND control, const std::function<void()>& open) {
    SetForegroundWindow(form.hwnd());
    SetFocus(control);
    PumpFor(50);
    ASSERT_EQ(GetFocus(), control);
    g_opener = form.hwnd();
    g_closed = g_focusInside = false;
    SetTimer(nullptr, 0, 50, CloseActive);
    open();
    EXPECT_TRUE(PumpUntil([] { return g_closed && GetActiveWindow() == g_opener; }, 5000));
    PumpFor(100);
    EXPECT_TRUE(g_focusInside) << "the window that opened had no control with the keyboard";
    EXPECT_EQ(GetFocus(), control);
}

TEST_F(Newcomer, FocusGoesBackAfterBoxesAndWindows) {
    frmMain& main = frmMain::Get();
    ASSERT_TRUE(main.Load());
    main.Show();
    PumpFor(100);
    EXPECT_TRUE(IsChild(main.hwnd(), GetFocus())) << "a window that opens has the keyboard on a control";
    // The Scan button is the last control in tab order: focus on the first would not pass.
    const struct { const char* what; std::function<void()> open; } openers[] = {
        {"message box", [] { ui::MsgBox(L"Focus test"); }},
        {"settings", [&] { main.mnuOptions_Click(); }},
        {"restore", [&] { main.mnuRestore_Click(); }},
        {"about", [&] { main.mnuAbout_Click(); }},
        {"entry details", [&] { main.mnuInfo_Click(); }},
    };
    for (const auto& o : openers) {
        SCOPED_TRACE(o.what);
        ExpectFocusComesBack(main, main.cmdStartStop.hwnd, o.open);
    }
    main.Unload();

    // Inside the settings dialog: the word on the new language.
    frmIgnore& dlg = frmIgnore::Get();
    ASSERT_TRUE(dlg.Load());
    dlg.Show();
    SCOPED_TRACE("language message");
    ExpectFocusComesBack(dlg, dlg.Command2.hwnd, [&] { dlg.Command2_Click(); });
}

// A stored language that is not installed: the program says so and runs in English, keeping the
// stored choice.
TEST_F(Newcomer, MissingLanguageStartsInEnglish) {
    if (!FileExists(ignore_.path)) WriteFileBytes(ignore_.path, "");  // no first-run work
    PutSetting("curLang", "Klingon");
    StartedProgram program;
    ASSERT_TRUE(program.Start(ProgramFolder() + "\\halvren.exe"));
    HWND box = WaitForWindow(program.pi.dwProcessId, L"#32770", L"Halvren");
    ASSERT_NE(box, nullptr);
    std::wstring said;  // the box's texts that are not empty: its button's and its message
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[256] = {};
        if (GetWindowTextW(c, text, 256) > 0) said += std::wstring(text) + L"|";
    }
    EXPECT_EQ(said, L"OK|Error: Failed loading selected language.|");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND main = WaitForWindow(program.pi.dwProcessId, L"HalvrenForm", L"Halvren");
    ASSERT_NE(main, nullptr);
    wchar_t scan[64] = {};  // the Scan button's caption, from the English file
    for (int i = 0; i < 40 && !*scan; ++i, Sleep(50))
        GetWindowTextW(FindWindowExW(main, nullptr, L"Button", nullptr), scan, 64);
    EXPECT_STREQ(scan, L"Start scan");
    EXPECT_EQ(GetSetting("curLang").str(), "Klingon");
}

// The ignore list's faults speak the interface language; a language file without their texts
// (an older or a user's own one) gets the English words.
TEST_F(Newcomer, IgnoreListFaultsInTheUsersLanguage) {
    const std::string older = DataFolder() + "\\older-language.txt";
    WriteFileBytes(older, "181 Settings\r\n184 &Add\r\n");
    const struct { std::string file; const wchar_t* notSaved; const wchar_t* notRead; } languages[] = {
        {LanguageFile("English"), L"The ignore list could not be saved to:", L"The list is shown empty."},
        {LanguageFile("Polish"), L"Nie mo\u017Cna zapisa\u0107 listy pomijanych w pliku:",
         L"Lista jest wy\u015Bwietlana jako pusta."},
        {LanguageFile("Deutsch"), L"Die Ignorierliste konnte nicht gespeichert werden in:",
         L"Die Liste wird leer angezeigt."},
        {older, L"The ignore list could not be saved to:", L"The list is shown empty."},
    };
    MessageBoxCapture boxes;
    for (const auto& l : languages) {
        SCOPED_TRACE(l.file);
        ClearLanguageTable();
        ASSERT_EQ(0, LoadLanguageFile(l.file));
        boxes.boxes.clear();
        WriteFileBytes(ignore_.path, "KEEP\r\n");
        SetFileAttributesA(ignore_.path.c_str(), FILE_ATTRIBUTE_READONLY);
        frmIgnore& dlg = frmIgnore::Get();
        ASSERT_TRUE(dlg.Load());
        dlg.txtString.SetText(L"new");  // an unchanged list is not written at all
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        SetFileAttributesA(ignore_.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        // Held open without sharing: the dialog cannot read it.
        HANDLE lock = CreateFileA(ignore_.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        dlg.Unload();
        ASSERT_TRUE(dlg.Load());
        dlg.Show();
        PumpFor(50);
        CloseHandle(lock);
        dlg.Unload();
        ASSERT_EQ(boxes.boxes.size(), 2u);
        EXPECT_EQ(boxes.boxes[0].text.find(l.notSaved), 0u) << ToAnsi(boxes.boxes[0].text);
        EXPECT_NE(boxes.boxes[1].text.find(l.notRead), std::wstring::npos) << ToAnsi(boxes.boxes[1].text);
    }
    DeleteFileA(older.c_str());
}

// The read-me and the licence open in Notepad, which reads a file without a byte-order mark
// in the system's code page: each is UTF-8 with its mark.
TEST(Documents, CarryAByteOrderMark) {
    // A word of each, with the letters its old code page held.
    const struct { const char* language; const wchar_t* words[2]; } docs[] = {
        {"English", {L"Halvren", L"Halvren"}},
        {"Polish", {L"wskazuj\u0105cych", L"zastrze\u017Cone"}},
        {"Deutsch", {L"Eintr\u00E4ge", L"d\u00FCrfen"}},
    };
    for (const auto& d : docs) {
        int i = 0;
        for (const char* name : {"readme", "license"}) {
            const std::string path = ProgramFolder() + "\\languages\\" + d.language + "\\" + name + ".txt";
            SCOPED_TRACE(path);
            const std::string bytes = ReadFileBytes(path);
            ASSERT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0);
            const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + 3,
                                              static_cast<int>(bytes.size() - 3), nullptr, 0);
            ASSERT_GT(n, 0);
            std::wstring text(static_cast<size_t>(n), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, bytes.data() + 3, static_cast<int>(bytes.size() - 3), &text[0], n);
            EXPECT_NE(text.find(d.words[i++]), std::wstring::npos);
        }
    }
}

// Each text label whose text its font would wrap or cut beyond the label's size.
BOOL CALLBACK NoteClipped(HWND h, LPARAM p) {
    wchar_t cls[16] = {}, text[512] = {};
    const LONG type = GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK;
    if (!GetClassNameW(h, cls, 16) || lstrcmpiW(cls, L"STATIC") != 0 || type > SS_RIGHT ||
        !GetWindowTextW(h, text, 512))
        return TRUE;
    RECT client, need = {0, 0, 0, 0};
    GetClientRect(h, &client);
    need.right = client.right;
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    if (need.right > client.right || need.bottom > client.bottom)
        reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(text);
    return TRUE;
}

std::vector<std::wstring> ClippedLabels(HWND window) {
    std::vector<std::wstring> clipped;
    EnumChildWindows(window, NoteClipped, reinterpret_cast<LPARAM>(&clipped));
    return clipped;
}

frmMain& ShowMainIn(const char* language) {
    UseLanguage(language);
    frmMain& main = frmMain::Get();
    EXPECT_TRUE(main.Load());
    main.Show();
    return main;
}

TEST_F(Newcomer, CaptionsShowWholeInEveryLanguage) {
    for (const char* language : {"English", "Polish", "Deutsch"}) {
        SCOPED_TRACE(language);
        frmMain& main = ShowMainIn(language);
        // Before the first scan the list is empty: each header as wide as its text.
        for (int c = 0; c < 4; ++c) {
            const std::wstring header = LangText(212 + c);
            const LRESULT need = SendMessageW(main.lvwRegErrors.hwnd, LVM_GETSTRINGWIDTHW, 0,
                                              reinterpret_cast<LPARAM>(header.c_str()));
            EXPECT_GE(main.lvwRegErrors.ColumnWidthPixels(c), need + 12) << ToAnsi(header);
        }
        const std::initializer_list<ui::Form*> forms = {&main, &FrmAbout::Get(), &frmIgnore::Get(), &frmInfo::Get(),
                                                        &frmRestore::Get(), &frmSearch::Get(), &frmOptions::Get()};
        for (ui::Form* form : forms) {
            ASSERT_TRUE(form->Load());
            EXPECT_EQ(ClippedLabels(form->hwnd()), std::vector<std::wstring>()) << ToAnsi(form->Caption());
            form->Unload();
        }
    }
}

// During a scan, in each language: the status label shows both its lines (the phase and the
// count) whole, and the File menu's Stop has an access key that no other item there has.
std::function<void()> g_duringScan;
void CALLBACK DuringScan(HWND, UINT, UINT_PTR, DWORD) { g_duringScan(); }

TEST_F(Newcomer, ScanCountAndStopKeyInEveryLanguage) {
    const std::string key = "Software\\HalvrenTest\\Usability";
    SetString(HKEY_CURRENT_USER, key, "Gone", "C:\\halvren-test\\usability\\gone.exe");
    WriteFileBytes(ignore_.path, "");
    for (const char* language : {"English", "Polish", "Deutsch"}) {
        SCOPED_TRACE(language);
        frmMain& main = ShowMainIn(language);
        std::vector<std::wstring> clipped, items;
        bool seen = false;
        g_duringScan = [&] {
            if (seen || main.lblStatus.Text().find(L'\n') == std::wstring::npos) return;
            seen = true;
            NoteClipped(main.lblStatus.hwnd, reinterpret_cast<LPARAM>(&clipped));
            HMENU file = GetSubMenu(GetMenu(main.hwnd()), 0);
            for (int i = 0; i < GetMenuItemCount(file); ++i) {
                wchar_t text[128] = {};
                if (GetMenuStringW(file, i, text, 128, MF_BYPOSITION) > 0) items.push_back(text);
            }
            main.cmdStartStop_Click();
        };
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, DuringScan);
        main.cmdStartStop_Click();
        KillTimer(nullptr, timer);
        ASSERT_TRUE(seen);
        EXPECT_EQ(clipped, std::vector<std::wstring>());
        ASSERT_EQ(items.size(), 3u);
        std::wstring keys;
        for (const std::wstring& item : items) {
            const size_t amp = item.find(L'&');
            keys += amp + 1 < item.size() ? static_cast<wchar_t>(towupper(item[amp + 1])) : L'-';
        }
        EXPECT_NE(keys[0], L'-') << ToAnsi(items[0]);
        EXPECT_EQ(keys.find(keys[0], 1), std::wstring::npos) << ToAnsi(items[0]);
        main.Unload();
    }
    DeleteTree(HKEY_CURRENT_USER, "Software\\HalvrenTest\\Usability");
}

TEST_F(Newcomer, AddedEntryIsSelectedInSight) {
    std::string many;
    for (int i = 0; i < 40; ++i) many += "ENTRY" + std::to_string(i) + "\r\n";
    WriteFileBytes(ignore_.path, many);
    frmIgnore& dlg = frmIgnore::Get();
    ASSERT_TRUE(dlg.Load());
    dlg.Show();
    dlg.txtString.SetText(L"added");
    dlg.cmdAdd_Click();
    ASSERT_EQ(dlg.lstIgnore.Count(), 41);
    EXPECT_EQ(dlg.lstIgnore.ListIndex(), 40);
    RECT item = {}, client = {};
    SendMessageW(dlg.lstIgnore.hwnd, LB_GETITEMRECT, 40, reinterpret_cast<LPARAM>(&item));
    GetClientRect(dlg.lstIgnore.hwnd, &client);
    EXPECT_GE(item.top, client.top);
    EXPECT_LE(item.bottom, client.bottom);
}

}  // namespace
