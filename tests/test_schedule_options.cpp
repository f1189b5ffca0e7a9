// The options dialog against the real settings and Run key; the schedule timer against a replaced clock.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <functional>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmMain.h"
#include "shell/frmOptions.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const Names[] = {"Recommended", "System Tray", "Startup", "Scheduled", "Hour", "Minute", "Period", "Day", "Month",
                             "Startup Refused"};
SYSTEMTIME g_now;
void Clock(SYSTEMTIME& now) { now = g_now; }
// Runs g_inside from a thread timer, that is inside whatever message loop is running then.
std::function<void()> g_inside;
void CALLBACK RunInside(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), g_inside(); }
// Puts each "|"-separated field of `row` into the value of `names` at the same place; returns the fields.
std::vector<std::string> PutRow(const char* row, std::vector<const char*> names = {}) {
    std::vector<std::string> fields(1);
    for (const char* p = row; *p; ++p)
        if (*p == '|') fields.emplace_back();
        else fields.back() += *p;
    for (size_t i = 0; i < names.size() && i < fields.size(); ++i) PutSetting(names[i], fields[i]);
    return fields;
}
std::string Got(const char* name) { return ValueExists(HKEY_CURRENT_USER, SettingsKey, name) ? GetSetting(name).str() : "-"; }
std::string RunEntry(DWORD t = 0, std::string b = "") { return ReadRaw(HKEY_LOCAL_MACHINE, RunKey, "Halvren", t, b) ? b : "-"; }
void Click(ui::Control& c) { SendMessageW(c.hwnd, BM_CLICK, 0, 0); }
void Type(ui::Control& box, const wchar_t* keys) { for (; *keys; ++keys) SendMessageW(box.hwnd, WM_CHAR, *keys, 0); }
// The four check boxes, the kind, then shown or enabled: the frame, Apply, the daily and the weekly boxes.
std::string State(frmOptions& o) {
    std::string s;
    for (ui::CheckBox* b : {&o.chkRecommended, &o.chkSysTray, &o.chkStartup, &o.chkScheduled}) s += char('0' + b->Value());
    for (auto k : {std::make_pair(&o.optHour, 'H'), {&o.optDay, 'D'}, {&o.optWeek, 'W'}, {&o.optMonth, 'M'}})
        if (k.first->Value()) s += k.second;
    for (bool on : {o.fmeFrame.Visible(), o.cmdApply.Enabled(), o.txtHour.Enabled(), o.txtHour2.Enabled()}) s += on ? '+' : '-';
    return s;
}
// The Run key refuses every change of its values while this lives, as it does for a user without administrator rights.
struct RunKeyRefused {
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR saved = nullptr;
    PACL dacl = nullptr, denied = nullptr;
    RunKeyRefused() {
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKey, 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
        GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &saved);
        EXPLICIT_ACCESS_A deny = {};
        BuildExplicitAccessWithNameA(&deny, const_cast<char*>("EVERYONE"), KEY_SET_VALUE, DENY_ACCESS, NO_INHERITANCE);
        SetEntriesInAclA(1, &deny, dacl, &denied);
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, denied, nullptr);
    }
    ~RunKeyRefused() {
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        RegCloseKey(key), LocalFree(denied), LocalFree(saved);
    }
};
std::string Quoted() {
    char exe[MAX_PATH];
    return "\"" + std::string(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH)) + "\"";
}

