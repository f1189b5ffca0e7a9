// The options dialog driven through its controls against the real settings and Run key, and the
// main window's schedule timer against a replaced clock.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "shell/frmOptions.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const Names[] = {"Recommended", "System Tray", "Startup", "Scheduled", "Hour", "Minute", "Period", "Day", "Month"};
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
std::string RunEntry(DWORD type = 0, std::string bytes = "") {
    return ReadRaw(HKEY_LOCAL_MACHINE, RunKey, "Halvren", type, bytes) ? bytes : "-";
}
void Click(ui::Control& c) { SendMessageW(c.hwnd, BM_CLICK, 0, 0); }
void Type(ui::Control& box, const wchar_t* keys) {
    for (; *keys; ++keys) SendMessageW(box.hwnd, WM_CHAR, *keys, 0);
}
// The four check boxes, the kind, then shown or enabled: the frame, Apply, the daily and the weekly boxes.
std::string State(frmOptions& o) {
    std::string s;
    for (ui::CheckBox* b : {&o.chkRecommended, &o.chkSysTray, &o.chkStartup, &o.chkScheduled}) s += char('0' + b->Value());
    for (auto k : {std::make_pair(&o.optHour, 'H'), {&o.optDay, 'D'}, {&o.optWeek, 'W'}, {&o.optMonth, 'M'}})
        if (k.first->Value()) s += k.second;
    for (bool on : {o.fmeFrame.Visible(), o.cmdApply.Enabled(), o.txtHour.Enabled(), o.txtHour2.Enabled()}) s += on ? '+' : '-';
    return s;
}

class ScheduleOptions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        frmMain::SetClockHook(Clock);
        ui::SetEndProgramHook([] {});
        CreateFolderTree(DataFolder());
        ignore_ = std::make_unique<FileGuard>(DataFolder() + "\\Ignore.txt");
    }
    static void TearDownTestSuite() {
        frmMain::SetClockHook(nullptr);
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        ignore_.reset();
    }
    static inline std::unique_ptr<FileGuard> ignore_;
    void SetUp() override {
        UseEnglish();
        for (const char* n : Names) PutSetting(n, "");
        hadRun_ = ReadRaw(HKEY_LOCAL_MACHINE, RunKey, "Halvren", runType_, run_);
    }
    void TearDown() override {
        if (frmOptions::Get().IsLoaded()) frmOptions::Get().Unload();
        if (hadRun_) SetBinary(HKEY_LOCAL_MACHINE, RunKey, "Halvren", run_, runType_);
        else DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren");
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
        HWND button = f.cmdStartStop.hwnd;
        if (stopAtOnce) PostMessageW(f.hwnd(), WM_COMMAND, GetDlgCtrlID(button), reinterpret_cast<LPARAM>(button));
        f.tmrScheduled_Timer();
        MSG m;
        while (PeekMessageW(&m, f.hwnd(), WM_COMMAND, WM_COMMAND, PM_REMOVE)) {}
        return f.lblCurrentKey.Text() != L"-";
    }
    SettingGuard guard_{"Recommended", "System Tray", "Startup", "Scheduled", "Hour",
                        "Minute",      "Period",      "Day",     "Month",     "curLang"};
    bool hadRun_ = false;
    DWORD runType_ = REG_SZ;
    std::string run_;
    MessageBoxCapture boxes_;
};

