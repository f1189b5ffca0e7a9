// The scheduled scan: every minute of the clock is held against the stored schedule once.
#include <string>

#include "core/modRegistry2.h"
#include "scan/frmMain.h"
#include "scan/mdlMain.h"

namespace {

const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

constexpr unsigned long long kTicksPerMinute = 600000000ULL;  // FILETIME counts 100 ns
// A tick held up by a busy moment still evaluates the minutes it missed, this many at most.
constexpr unsigned long long kCatchUpMinutes = 5;

void SystemClock(SYSTEMTIME& now) { GetLocalTime(&now); }

void (*g_clock)(SYSTEMTIME&) = SystemClock;

bool ToMinute(const SYSTEMTIME& t, unsigned long long& minute) {
    FILETIME ft;
    if (!SystemTimeToFileTime(&t, &ft)) return false;
    minute = ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / kTicksPerMinute;
    return true;
}

bool FromMinute(unsigned long long minute, SYSTEMTIME& t) {
    const unsigned long long ticks = minute * kTicksPerMinute;
    FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return FileTimeToSystemTime(&ft, &t) != 0;
}

bool NumberMatches(const char* valueName, int clock) {
    double value = 0;
    return ReadsAsNumber(GetSetting(valueName).str(), value) && value == clock;
}

// The daily tests in their order, each setting read only once the tests before it passed.
bool TimeMatches(const SYSTEMTIME& t) {
    const int hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    return NumberMatches("Hour", hour12) && NumberMatches("Minute", t.wMinute) &&
           GetSetting("Period").str() == (t.wHour < 12 ? "AM" : "PM");
}

bool ScanDueAt(const SYSTEMTIME& t) {
    const std::string scheduled = GetSetting("Scheduled").str();
    // Only "1" turns the schedule on; a first character that is no digit (a hand edit) counts as off.
    if (scheduled.empty() || scheduled[0] != '1') return false;
    const std::string kind = scheduled.size() > 2 ? scheduled.substr(2) : std::string();
    if (kind == "Hour") return t.wMinute == 0;
    if (kind == "Day") return TimeMatches(t);
    if (kind == "Week") return t.wDayOfWeek < 7 && GetSetting("Day").str() == kDayNames[t.wDayOfWeek] && TimeMatches(t);
    if (kind == "Month") {
        if (t.wMonth < 1 || t.wMonth > 12) return false;
        // The dialog stores no month: such a schedule runs on the first day of every month.
        const std::string month = GetSetting("Month").str();
        const bool day = month.empty() ? t.wDay == 1 : month == kMonthNames[t.wMonth - 1];
        return day && t.wHour == 0 && t.wMinute == 0;
    }
    return false;
}

}  // namespace

void frmMain::SetClockHook(void (*clock)(SYSTEMTIME& now)) { g_clock = clock ? clock : SystemClock; }

// No scan of the user's own, no fix, no modal window or message box of the program (they
// disable the main window while they are up), and no open menu (the scan would run inside it).
bool frmMain::ScheduleIdle() const {
    return IsLoaded() && !scanning_ && !fixing_ && !menuOpen_ && IsWindowEnabled(hwnd());
}

void frmMain::tmrScheduled_Timer() {
    SYSTEMTIME now = {};
    g_clock(now);
    unsigned long long minute = 0;
    // A minute already evaluated is not evaluated again; a clock set back starts afresh.
    if (ToMinute(now, minute) && minute != lastScheduleMinute_) {
        unsigned long long first = minute;
        if (lastScheduleMinute_ != 0 && minute > lastScheduleMinute_)
            first = minute - lastScheduleMinute_ > kCatchUpMinutes ? minute - kCatchUpMinutes + 1
                                                                    : lastScheduleMinute_ + 1;
        // Remembered before the scan starts: the ticks that arrive during it must not repeat it.
        lastScheduleMinute_ = minute;
        bool due = false;
        for (unsigned long long m = first; m <= minute && !due; ++m) {
            SYSTEMTIME t;
            due = m == minute ? ScanDueAt(now) : FromMinute(m, t) && ScanDueAt(t);
        }
        // A later due minute takes the place of one still waiting: the two make one scan.
        if (due) dueSchedule_ = ScheduleText();
    }
    StartDueScan();
}

std::string frmMain::ScheduleText() {
    std::string all;
    for (const char* name : {"Scheduled", "Hour", "Minute", "Period", "Day", "Month"})
        all += GetSetting(name).str() + '\n';
    return all;
}

// A due minute that finds the window busy waits, and its scan starts as soon as the window
// is idle again, unless the schedule has been changed meanwhile. A scan already running is
// the scan that was due: start toggles, and would stop it.
void frmMain::StartDueScan() {
    if (scanning_ || !IsLoaded()) dueSchedule_.clear();
    if (!dueSchedule_.empty() && !ScheduleIdle()) {
        if (!tmrScheduleWait.Enabled()) tmrScheduleWait.SetEnabled(true);
        return;
    }
    if (tmrScheduleWait.Enabled()) tmrScheduleWait.SetEnabled(false);
    if (dueSchedule_.empty()) return;
    const bool same = dueSchedule_ == ScheduleText();
    dueSchedule_.clear();
    if (same) cmdStartStop_Click();
}