class ScheduleOptions : public ::testing::Test {
protected:
    static void TearDownTestSuite() { frmMain::Get().Unload(); }
    void SetUp() override {
        frmMain::SetClockHook(Clock);
        ui::SetEndProgramHook([] {});
        CreateFolderTree(DataFolder());
        UseEnglish();
        for (const char* n : Names) PutSetting(n, "");
    }
    void TearDown() override {
        if (frmOptions::Get().IsLoaded()) frmOptions::Get().Unload();
        if (run_ == "-") DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren");
        else SetBinary(HKEY_LOCAL_MACHINE, RunKey, "Halvren", run_, REG_SZ);
    }
    frmOptions& Open() { return frmOptions::Get().Show(), frmOptions::Get(); }
    // A tick at `t` ("YYYY-MM-DD hh:mm"); true when it started a scan, which a click stops at its first yield.
    bool TickAt(const char* t, bool stopAtOnce = true) {
        frmMain& f = frmMain::Get();
        SYSTEMTIME s = {};
        sscanf(t, "%hu-%hu-%hu %hu:%hu", &s.wYear, &s.wMonth, &s.wDay, &s.wHour, &s.wMinute);
        FILETIME ft;
        SystemTimeToFileTime(&s, &ft), FileTimeToSystemTime(&ft, &g_now);  // the weekday too
        f.lblCurrentKey.SetText(L"-");
        if (stopAtOnce) PostMessageW(f.hwnd(), WM_COMMAND, frmMain::mnuStartStop, 0);
        f.tmrScheduled_Timer();
        for (MSG m; PeekMessageW(&m, f.hwnd(), WM_COMMAND, WM_COMMAND, PM_REMOVE);) {}
        return f.lblCurrentKey.Text() != L"-";
    }
    SettingGuard guard_{"Recommended", "System Tray", "Startup", "Scheduled", "Hour",
                        "Minute",      "Period",      "Day",     "Month",     "curLang", "Startup Refused"};
    FileGuard ignore_{DataFolder() + "\\Ignore.txt"};
    const std::string run_ = RunEntry();
    MessageBoxCapture boxes_;
};

// The time boxes take digits only, typed as WM_CHAR, two at most; Apply refuses a time that cannot run, stores the
// schedule and the quoted Run entry, and is stopped by a Run key that refuses the change.
TEST_F(ScheduleOptions, OptionsDialogApply) {
    const wchar_t* const messages[] = {L"Please type the hour in which your scheduled scan will run.",
                                       L"Please type the minute in which your scheduled scan will run.",
                                       L"Please enter a correct hour.", L"Please enter a correct minute."};
    // Kind clicked (D, W, - for none), keys typed into the four boxes, message, focus (box, 4 scheduled, 5 daily).
    for (const char* row : {"W||||5|0|2", "D|a- 7|61|||3|1", "D|13|5|||2|0", "D|0|5|||2|0", "W|||7|61|3|3",
                            "W|||123|60|3|3", "W||61|12|5|3|5", "-|99||||2|4"}) {
        std::vector<std::string> f = PutRow(row);
        frmOptions& o = Open();
        Click(f[0] == "-" ? o.chkRecommended : o.chkScheduled);  // typing alone leaves Apply disabled
        ui::TextBox* boxes[] = {&o.txtHour, &o.txtMinute, &o.txtHour2, &o.txtMinute2};
        for (int i = 0; i < 4; ++i) Type(*boxes[i], FromAnsi(f[i + 1]).c_str());
        if (f[0] != "-") Click(f[0] == "D" ? o.optDay : o.optWeek);
        boxes_.boxes.clear();
        Click(o.cmdApply);
        ASSERT_EQ(boxes_.boxes.size(), 1u) << row;
        EXPECT_EQ(boxes_.boxes[0].text, messages[std::stoi(f[5])]) << row;
        HWND focus[] = {o.txtHour.hwnd, o.txtMinute.hwnd, o.txtHour2.hwnd, o.txtMinute2.hwnd, o.chkScheduled.hwnd, o.optDay.hwnd};
        EXPECT_EQ(GetFocus(), focus[std::stoi(f[6])]) << row;
        EXPECT_EQ(Got("Scheduled"), "-") << row;
        o.Unload();
    }
    char exe[MAX_PATH];
    const std::string quoted = "\"" + std::string(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH)) + "\"";
    frmOptions& o = Open();
    Click(o.chkStartup), Click(o.chkScheduled), Click(o.optWeek), Type(o.txtHour2, L"7"), Type(o.txtMinute2, L"05");
    SendMessageW(o.cboDay.hwnd, CB_SETCURSEL, 5, 0), SendMessageW(o.cboPeriod2.hwnd, CB_SETCURSEL, 1, 0);
    Click(o.cmdApply);
    EXPECT_EQ(RunEntry(), quoted);
    EXPECT_EQ(Got("Startup") + Got("Scheduled") + Got("Hour") + Got("Minute") + Got("Period") + Got("Day"), "11-Week705PMFriday");
    // Turning start with Windows off against a Run key that refuses it: the message names the key and the reason,
    // and the schedule left on brings the start-with-Windows notice.
    {
        RunKeyRefused refused;
        Open(), Click(o.chkStartup), boxes_.boxes.clear(), Click(o.cmdApply);
    }
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    for (std::wstring part : {FromAnsi("HKEY_LOCAL_MACHINE\\") + FromAnsi(RunKey), SystemErrorText(ERROR_ACCESS_DENIED)})
        EXPECT_NE(boxes_.boxes[0].text.find(part), std::wstring::npos) << ToAnsi(part);
    EXPECT_EQ(RunEntry() + Got("Startup") + (o.IsLoaded() ? "open" : ""), quoted + "1open");
}