TEST_F(ScheduleOptions, LoadsStoredValuesAndReactsToClicks) {
    // "Recommended", "System Tray", "Startup", "Scheduled", then State() after loading.
    for (const char* row : {"||||0000H--++", "1|0|1|1-Week|1011W++-+", "0|1|0|1-Day|0101D+++-", "2|yes| 1|1-Month|0011M++++",
                            "|1.0|7|0|0100H-+++", "|||1-hour|0001H++++", "|||x-Week|0000W-+-+", "|||1-Day |0001H++++"}) {
        std::vector<std::string> f = PutRow(row, {"Recommended", "System Tray", "Startup", "Scheduled"});
        PutSetting("Hour", "7");
        frmOptions& o = Open();
        EXPECT_EQ(State(o), f[4]) << row;
        EXPECT_EQ(o.txtHour2.Text() + o.cboPeriod.Text() + o.cboDay.Text() + o.cboPeriod2.Text(), L"AMSundayAM");
        SendMessageW(o.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box stores nothing
        EXPECT_EQ(Got("Recommended") + (o.IsLoaded() ? "open" : ""), f[0].empty() ? "-" : f[0]);
    }
    PutRow("|||", {"Recommended", "System Tray", "Startup", "Scheduled"});
    frmOptions& o = Open();
    Type(o.txtHour, L"a- \b123");
    EXPECT_EQ(o.txtHour.Text() + FromAnsi(State(o)), L"120000H--++");  // typing does not enable Apply
    Click(o.chkScheduled), Click(o.optDay), Click(o.optWeek), Click(o.optDay), Click(o.optMonth);
    EXPECT_EQ(State(o), "0001M+++-");
    bool modal = false;  // Ignore List opens the settings dialog modal
    g_inside = [&] { modal = frmIgnore::Get().IsVisible() && !IsWindowEnabled(o.hwnd()), frmIgnore::Get().Unload(); };
    SetTimer(nullptr, 0, 10, RunInside), Click(o.cmdIgnore);
    EXPECT_TRUE(modal && IsWindowEnabled(o.hwnd()));
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ScheduleOptions, ApplyRefusesWhatCannotRun) {
    const wchar_t* const messages[] = {L"Please type the hour in which your scheduled scan will run.",
                                       L"Please type the minute in which your scheduled scan will run.",
                                       L"Please enter a correct hour.", L"Please enter a correct minute."};
    // The kind clicked (D, W, or - for the schedule left off), the four boxes, the message, the control given the
    // focus (a box, 4 the schedule check box, 5 the daily option). Start with Windows is checked.
    for (const char* row : {"W||||5|0|2", "D|7||||1|1", "D|13|5|||2|0", "D|0|5|||2|0", "W|||7|61|3|3", "W|||12|60|3|3",
                            "W||61|12|5|3|5", "-|99||||2|4"}) {
        for (const char* n : Names) PutSetting(n, "");
        std::vector<std::string> f = PutRow(row);
        frmOptions& o = Open();
        Click(o.chkStartup), Click(o.chkRecommended);
        if (f[0] != "-") Click(o.chkScheduled);
        ui::TextBox* boxes[] = {&o.txtHour, &o.txtMinute, &o.txtHour2, &o.txtMinute2};
        for (int i = 0; i < 4; ++i) Type(*boxes[i], FromAnsi(f[i + 1]).c_str());
        if (f[0] != "-") Click(f[0] == "D" ? o.optDay : o.optWeek);
        boxes_.boxes.clear();
        Click(o.cmdApply);
        ASSERT_EQ(boxes_.boxes.size(), 1u) << row;
        EXPECT_EQ(boxes_.boxes[0].text, messages[std::stoi(f[5])]) << row;
        HWND focus[] = {o.txtHour.hwnd, o.txtMinute.hwnd, o.txtHour2.hwnd, o.txtMinute2.hwnd, o.chkScheduled.hwnd, o.optDay.hwnd};
        EXPECT_EQ(GetFocus(), focus[std::stoi(f[6])]) << row;
        EXPECT_EQ(Got("Recommended") + Got("Scheduled") + Got("Startup") + RunEntry().substr(0, 1), "1--\"");
        o.Unload();
    }
}

TEST_F(ScheduleOptions, ApplyStoresTheScheduleAndTheQuotedRunEntry) {
    char exe[MAX_PATH];
    const std::string quoted = "\"" + std::string(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH)) + "\"";
    frmOptions& o = Open();
    Click(o.chkScheduled), Click(o.optWeek), Type(o.txtHour2, L"7"), Type(o.txtMinute2, L"05");
    SendMessageW(o.cboDay.hwnd, CB_SETCURSEL, 5, 0), SendMessageW(o.cboPeriod2.hwnd, CB_SETCURSEL, 1, 0);
    SetBinary(HKEY_LOCAL_MACHINE, RunKey, "Halvren", "old", REG_SZ);
    Click(o.cmdApply);  // start with Windows is off: the notice checks it and nothing of the schedule is stored
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].flags, unsigned(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(o.chkStartup.Value(), 1);
    EXPECT_EQ(RunEntry() + Got("Scheduled") + Got("Startup"), "---");
    Click(o.cmdApply);
    EXPECT_FALSE(o.IsLoaded());
    EXPECT_EQ(RunEntry(), quoted);
    std::string stored;
    for (const char* n : Names) stored += Got(n) + "|";
    EXPECT_EQ(stored, "0|0|1|1-Week|7|05|PM|Friday|-|");
    Open(), Click(o.chkScheduled), Click(o.chkStartup), Click(o.cmdApply);  // off again: the times stay
    EXPECT_EQ(RunEntry() + Got("Scheduled") + Got("Hour"), "-07");
    PutSetting("Scheduled", "1-Month"), PutSetting("Startup", "1"), Open(), Click(o.cmdApply);
    EXPECT_EQ(Got("Scheduled") + (o.IsLoaded() ? "open" : ""), "1-Month");

    // A Run key that refuses the change stops Apply with a message that names it and the reason: the removal of
    // the entry just written, then the writing of a new one.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKey, 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR saved = nullptr;
    PACL dacl = nullptr, denied = nullptr;
    GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &saved);
    EXPLICIT_ACCESS_A deny = {};
    BuildExplicitAccessWithNameA(&deny, const_cast<char*>("EVERYONE"), KEY_SET_VALUE, DENY_ACCESS, NO_INHERITANCE);
    SetEntriesInAclA(1, &deny, dacl, &denied);
    for (const std::string& entry : {quoted, std::string("-")}) {
        if (entry == "-") DeleteRegValue(HKEY_LOCAL_MACHINE, RunKey, "Halvren"), PutSetting("Startup", "0");
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, denied, nullptr);
        Open(), Click(o.chkStartup), boxes_.boxes.clear(), Click(o.cmdApply);
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        for (std::wstring part : {FromAnsi("HKEY_LOCAL_MACHINE\\") + FromAnsi(RunKey), SystemErrorText(ERROR_ACCESS_DENIED)})
            EXPECT_NE(boxes_.boxes[0].text.find(part), std::wstring::npos) << ToAnsi(part);
        EXPECT_EQ(RunEntry() + Got("Startup") + (o.IsLoaded() ? "open" : ""), entry + (entry == "-" ? "0" : "1") + "open");
        o.Unload();
    }
    RegCloseKey(key), LocalFree(denied), LocalFree(saved);
}

