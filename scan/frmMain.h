#pragma once
// The main window: the error list, the Scan button, the status labels and the menu bar.
#include <cstdint>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

#include "scan/cRegSearch.h"
#include "scan/mdlMain.h"
#include "ui/Form.h"
#include "ui/Yield.h"

// What a row of the error list refers to in the registry, kept beside the row: the key
// column joins key path and value name with "\", and a value name may itself hold "\".
struct RegErrorItemRef {
    std::string rootKey;    // "HKEY_CURRENT_USER"
    std::string keyPath;    // below the root, no leading "\"
    std::string valueName;  // "" is the key's default value
};

class frmMain : public ui::Form {
public:
    static frmMain& Get();

    // Controls (loaded with the window).
    ui::Picture Image1;
    ui::Label Label25, lblStatus, Label1, lblCurrentKey;
    ui::ListView lvwRegErrors;
    ui::Button cmdStartStop;
    ui::Timer Timer3, tmrScheduled;

    // Menu ids.
    enum : int {
        mnuFile = 100, mnuStartStop, mnuSep1, mnuRestore, mnuSep2, mnuExit,
        mnuRepair = 200, mnuCheckAll, mnuUncheckAll, mnuSep3, mnuFix, mnuSep4, mnuSearch, mnuSep5, mnuInfo,
        mnuOptions = 300,
        mnuHelp = 400, read1, lic1, mnuSep6, spr1, str1, mnuSep7, mnuAbout,
    };

    bool bRecommended = false;

    // The registry value behind a row of lvwRegErrors (row counted from 0).
    const RegErrorItemRef& RowRef(int row) const;

    // Handlers.
    void Form_Load() override;
    void Form_Unload() override;
    void Form_Resize() override {}
    void cmdStartStop_Click();
    void mnuStartStop_Click();
    void cReg_SearchKeyChanged(const std::string& sFullKeyName);
    // sValueName is the reported value's own name ("" for a key-name report or the default value).
    void cReg_SearchFound(const std::string& sRootKey, const std::string& sKey, const std::string& sValue,
                          int32_t lFound, const std::string& sValueName);
    void cReg_SearchFinished(int32_t lReason);
    void Timer3_Timer();
    void tmrScheduled_Timer();
    void mnuFix_Click();
    void mnuCheckAll_Click();
    void mnuUncheckAll_Click();
    void mnuRestore_Click();
    void mnuOptions_Click();
    void mnuExit_Click();
    void lvwRegErrors_ItemClick(int row);
    void lvwRegErrors_ColumnClick();
    // button 2 is the right one; x and y are pixels in the list's client area.
    void lvwRegErrors_MouseUp(int button, int shift, int x, int y);
    // Help menu.
    void read1_Click();
    void lic1_Click();
    void spr1_Click();
    void str1_Click();
    void mnuAbout_Click();
    // The detail view, the missing-file search and the mouse over the window's own surface.
    void mnuInfo_Click();
    void mnuSearch_Click();
    void Form_MouseMove(int button, int shift, float x, float y);
    // The selected row of lvwRegErrors (counted from 0): the focused one when it is selected,
    // else the first selected; -1 when none is.
    int SelectedRow() const;
    void OnMouse(UINT message, int x, int y, WPARAM keys) override;

    // True from the Start command until the engine's walk has returned.
    bool Scanning() const { return scanning_; }

    // Where a scan's time goes, for the benchmark: seconds summed over the walk for each part of
    // the report handler, the key label and the yields; counted only while `on` is set.
    struct ScanTimes {
        bool on = false;
        long reports = 0, yields = 0;
        double extract = 0, missing = 0, ignoreList = 0, ignoreTest = 0, row = 0, keyLabel = 0;
        double counts = 0, listPaint = 0, events = 0;
    };
    static ScanTimes& Times();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    void OnTimer(ui::Timer& timer) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Events;
    frmMain();
    ~frmMain() override;
    void YieldToWindows();
    bool KeyLabelDue();
    void SetRepairVisible(bool visible);
    bool ClickedDuringLastWalk() const;
    void ShowFoundCount();
    const AnsiMatcher* IgnoreEntries();
    DWORD LoadIgnoreList();
    bool FileMissing(const std::string& path, const std::string& data = std::string(),
                     const std::string& upperData = std::string());
    void FreezeList();
    void ThawList();
    void FitColumnsToRow(const std::wstring* cells);  // the new row's four texts
    void StartTextWidths();
    int TextWidth(const std::wstring& text);
    int SummedWidth(const std::wstring& text);
    void DrawBanner(const DRAWITEMSTRUCT& draw);
    void FitStatusLabel();