// Loading: the stored values to the check boxes and the kind, then the click reactions; the time boxes open empty
// and the lists at AM, Sunday, AM whatever is stored, and the close box stores nothing.
TEST_F(ScheduleOptions, OptionsDialogLoad) {
    // "Recommended", "System Tray", "Startup", "Scheduled", then State() after loading.
    for (const char* row : {"||||0000H--++", "1|0|1|1-Week|1011W++-+", "0|1|0|1-Day|0101D+++-", "2|yes| 1|1-Month|0011M++++",
                            "|1.0|7|0|0100H-+++", "|||1-hour|0001H++++", "|||x-Week|0000W-+-+", "|||1-Day |0001H++++"}) {
        std::vector<std::string> f = PutRow(row, {"Recommended", "System Tray", "Startup", "Scheduled"});
        PutRow("7|30|PM|Friday", {"Hour", "Minute", "Period", "Day"});
        frmOptions& o = Open();
        EXPECT_EQ(State(o), f[4]) << row;
        EXPECT_EQ(o.txtHour.Text() + o.txtMinute2.Text() + o.cboPeriod.Text() + o.cboDay.Text() + o.cboPeriod2.Text(),
                  L"AMSundayAM") << row;
        SendMessageW(o.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(Got("Recommended") + (o.IsLoaded() ? "open" : ""), f[0].empty() ? "-" : f[0]) << row;
    }
    PutRow("|||", {"Recommended", "System Tray", "Startup", "Scheduled"});
    frmOptions& o = Open();
    Click(o.chkScheduled), Click(o.optDay), Click(o.optWeek), Click(o.optDay), Click(o.optMonth);
    EXPECT_EQ(State(o), "0001M+++-");  // the weekly boxes end disabled
    EXPECT_TRUE(boxes_.boxes.empty());
}

// Apply of each kind and of the schedule off: the start-with-Windows notice first when start with Windows is off, which
// checks it and stores neither the schedule nor "Startup"; the second Apply writes the Run entry, stores and closes.
TEST_F(ScheduleOptions, OptionsDialogStoresEachKind) {
    const char* const stored[] = {"Scheduled", "Hour", "Minute", "Period", "Day", "Startup"};
    // Stored "Scheduled", "Startup", "Hour"; the kind clicked (0 turns the schedule off, - clicks nothing); daily and
    // weekly hour and minute typed; the notice (1); then the stored values after the last Apply.
    for (const char* row : {"|||H|||||1|1-Hour|-|-|-|-|1", "|||D|7|30|||1|1-Day|7|30|AM|-|1",
                            "|||W|||11|05|1|1-Week|11|05|AM|Sunday|1", "|||M|||||1|1-Month|-|-|-|-|1",
                            "1-Day|1|7|0|||||0|0|7|-|-|-|1", "1-Month|1||-|||||0|1-Month|-|-|-|-|1"}) {
        for (const char* n : Names) PutSetting(n, "");
        DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren");
        std::vector<std::string> f = PutRow(row, {"Scheduled", "Startup", "Hour"});
        frmOptions& o = Open();
        if (f[3] != "-") Click(o.chkScheduled);
        if (f[3] != "0" && f[3] != "-") Click(f[3] == "H" ? o.optHour : f[3] == "D" ? o.optDay : f[3] == "W" ? o.optWeek : o.optMonth);
        ui::TextBox* boxes[] = {&o.txtHour, &o.txtMinute, &o.txtHour2, &o.txtMinute2};
        for (int i = 0; i < 4; ++i) Type(*boxes[i], FromAnsi(f[i + 4]).c_str());
        boxes_.boxes.clear();
        Click(o.cmdApply);
        if (f[8] == "1") {
            ASSERT_EQ(boxes_.boxes.size(), 1u) << row;
            EXPECT_EQ(boxes_.boxes[0].text, L"In order to have scheduled scans, Halvren has to run when Windows starts.(The "
                                            L"\"Start Halvren on Windows Startup\" checkbox will be checked)");
            EXPECT_EQ(boxes_.boxes[0].title + std::to_wstring(boxes_.boxes[0].flags), std::to_wstring(MB_OK | MB_ICONEXCLAMATION));
            EXPECT_EQ(FromAnsi(State(o).substr(2, 1) + RunEntry() + Got("Scheduled") + Got("Startup")), L"1---") << row;
            ASSERT_TRUE(o.IsLoaded()) << row;
            Click(o.cmdApply);
        }
        EXPECT_EQ(boxes_.boxes.size(), f[8] == "1" ? 1u : 0u) << row;
        std::string got, want;
        for (size_t i = 0; i < 6; ++i) got += (i ? "|" : "") + Got(stored[i]), want += (i ? "|" : "") + f[9 + i];
        EXPECT_EQ(got + (o.IsLoaded() ? " open" : ""), want) << row;
        EXPECT_EQ(RunEntry(), Got("Startup") == "1" ? Quoted() : "-") << row;
    }
}

// A Run key the user may not change: the message names it and the system's reason, and Apply goes on to store the
// schedule and, as "Startup", what the Run key really holds; a right text of another string type counts as written.
TEST_F(ScheduleOptions, OptionsDialogRunKeyRefused) {
    const std::string quoted = Quoted();
    const std::string bare = quoted.substr(1, quoted.size() - 2);
    struct Case {
        const char* entry;  // the value before: "-" none, "q" the quoted path, "x" the bare path as REG_EXPAND_SZ
        bool startup;       // start with Windows asked for
        int messages;
        const char* scheduled;
        const char* startupStored;
    } cases[] = {{"q", false, 1, "0", "1"}, {"-", true, 1, "1-Hour", "0"}, {"x", true, 0, "1-Hour", "1"}};
    for (const Case& c : cases) {
        for (const char* n : Names) PutSetting(n, "");
        DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren");
        if (*c.entry != '-') SetString(HKEY_LOCAL_MACHINE, RunKey, "Halvren", *c.entry == 'q' ? quoted : bare, *c.entry == 'q' ? REG_SZ : REG_EXPAND_SZ);
        PutSetting("Startup", c.startup ? "0" : "1");
        PutSetting("Scheduled", c.startup ? "0" : "1-Hour");
        frmOptions& o = Open();
        Click(o.chkStartup), Click(o.chkScheduled);
        boxes_.boxes.clear();
        const std::string before = RunEntry();
        {
            RunKeyRefused refused;
            Click(o.cmdApply);
        }
        ASSERT_EQ(boxes_.boxes.size(), static_cast<size_t>(c.messages)) << c.entry;
        for (const CapturedBox& b : boxes_.boxes)
            for (std::wstring part : {FromAnsi("HKEY_LOCAL_MACHINE\\") + FromAnsi(RunKey), SystemErrorText(ERROR_ACCESS_DENIED)})
                EXPECT_NE(b.text.find(part), std::wstring::npos) << ToAnsi(part);
        EXPECT_EQ(RunEntry(), before) << c.entry;
        EXPECT_EQ(Got("Scheduled") + "|" + Got("Startup") + (o.IsLoaded() ? " open" : ""),
                  std::string(c.scheduled) + "|" + c.startupStored) << c.entry;
    }
    // Told once that the Run key refuses the entry, the user is not stopped by the notice again
    // while it does: one Apply a visit. A Run key that takes it again brings the notice back.
    for (const char* n : Names) PutSetting(n, "");
    DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren");
    std::string seen;  // each Apply: the boxes shown, and "o" when the dialog stays open
    auto apply = [&](frmOptions& o) {
        boxes_.boxes.clear();
        Click(o.cmdApply);
        seen += std::to_string(boxes_.boxes.size()) + (o.IsLoaded() ? "o " : " ");
    };
    {
        RunKeyRefused refused;
        Click(Open().chkScheduled);
        apply(frmOptions::Get()), apply(frmOptions::Get());
        Click(Open().chkSysTray);
        apply(frmOptions::Get());
    }
    Click(Open().chkSysTray);
    apply(frmOptions::Get());
    EXPECT_EQ(seen, "1o 1 0 1o ");
    EXPECT_EQ(Got("Scheduled") + "|" + Got("Startup"), "1-Hour|0");
}

// Each row: "Scheduled", "Hour", "Minute", "Period", "Day", "Month", the clock, and 1 when a scan starts.
TEST_F(ScheduleOptions, ScheduleTimer) {
    const char* const rows[] = {
        "1-Hour||||||2026-12-07 10:00|1", "1-Month||||||2027-01-01 00:00|1", "1-Month||||||2027-01-02 00:00|0",
        "1-Day|7|30|PM|||2026-12-07 19:30|1", "1-Day|07|30|PM|||2026-12-08 19:30|1", "1-Day|7|30|PM|||2026-12-08 07:30|0",
        "1-Day|12|5|AM|||2026-12-07 00:05|1", "1-Day|12|5|PM|||2026-12-08 12:05|1", "1-Day|7.5|30|PM|||2026-12-11 19:30|0",
        "1-Week|7|30|PM|Sunday||2026-12-06 19:30|1", "1-Week|7|30|PM|Sunday||2026-12-07 19:30|0",
        "0||||||2026-12-07 12:00|0", "||||||2026-12-07 13:00|0", "1-hour||||||2026-12-07 11:00|0",
        "1-Day|7|30|pm|||2026-12-09 19:30|0", "1-Week|7|30|PM|sunday||2026-12-13 19:30|0", "1-Day||30|PM|||2026-12-13 19:30|0"};
    frmMain& f = frmMain::Get();
    f.Show();
    for (const char* row : rows) {
        PutSetting("Scheduled", "0");
        std::string at = PutRow(row)[6], before = at;  // a quiet tick a minute before, or later in the hour
        before[15] = '9', before[14] = static_cast<char>(before[14] == '0' ? '5' : before[14] - 1);
        TickAt(before.c_str());
        std::vector<std::string> fields = PutRow(row, {"Scheduled", "Hour", "Minute", "Period", "Day", "Month"});
        EXPECT_EQ(TickAt(at.c_str()), fields[7] == "1") << row;
    }
    // A held-up tick evaluates the minutes it missed, a few at most, and none twice; a busy window starts no scan.
    PutSetting("Scheduled", "1-Hour");
    for (const char* t : {"09:58 0", "10:03 1", "10:03 0", "10:54 0", "11:06 0", "11:59 0", "12:00 1"})
        EXPECT_EQ(TickAt(("2026-12-07 " + std::string(t, 5)).c_str()), t[6] == '1') << t;
    bool scanned = true;  // a modal window is up
    g_inside = [&] { scanned = TickAt("2026-12-07 13:00"), PostMessageW(frmOptions::Get().hwnd(), WM_CLOSE, 0, 0); };
    SetTimer(nullptr, 0, 10, RunInside);
    frmOptions::Get().ShowModal();
    EXPECT_FALSE(scanned);
    std::string backup;  // a fix is under way, its message about the backup up
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring&, unsigned) {
        if (text.find(LangText(217)) == 0) backup = ToAnsi(text.substr(LangText(217).size() + 1)), scanned = TickAt("2026-12-07 14:00");
        return IDOK;
    });
    f.mnuFix_Click();
    EXPECT_FALSE(scanned);
    EXPECT_FALSE(FileExists(backup.substr(0, backup.size() - 1)));  // a fix that deleted nothing keeps none
    SetMessageBoxHook(nullptr);  // the user's own scan: a due tick inside it leaves it running
    bool stillScanning = false;
    int calls = 0;
    g_inside = [&] {
        if (calls++ == 0) return (void)(scanned = TickAt("2026-12-07 15:00", false)), (void)SetTimer(nullptr, 0, 200, RunInside);
        stillScanning = f.Scanning(), f.cmdStartStop_Click();
    };
    SetTimer(nullptr, 0, 10, RunInside);
    f.cmdStartStop_Click();
    EXPECT_FALSE(scanned);
    EXPECT_TRUE(stillScanning);
    TickAt("2026-12-21 08:59");  // the real timer; the scan is stopped by hand after a while
    g_now.wHour = 9, g_now.wMinute = 0;
    stillScanning = false;
    g_inside = [&] { stillScanning = f.Scanning(), f.cmdStartStop_Click(); };
    SetTimer(nullptr, 0, 600, RunInside);
    f.tmrScheduled.SetInterval(30);
    for (int i = 0; i < 100 && f.lblCurrentKey.Text() != LangText(206); ++i) PumpFor(50);
    f.tmrScheduled.SetInterval(60000);
    EXPECT_TRUE(stillScanning);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
}