// "Scheduled", "Hour", "Minute", "Period", "Day", "Month", the clock, and 1 when a scan starts.
TEST_F(ScheduleOptions, ScanFallsDueByTheStoredSchedule) {
    const std::string longHour = "1-Day|" + std::string(300, '7') + "|30|PM|||2026-12-20 19:30|0";
    const char* const rows[] = {
        "1-Hour||||||2026-12-07 10:00|1", "1-Hour||||||2026-12-07 10:01|0", "1-hour||||||2026-12-07 11:00|0",
        "0||||||2026-12-07 12:00|0", "||||||2026-12-07 13:00|0", "x-Hour||||||2026-12-07 14:00|0",
        "1-Day|7|30|PM|||2026-12-07 19:30|1", "1-Day|07|30|PM|||2026-12-08 19:30|1", "1-Day|7|30|PM|||2026-12-08 07:30|0",
        "1-Day|7|30|pm|||2026-12-09 19:30|0", "1-Day|12|5|AM|||2026-12-07 00:05|1", "1-Day|12|5|AM|||2026-12-07 12:05|0",
        "1-Day|12|5|PM|||2026-12-08 12:05|1", "1-Day|0|0|AM|||2026-12-08 00:00|0", "1-Day|7|60|PM|||2026-12-08 20:00|0",
        "1-Day| 7|+30|PM|||2026-12-10 19:30|1", "1-Day|7.5|30|PM|||2026-12-11 19:30|0", "1-Day|&H7|30|PM|||2026-12-12 19:30|0",
        "1-Day||30|PM|||2026-12-13 19:30|0", "1-Day |7|30|PM|||2026-12-14 19:30|0", "1-|7|30|PM|||2026-12-15 19:30|0",
        "1-Week|7|30|PM|Sunday||2026-12-06 19:30|1", "1-Week|7|30|PM|Sunday||2026-12-07 19:30|0",
        "1-Week|7|30|PM|sunday||2026-12-13 19:30|0", "1-Month||||||2027-01-01 00:00|1", "1-Month||||||2027-01-02 00:00|0",
        "1-Month|||||March|2027-03-05 00:00|1", "1-Month|||||March|2027-03-05 00:01|0", "1-Month|||||March|2027-04-01 00:00|0",
        longHour.c_str()};
    ASSERT_TRUE(frmMain::Get().Load());
    for (const char* row : rows) {
        PutSetting("Scheduled", "0");
        std::string at = PutRow(row)[6], before = at;  // a quiet tick a minute before, or later in the hour
        before[15] = '9', before[14] = static_cast<char>(before[14] == '0' ? '5' : before[14] - 1);
        TickAt(before.c_str());
        std::vector<std::string> f = PutRow(row, {"Scheduled", "Hour", "Minute", "Period", "Day", "Month"});
        EXPECT_EQ(TickAt(at.c_str()), f[7] == "1") << row;
    }
    EXPECT_TRUE(boxes_.boxes.empty());
}