    std::unique_ptr<Events> events_;
    std::unique_ptr<cRegSearch> cReg;
    std::vector<RegErrorItemRef> rowRefs_;
    // A row's texts as the walk reported them, beside its reference (same index). The list view
    // asks for them when it draws or is read: setting four texts per row cost more than the
    // rest of a report's judgement.
    struct RowTexts {
        const char* type;
        std::string key, value;
    };
    std::vector<RowTexts> rowTexts_;
    std::wstring cellText_;  // the last text handed to the list view
    void SupplyCellText(LVITEMW& item);
    double dNextShow = 0;

    bool scanning_ = false;
    // DoSearch is on the stack: the engine must outlive it, so a close only marks it for release.
    int walking_ = 0;
    bool releaseEngine_ = false;
    DWORD walkEnded_ = 0;  // GetTickCount when the last walk returned; 0 before the first
    ui::YieldThrottle pump_;  // the walk lets the window events run at most every ~10 ms
    bool listFrozen_ = false;
    bool countPending_ = false;
    AnsiMatcher ignoreMatcher_;
    bool ignoreCached_ = false;  // false: read the list again at the next report
    unsigned ignoreChanges_ = 0;  // the dialog's change count when the list was read
    // The system's error that stopped the walk because Ignore.txt could not be read again.
    DWORD ignoreFault_ = 0;
    DWORD lastListPaint_ = 0;
    DWORD listPaintGap_ = 0;
    DWORD lastCountShown_ = 0;
    // Column fitting without re-measuring every row: the widest text of each column so far
    // and the margin the list view adds to it, learnt from the first row of a scan.
    bool fitCalibrated_ = false;
    int widestText_[4] = {0, 0, 0, 0};
    int fitMargin_[4] = {0, 0, 0, 0};
    int fitDpi_ = 96;  // the DPI the widths and margins above were measured at
    int fitColumns_ = 0;  // how many columns are fitted, counted with the first row
    // During a walk the window's DPI as read after the last window events, which alone can
    // change it (reading it costs a round trip to the system); 0 outside a walk.
    int walkDpi_ = 0;
    DWORD keyShownTick_ = 0;  // GetTickCount when the walk last found the key label due
    bool keyShownTickSet_ = false;
    std::wstring fitText_[4];  // the last text measured in each column
    HDC measureDc_ = nullptr;  // holds the list's font
    std::vector<int> charWidths_;  // by character, -1 until read
    bool widthsSum_ = false;  // the summed widths match the list's measure
    // Paths found present (true) or missing during the running walk.
    std::unordered_map<std::string, bool> knownPaths_;
    // Folders asked for during a walk: true when missing.
    std::unordered_map<std::string, bool> knownFolders_;

public:
    // The scheduled scan reads the local time through this function; nullptr brings back
    // the system clock.
    static void SetClockHook(void (*clock)(SYSTEMTIME& now));

private:
    bool ScheduleIdle() const;
    void StartDueScan();
    // The stored schedule values, one a line.
    static std::string ScheduleText();
    // Looks again every second for the idle window that a waiting due minute needs.
    ui::Timer tmrScheduleWait;
    // The schedule of a due minute whose scan waits for the window to be idle; empty when none waits.
    std::string dueSchedule_;
    // The last minute the schedule was evaluated (minutes since 1601; 0 before the first tick).
    unsigned long long lastScheduleMinute_ = 0;
    bool fixing_ = false;
    bool menuOpen_ = false;  // between WM_ENTERMENULOOP and WM_EXITMENULOOP
};