// A due minute that finds a modal window up waits, and its scan starts as soon as the window is idle again: one scan for
// two due minutes, none when the schedule was changed meanwhile.
TEST_F(ScheduleOptions, DueMinuteWaitsForTheIdleWindow) {
    frmMain& f = frmMain::Get();
    f.Show();
    // The scans that start within a while, each stopped at once.
    auto scansStarted = [&] {
        int scans = 0;
        bool stopping = false;
        g_inside = [&] {
            if (f.Scanning() && !stopping) ++scans, stopping = true, f.cmdStartStop_Click();
            stopping = stopping && f.Scanning();
            SetTimer(nullptr, 0, 20, RunInside);
        };
        SetTimer(nullptr, 0, 20, RunInside);
        PumpFor(2500);
        g_inside = [] {};
        return scans;
    };
    // The ticks while the modal window is up ("0" turns the schedule off), then the scans once it has closed.
    for (const char* row : {"13:00|1", "13:00 14:00|1", "13:00 0|0", "13:30|0"}) {
        PutSetting("Scheduled", "1-Hour");
        TickAt("2026-12-07 12:30");
        const std::vector<std::string> fields = PutRow(row);
        g_inside = [&] {
            for (size_t at = 0; at < fields[0].size(); at += 6) {
                const std::string tick = fields[0].substr(at, 5);
                tick == "0" ? PutSetting("Scheduled", "0") : (void)TickAt(("2026-12-07 " + tick).c_str());
            }
            PostMessageW(frmOptions::Get().hwnd(), WM_CLOSE, 0, 0);
        };
        SetTimer(nullptr, 0, 10, RunInside);
        frmOptions::Get().ShowModal();
        EXPECT_EQ(scansStarted(), std::stoi(fields[1])) << row;
    }
    // A menu of the main window open at the due minute: the scan starts once it has closed.
    PutSetting("Scheduled", "1-Hour");
    TickAt("2026-12-07 15:30");
    bool inMenu = true;
    g_inside = [&] { inMenu = TickAt("2026-12-07 16:00"), EndMenu(); };
    SetTimer(nullptr, 0, 50, RunInside);
    f.menu.Popup(frmMain::mnuFile, f.hwnd(), POINT{20, 20});
    EXPECT_FALSE(inMenu);
    EXPECT_EQ(scansStarted(), 1);
}

}  // namespace