// A held-up tick evaluates the minutes it missed, a few at most, and none twice; a busy window lets a due minute pass.
TEST_F(ScheduleOptions, LateTicksAndABusyWindow) {
    frmMain& f = frmMain::Get();
    f.Show();
    PutSetting("Scheduled", "1-Hour");
    for (auto t : {std::make_pair("2026-12-07 09:58", false), {"2026-12-07 10:03", true}, {"2026-12-07 10:03", false},
                   {"2026-12-07 10:54", false}, {"2026-12-07 11:06", false}, {"2026-12-07 11:59", false},
                   {"2026-12-07 12:00", true}})
        EXPECT_EQ(TickAt(t.first), t.second) << t.first;

    bool scanned = true;  // a modal window is up
    g_inside = [&] { scanned = TickAt("2026-12-07 13:00"), PostMessageW(frmOptions::Get().hwnd(), WM_CLOSE, 0, 0); };
    SetTimer(nullptr, 0, 10, RunInside);
    frmOptions::Get().ShowModal();
    EXPECT_FALSE(scanned);
    EXPECT_TRUE(IsWindowEnabled(f.hwnd()));

    std::string backup;  // a fix is under way, its message about the backup up
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring&, unsigned) {
        if (text.find(LangText(217)) == 0) backup = ToAnsi(text.substr(LangText(217).size() + 1)), scanned = TickAt("2026-12-07 14:00");
        return IDOK;
    });
    scanned = true;
    f.mnuFix_Click();
    EXPECT_FALSE(scanned);
    EXPECT_TRUE(DeleteFileA(backup.substr(0, backup.size() - 1).c_str()));

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
}

// The real timer, made fast, starts a real scan of the whole registry that the ticks arriving during it leave
// running (it is stopped by hand after a while); a later tick in the same minute starts nothing.
TEST_F(ScheduleOptions, RealTickStartsARealScan) {
    frmMain& f = frmMain::Get();
    f.Show();
    TickAt("2026-12-21 08:59");
    PutSetting("Scheduled", "1-Hour");
    g_now.wHour = 9, g_now.wMinute = 0;
    bool stillScanning = false;
    g_inside = [&] { stillScanning = f.Scanning(), f.cmdStartStop_Click(); };
    SetTimer(nullptr, 0, 600, RunInside);
    f.tmrScheduled.SetInterval(30);
    for (int i = 0; i < 100 && f.lblCurrentKey.Text() != LangText(206); ++i) PumpFor(50);
    EXPECT_TRUE(stillScanning);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    f.lblCurrentKey.SetText(L"-");
    PumpFor(300);
    f.tmrScheduled.SetInterval(60000);
    EXPECT_EQ(f.lblCurrentKey.Text(), L"-");
}

}  // namespace
