#include "scan/frmMain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "core/App.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmRestore.h"
#include "scan/mdlMain.h"
#include "shell/frmAutoUpd.h"
#include "ui/Dpi.h"

namespace {

enum : int {
    kImage1 = 10,
    kLabel25,
    kLblStatus,
    kLabel1,
    kLvwRegErrors,
    kLblCurrentKey,
    kCmdStartStop,
};

// A list view that is shown repaints on every inserted row, which costs milliseconds a row;
// during a walk it takes rows with its drawing off and is shown again at most this often, and
// the count labels are set at most this often too.
constexpr DWORD kListPaintMs = 100;
// Showing a long list again costs tens of milliseconds: the pause between two showings is at
// least this many times what the last one cost, so that they take a small part of the scan.
constexpr DWORD kListPaintShare = 100;
constexpr DWORD kListPaintMaxMs = 2000;
// The key label is shown at most every 100 ms; this part of that pause needs no clock reading.
constexpr DWORD kKeyLabelQuietMs = 50;

const COLORREF kBannerColor = RGB(0x1F, 0x3A, 0x5F);
constexpr int kBannerHeight = 945;  // twips

double SecondsSinceMidnight() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Adds the time since the last lap to a part of the scan's times, when they are counted.
class Laps {
public:
    Laps() : on_(frmMain::Times().on) {
        if (on_) QueryPerformanceCounter(&last_);
    }
    void operator()(double& part) {
        if (!on_) return;
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        part += static_cast<double>(now.QuadPart - last_.QuadPart) / static_cast<double>(frequency.QuadPart);
        last_ = now;
    }

private:
    bool on_;
    LARGE_INTEGER last_ = {};
};

}  // namespace

frmMain::ScanTimes& frmMain::Times() {
    static ScanTimes times;
    return times;
}

// Hands the engine's events to the window's handlers.
class frmMain::Events : public cRegSearchEvents {
public:
    explicit Events(frmMain& form) : form_(form) {}

    void SearchFound(const std::string& sRootKey, const std::string& sKey, const std::string& sValue,
                     int32_t lFound, const std::string& sValueName) override {
        // A window closed inside a yield gets no more events.
        if (form_.IsLoaded()) form_.cReg_SearchFound(sRootKey, sKey, sValue, lFound, sValueName);
    }
    void SearchFinished(int32_t lReason) override {
        if (form_.IsLoaded()) form_.cReg_SearchFinished(lReason);
    }
    void SearchKeyChanged(const std::string& sFullKeyName) override {
        if (form_.IsLoaded()) form_.cReg_SearchKeyChanged(sFullKeyName);
    }
    bool KeyNameWanted() override { return form_.IsLoaded() && form_.KeyLabelDue(); }

private:
    frmMain& form_;
};

frmMain& frmMain::Get() {
    static frmMain form;
    return form;
}

frmMain::frmMain() : events_(new Events(*this)) {}

frmMain::~frmMain() {
    if (measureDc_) DeleteDC(measureDc_);
}

const RegErrorItemRef& frmMain::RowRef(int row) const {
    static const RegErrorItemRef none;
    LPARAM index = lvwRegErrors.Data(row);
    if (row < 0 || row >= lvwRegErrors.Count() || index < 0 || static_cast<size_t>(index) >= rowRefs_.size())
        return none;
    return rowRefs_[static_cast<size_t>(index)];
}

ui::Form::Design frmMain::GetDesign() {
    Design d;
    d.caption = AppTitleW;
    d.clientWidth = 9120;
    d.clientHeight = 6450;
    d.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    return d;
}

void frmMain::CreateControls() {
    Add(Image1, L"STATIC", kImage1, 0, 0, 13140, kBannerHeight, L"", SS_OWNERDRAW | WS_CLIPSIBLINGS);
    AddLabel(Label25, kLabel25, 7560, 75, 1215, 255);
    AddLabel(lblStatus, kLblStatus, 120, 1080, 1395, 255);
    AddLabel(Label1, kLabel1, 1680, 1080, 7335, 255);
    AddListView(lvwRegErrors, kLvwRegErrors, 120, 1440, 8895, 4455);
    AddLabel(lblCurrentKey, kLblCurrentKey, 120, 6000, 7080, 675);
    AddButton(cmdStartStop, kCmdStartStop, 7320, 6000, 1695, 375);
    // Key paths have no blanks to break at: wrap them anywhere, as an edit control would.
    if (lblCurrentKey.hwnd)
        SetWindowLongW(lblCurrentKey.hwnd, GWL_STYLE, GetWindowLongW(lblCurrentKey.hwnd, GWL_STYLE) | SS_EDITCONTROL);
    // The banner lies under the labels that stand on it.
    if (Image1.hwnd) SetWindowPos(Image1.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    AddTimer(Timer3, 1000, false);
    AddTimer(tmrScheduled, 60000, true);
    AddTimer(tmrScheduleWait, 1000, false);
    dueSchedule_.clear();

    using ui::MenuItem;
    auto item = [](int id, const wchar_t* caption = L"", bool visible = true) {
        MenuItem m;
        m.id = id;
        m.caption = caption;
        m.visible = visible;
        return m;
    };
    MenuItem file = item(mnuFile);
    file.items = {item(mnuStartStop), item(mnuSep1, L"-"), item(mnuRestore), item(mnuSep2, L"-"), item(mnuExit)};
    MenuItem repair = item(mnuRepair);
    repair.items = {item(mnuCheckAll),          item(mnuUncheckAll),  item(mnuSep3, L"-"),
                    item(mnuFix),               item(mnuSep4, L"-", false), item(mnuSearch, L"", false),
                    item(mnuSep5, L"-"),        item(mnuInfo)};
    MenuItem help = item(mnuHelp);
    help.items = {item(read1),  item(lic1), item(mnuSep6, L"-"), item(spr1),
                  item(str1),   item(mnuSep7, L"-"), item(mnuAbout)};
    menu.top = {file, repair, item(mnuOptions), help};
}

void frmMain::Form_Load() {
    static const int kCaptions[][2] = {
        {mnuFile, 221},  {mnuStartStop, 222}, {mnuRestore, 223}, {mnuExit, 224},   {mnuRepair, 225},
        {mnuCheckAll, 226}, {mnuUncheckAll, 227}, {mnuFix, 228}, {mnuSearch, 229}, {mnuInfo, 230},
        {mnuOptions, 231}, {mnuHelp, 232},    {read1, 235},      {lic1, 236},      {spr1, 237},
        {str1, 238},     {mnuAbout, 239},
    };
    for (const auto& c : kCaptions) menu.SetCaption(c[0], LangText(c[1]));
    lblStatus.SetText(LangText(240));
    Label1.SetText(LangText(241));
    cmdStartStop.SetText(LangText(242));
    FitStatusLabel();
    menuOpen_ = false;

    bRecommended = false;
    rowRefs_.clear();
    rowTexts_.clear();
    fitCalibrated_ = false;
    listFrozen_ = false;
    countPending_ = false;
    bool loaded = false;
    try {
        Label25.SetText(LangText(119) + L" " + FromAnsi(VersionText()));
        // A window reloaded while the old walk still unwinds keeps that engine: it is stopped.
        if (!cReg) {
            cReg.reset(new cRegSearch(events_.get()));
            cReg->SetYield([this] { YieldToWindows(); });
        }
        releaseEngine_ = false;
        menu.SetVisible(mnuRepair, false);
        lvwRegErrors.SetupReport(true);
        for (int id = 212; id <= 215; ++id) {
            lvwRegErrors.AddColumn(LangText(id));
            // The default width cuts longer headers (a translation, a wider stand-in face).
            lvwRegErrors.FitColumnToHeader(id - 212);
        }
        double value = 0;
        if (ReadsAsNumber(GetSetting("Recommended").str(), value)) {
            bRecommended = value == 1;
            loaded = true;
        }
    } catch (...) {
    }
    // A missing or unreadable value (the first start): the filter starts with the next run.
    if (!loaded) SaveSetting("Recommended", "1");
    menu.Apply(hwnd());
}

// During a scan the status label holds two lines, the phase and the count, where its design
// height holds one: it takes the room between the banner and the list, its first line level
// with Label1's where that room allows.
void frmMain::FitStatusLabel() {
    HWND h = lblStatus.hwnd;
    HDC dc = h ? GetDC(h) : nullptr;
    if (!dc || !lvwRegErrors.hwnd || !Image1.hwnd) {
        if (dc) ReleaseDC(h, dc);
        return;
    }
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)));
    RECT need = {0, 0, 1000, 0};
    DrawTextW(dc, L"Ag\r\nAg", -1, &need, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    RECT r, list, banner;
    for (auto [control, rect] : {std::make_pair(h, &r), {lvwRegErrors.hwnd, &list}, {Image1.hwnd, &banner}}) {
        GetWindowRect(control, rect);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(rect), 2);
    }
    if (r.bottom - r.top >= need.bottom) return;
    const LONG bottom = std::min(list.top, r.top + need.bottom);
    const LONG top = std::max(banner.bottom, bottom - need.bottom);
    SetWindowPos(h, nullptr, r.left, top, r.right - r.left, bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::Form_Unload() {
    if (cReg) cReg->StopSearch();
    if (walking_ > 0)
        releaseEngine_ = true;
    else
        cReg.reset();
    ui::EndProgram();
}

void frmMain::SetRepairVisible(bool visible) {
    menu.SetVisible(mnuRepair, visible);
    menu.Apply(hwnd());
}

void frmMain::cmdStartStop_Click() {
    if (scanning_) {
        if (cReg) cReg->StopSearch();
        return;
    }
    if (!cReg || !IsLoaded()) return;
    scanning_ = true;
    try {
        // Without the ignore list the scan would list what the user chose to ignore. A start
        // refused for it changes nothing: the rows of the last scan stay listed. Its test is
        // built here, so that a list too large for it starts no scan.
        DWORD listError = LoadIgnoreList();
        ignoreCached_ = false;
        ignoreFault_ = 0;
        if (listError == 0 && !IgnoreEntries()) listError = ignoreFault_;
        if (listError != 0) {
            scanning_ = false;
            ignoreFault_ = 0;
            if (listError != ERROR_INVALID_WINDOW_HANDLE)
                frmIgnore::ReportListError(
                    listError, LangTextOr(277, L"No scan was started: it would list what the ignore list hides."));
            return;
        }
        cmdStartStop.SetText(LangText(202));
        // The menu item has an access key of its own; the button's text has none, since it
        // would take Alt and a letter from the menu bar.
        menu.SetCaption(mnuStartStop, LangTextOr(320, LangText(202).c_str()));
        menu.Apply(hwnd());
        lvwRegErrors.Clear();
        rowRefs_.clear();
        rowTexts_.clear();
        fitCalibrated_ = false;
        lblStatus.SetText(LangText(203));
        lblCurrentKey.SetText(L"");
        cReg->SetRootKey(0);
        cReg->SetSubKey("");
        cReg->SetSearchFlags(3);
        cReg->SetSearchString("C:\\");
        Label1.SetText(LangText(204));
        pump_.Reset();
        listPaintGap_ = kListPaintMs;
        knownPaths_.clear();
        knownFolders_.clear();
        walkDpi_ = ui::FormDpi(hwnd());
        keyShownTickSet_ = false;
        cRegSearch* engine = cReg.get();
        ++walking_;
        try {
            engine->DoSearch();
        } catch (...) {
        }
        walkEnded_ = GetTickCount();
        --walking_;
        if (walking_ == 0) walkDpi_ = 0;
        scanning_ = false;
        knownPaths_.clear();
        knownFolders_.clear();
        if (countPending_ && IsLoaded()) ShowFoundCount();
        ThawList();
        if (releaseEngine_ && walking_ == 0) {
            releaseEngine_ = false;
            cReg.reset();
        }
        if (IsLoaded()) SetRepairVisible(lvwRegErrors.Count() > 0);
        if (ignoreFault_ != 0 && IsLoaded())
            frmIgnore::ReportListError(ignoreFault_,
                                       LangTextOr(278, L"The scan was stopped: it would have listed what the ignore "
                                                       L"list hides. The entries listed before were judged with the "
                                                       L"list."));
        ignoreFault_ = 0;
    } catch (...) {
        scanning_ = false;
    }
}

void frmMain::mnuStartStop_Click() { cmdStartStop_Click(); }

// A Stop click made in the last moments of a walk reaches the window only after the walk has
// ended, queued behind its last yield; taken as Start, it would wipe the rows just found.
bool frmMain::ClickedDuringLastWalk() const {
    return !scanning_ && walkEnded_ != 0 && static_cast<LONG>(static_cast<DWORD>(GetMessageTime()) - walkEnded_) <= 0;
}

void frmMain::YieldToWindows() {
    if (!pump_.Due()) return;
    ScanTimes& times = Times();
    Laps lap;
    if (times.on) ++times.yields;
    const DWORD now = GetTickCount();
    if (countPending_ && now - lastCountShown_ >= kListPaintMs) ShowFoundCount();
    lap(times.counts);
    if (listFrozen_ && now - lastListPaint_ >= listPaintGap_) {
        ThawList();
        if (lvwRegErrors.hwnd) UpdateWindow(lvwRegErrors.hwnd);
        const DWORD cost = GetTickCount() - now;
        listPaintGap_ = std::min(std::max(cost * kListPaintShare, kListPaintMs), kListPaintMaxMs);
    }
    lap(times.listPaint);
    ui::DoEvents();
    if (walking_ > 0 && IsLoaded()) walkDpi_ = ui::FormDpi(hwnd());
    lap(times.events);
}

void frmMain::FreezeList() {
    if (listFrozen_ || !lvwRegErrors.hwnd) return;
    SendMessageW(lvwRegErrors.hwnd, WM_SETREDRAW, FALSE, 0);
    listFrozen_ = true;
}

void frmMain::ThawList() {
    if (!listFrozen_) return;
    listFrozen_ = false;
    lastListPaint_ = GetTickCount();
    // Turning the drawing back on invalidates the whole list.
    if (lvwRegErrors.hwnd) SendMessageW(lvwRegErrors.hwnd, WM_SETREDRAW, TRUE, 0);
}

// Whether cReg_SearchKeyChanged would show a key now (or mend dNextShow after midnight); the
// walk builds a key's full name only then.
// Reading the local time for every key cost more than the rest of the label: for the first
// 50 ms after the label was due the answer is known to be no.
bool frmMain::KeyLabelDue() {
    Laps lap;
    const DWORD tick = GetTickCount();
    bool due = false;
    if (!keyShownTickSet_ || tick - keyShownTick_ >= kKeyLabelQuietMs) {
        const float now = static_cast<float>(SecondsSinceMidnight());
        due = static_cast<float>(dNextShow) - now > 1.0f || static_cast<float>(dNextShow) < now;
        if (due) keyShownTick_ = tick, keyShownTickSet_ = true;
    }
    lap(Times().keyLabel);
    return due;
}

void frmMain::cReg_SearchKeyChanged(const std::string& sFullKeyName) {
    Laps lap;
    float now = static_cast<float>(SecondsSinceMidnight());
    // Past midnight the clock starts again at 0 while dNextShow may lie near 86400.
    if (static_cast<float>(dNextShow) - now > 1.0f) dNextShow = 0;
    if (static_cast<float>(dNextShow) < now) {
        dNextShow = now + 0.1;
        if (!IsMinimised()) lblCurrentKey.SetText(FromAnsi(sFullKeyName));
    }
    lap(Times().keyLabel);
}

void frmMain::cReg_SearchFound(const std::string& sRootKey, const std::string& sKey, const std::string& sValue,
                               int32_t lFound, const std::string& sValueName) {
    // Nothing may escape into the engine: a report that fails is dropped, the walk goes on.
    try {
        ScanTimes& times = Times();
        Laps lap;
        if (times.on) ++times.reports;
        const char* type = lFound == 0 ? "KEY_NAME" : lFound == 1 ? "VALUE NAME" : lFound == 2 ? "VALUE VALUE" : "";
        // The data upper-cased once serves the path and the ignore test.
        const std::string value = UpperAnsi(sValue);
        const std::string path = ExtractFilePathUpper(value);
        lap(times.extract);
        const bool missing = FileMissing(path, sValue, value);
        lap(times.missing);
        if (!missing) return;

        const AnsiMatcher* ignored = IgnoreEntries();
        lap(times.ignoreList);
        if (!ignored) return;
        const bool dropped =
            !ignored->Empty() && (ignored->FoundIn(UpperAnsi(sKey)) || ignored->FoundIn(value));
        lap(times.ignoreTest);
        if (dropped) return;

        if (bRecommended) {
            static const char* const kKept[] = {".DRV", ".BAT", ".SCR", ".TLB", ".CPL", ".COM", ".VXD",
                                                ".SYS", ".OCA", ".OCX", ".DLL", ".EXE", ".AX"};
            bool kept = false;
            for (const char* ext : kKept) kept = kept || EndsWith(path, ext);
            if (!kept) return;
        }

        RegErrorItemRef ref;
        ref.rootKey = sRootKey;
        ref.valueName = sValueName;
        ref.keyPath = sKey;
        if (lFound != 0 && sKey.size() > sValueName.size()) ref.keyPath.erase(sKey.size() - sValueName.size() - 1);
        rowRefs_.push_back(ref);
        rowTexts_.push_back(RowTexts{type, sKey, sValue});
        if (walking_ > 0) FreezeList();
        if (lvwRegErrors.AddCallbackRow(static_cast<LPARAM>(rowRefs_.size() - 1)) < 0) {
            rowRefs_.pop_back();
            rowTexts_.pop_back();
            return;
        }
        const std::wstring cells[4] = {FromAnsi(type), FromAnsi(sRootKey), FromAnsi(sKey), FromAnsi(sValue)};
        FitColumnsToRow(cells);
        // Setting a label costs more than adding the row: during a walk the count is shown
        // before the window events run, which is the only time anyone can see it.
        if (walking_ > 0)
            countPending_ = true;
        else
            ShowFoundCount();
        lap(times.row);
    } catch (...) {
    }
}

// Whether the file of a report is missing. Reports name the same files again and again: during
// a walk each path is asked for once, and the files of a program that is gone all lie in
// folders that are gone: a folder found missing answers for every plain path in it. Other
// paths answer for themselves: a file may exist where its folder seemed missing (a folder
// exempt from redirection below a redirected one, a path ending in "\..").
bool frmMain::FileMissing(const std::string& path, const std::string& data, const std::string& upperData) {
    auto written = [&] { return data.empty() ? path : PathAsWritten(data, upperData, path); };
    if (walking_ == 0) return !PathExists(written());
    auto it = knownPaths_.find(path);
    if (it != knownPaths_.end()) return !it->second;
    const std::string asked = written();
    bool exists = false;
    const std::string folder = FolderDeciding(asked);
    if (folder.empty()) {
        exists = PathExists(asked);
    } else {
        auto known = knownFolders_.find(folder);
        if (known == knownFolders_.end()) known = knownFolders_.emplace(folder, FolderMissing(folder)).first;
        exists = !known->second && PathExists(asked);
    }
    knownPaths_.emplace(path, exists);
    return !exists;
}

// The ignore test of the settings dialog's list, loading the dialog hidden when needed; null
// when it cannot be loaded or the test cannot be built. Reading a list box costs a round trip
// per item, and the test is built over all entries at once: both are done again only when the
// dialog has changed its list, which it counts, so that an edit made during a walk counts from
// the next report on.
const AnsiMatcher* frmMain::IgnoreEntries() {
    if (ignoreFault_ != 0) return nullptr;
    frmIgnore& ignore = frmIgnore::Get();
    if (!ignore.IsLoaded()) {
        DWORD error = LoadIgnoreList();
        if (error != 0) {
            // Nothing more is listed; the Start command tells the user once the walk is over.
            ignoreFault_ = error;
            if (cReg) cReg->StopSearch();
            return nullptr;
        }
    }
    if (ignoreCached_ && ignoreChanges_ == ignore.ListChanges()) return &ignoreMatcher_;
    bool built = false;
    try {
        built = ignoreMatcher_.Build(ignore.Entries());
    } catch (const std::bad_alloc&) {
    }
    if (!built) {
        // A test that could not be built would drop every report: nothing more is listed, and
        // the Start command says why.
        ignoreFault_ = ERROR_NOT_ENOUGH_MEMORY;
        ignoreCached_ = false;
        if (cReg && walking_ > 0) cReg->StopSearch();
        return nullptr;
    }
    ignoreChanges_ = ignore.ListChanges();
    ignoreCached_ = true;
    return &ignoreMatcher_;
}

// Loads the settings dialog hidden unless it is loaded: 0 when its list holds Ignore.txt,
// else the system's error. A dialog that could not read the file is unloaded again, so that
// the next use reads it afresh.
DWORD frmMain::LoadIgnoreList() {
    frmIgnore& ignore = frmIgnore::Get();
    if (!ignore.IsLoaded() && !ignore.Load()) return ERROR_INVALID_WINDOW_HANDLE;
    DWORD error = ignore.ListError();
    if (error != 0 && !ignore.IsVisible()) ignore.Unload();
    return error;
}

// Keeps every column as wide as LVSCW_AUTOSIZE would make it, measuring only the new row:
// fitting all columns over all rows after each add made a long scan quadratic.
void frmMain::FitColumnsToRow(const std::wstring* cells) {
    if (!lvwRegErrors.hwnd) return;
    if (!fitCalibrated_) fitColumns_ = std::min(lvwRegErrors.ColumnCount(), 4);
    const int columns = fitColumns_;
    // A cell shows only its first characters; a longer text must not widen the column.
    constexpr size_t kShownChars = 259;
    int width[4] = {0, 0, 0, 0};
    if (!fitCalibrated_) StartTextWidths();
    // After a move to a screen of another DPI the list's font and margins have been scaled;
    // the character widths read for the old font no longer serve.
    const int dpi = walkDpi_ > 0 ? walkDpi_ : ui::FormDpi(hwnd());
    if (fitCalibrated_ && dpi != fitDpi_) {
        for (int c = 0; c < 4; ++c)
            widestText_[c] = MulDiv(widestText_[c], dpi, fitDpi_), fitMargin_[c] = MulDiv(fitMargin_[c], dpi, fitDpi_);
        widthsSum_ = false;
    }
    fitDpi_ = dpi;
    for (int c = 0; c < columns; ++c) {
        // Most rows repeat the type and root of the row before: a text measured already is no
        // wider than the column.
        std::wstring shown = cells[c].substr(0, kShownChars);
        if (fitCalibrated_ && shown == fitText_[c]) continue;
        width[c] = TextWidth(shown);
        fitText_[c] = std::move(shown);
    }
    if (!fitCalibrated_) {
        AutoSizeColumns(lvwRegErrors);
        for (int c = 0; c < columns; ++c) {
            widestText_[c] = width[c];
            fitMargin_[c] = lvwRegErrors.ColumnWidthPixels(c) - width[c];
        }
        fitCalibrated_ = true;
        return;
    }
    for (int c = 0; c < columns; ++c) {
        if (width[c] <= widestText_[c]) continue;
        widestText_[c] = width[c];
        lvwRegErrors.SetColumnWidthPixels(c, width[c] + fitMargin_[c]);
    }
}

// The width the list view gives a text: measuring each text took more than adding its row, so
// during a walk the widths of the list font's characters are read once each and summed, which
// is what the measuring does for texts without joined or combined characters. The sum serves
// only where it matched the list's own measure of every text of the first row of the walk.
void frmMain::StartTextWidths() {
    charWidths_.assign(0x10000, -1);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(lvwRegErrors.hwnd, WM_GETFONT, 0, 0));
    if (!measureDc_) measureDc_ = CreateCompatibleDC(nullptr);
    widthsSum_ = walking_ > 0 && measureDc_ && font && SelectObject(measureDc_, font);
}

int frmMain::TextWidth(const std::wstring& text) {
    if (fitCalibrated_ && widthsSum_) return SummedWidth(text);
    const int width = static_cast<int>(
        SendMessageW(lvwRegErrors.hwnd, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (!fitCalibrated_ && widthsSum_) widthsSum_ = SummedWidth(text) == width;
    return width;
}

int frmMain::SummedWidth(const std::wstring& text) {
    int sum = 0;
    for (wchar_t c : text) {
        int& width = charWidths_[static_cast<unsigned short>(c)];
        if (width < 0 && !GetCharWidth32W(measureDc_, c, c, &width)) width = 0;
        sum += width;
    }
    return sum;
}

void frmMain::ShowFoundCount() {
    countPending_ = false;
    lastCountShown_ = GetTickCount();
    std::wstring count = L"(" + std::to_wstring(lvwRegErrors.Count()) + L" " + LangText(210) + L")";
    Label1.SetText(count);
    lblStatus.SetText(LangText(211) + L"\r\n" + count);
}

void frmMain::cReg_SearchFinished(int32_t lReason) {
    if (countPending_) ShowFoundCount();
    ThawList();
    if (lReason == 0)
        lblCurrentKey.SetText(LangText(205));
    else if (lReason == 1)
        lblCurrentKey.SetText(LangText(206));
    else
        lblCurrentKey.SetText(LangText(207) + L" = " + std::to_wstring(lReason));
    cmdStartStop.SetText(LangText(201));
    menu.SetCaption(mnuStartStop, LangText(222));
    SetRepairVisible(true);
    lblStatus.SetText(LangText(208));
    Label1.SetText(LangText(209) + L" (" + std::to_wstring(lvwRegErrors.Count()) + L" " + LangText(210) + L")");
}

void frmMain::Timer3_Timer() {
    frmAutoUpd::Get().Load();
    Timer3.SetEnabled(false);
}

void frmMain::mnuCheckAll_Click() {
    int n = lvwRegErrors.Count();
    for (int row = 0; row < n; ++row) lvwRegErrors.SetChecked(row, true);
}

void frmMain::mnuUncheckAll_Click() {
    int n = lvwRegErrors.Count();
    for (int row = 0; row < n; ++row) lvwRegErrors.SetChecked(row, false);
}

void frmMain::mnuRestore_Click() { frmRestore::Get().ShowModal(); }

void frmMain::mnuOptions_Click() { frmIgnore::Get().ShowModal(); }

void frmMain::mnuExit_Click() { ui::EndProgram(); }

void frmMain::lvwRegErrors_ItemClick(int row) {
    if (row < 0 || row >= lvwRegErrors.Count()) return;
    lvwRegErrors.SetChecked(row, !lvwRegErrors.Checked(row));
}

void frmMain::lvwRegErrors_ColumnClick() {
    if (lvwRegErrors.Count() > 0) mnuCheckAll_Click();
}

void frmMain::lvwRegErrors_MouseUp(int button, int /*shift*/, int x, int y) {
    if (button != 2 || !menu.Visible(mnuRepair)) return;
    POINT pt = {x, y};
    ClientToScreen(lvwRegErrors.hwnd, &pt);
    menu.Popup(mnuRepair, hwnd(), pt);
}

void frmMain::OnCommand(int id, int code) {
    try {
        switch (id) {
        case kCmdStartStop:
            if (code == BN_CLICKED && !ClickedDuringLastWalk()) cmdStartStop_Click();
            break;
        case mnuStartStop:
            if (!ClickedDuringLastWalk()) mnuStartStop_Click();
            break;
        case mnuRestore: mnuRestore_Click(); break;
        case mnuExit: mnuExit_Click(); break;
        case mnuCheckAll: mnuCheckAll_Click(); break;
        case mnuUncheckAll: mnuUncheckAll_Click(); break;
        case mnuFix: mnuFix_Click(); break;
        case mnuOptions: mnuOptions_Click(); break;
        case read1: read1_Click(); break;
        case lic1: lic1_Click(); break;
        case spr1: spr1_Click(); break;
        case str1: str1_Click(); break;
        case mnuAbout: mnuAbout_Click(); break;
        case mnuSearch: mnuSearch_Click(); break;
        case mnuInfo: mnuInfo_Click(); break;
        }
    } catch (...) {
    }
}

LRESULT frmMain::OnNotify(NMHDR* hdr) {
    if (hdr->idFrom != static_cast<UINT_PTR>(kLvwRegErrors)) return 0;
    switch (hdr->code) {
    case NM_CLICK: {
        int row = lvwRegErrors.ClickedRow(hdr);
        if (row >= 0) lvwRegErrors_ItemClick(row);
        break;
    }
    case NM_RCLICK: {
        auto* a = reinterpret_cast<NMITEMACTIVATE*>(hdr);
        lvwRegErrors_MouseUp(2, 0, a->ptAction.x, a->ptAction.y);
        break;
    }
    case LVN_COLUMNCLICK:
        lvwRegErrors_ColumnClick();
        break;
    case LVN_GETDISPINFOW:
        SupplyCellText(reinterpret_cast<NMLVDISPINFOW*>(hdr)->item);
        break;
    }
    return 0;
}

// A cell's text for the list view: type, root, key path (with the value name) and data, as the
// walk reported them. A cell whose text was set since (the fix's outcome) is not asked for.
void frmMain::SupplyCellText(LVITEMW& item) {
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    item.pszText[0] = L'\0';
    const LPARAM index = lvwRegErrors.Data(item.iItem);
    if (index < 0 || static_cast<size_t>(index) >= rowTexts_.size() || item.iSubItem < 0 || item.iSubItem > 3) return;
    const RowTexts& row = rowTexts_[static_cast<size_t>(index)];
    switch (item.iSubItem) {
    case 0: cellText_ = FromAnsi(row.type); break;
    case 1: cellText_ = FromAnsi(rowRefs_[static_cast<size_t>(index)].rootKey); break;
    case 2: cellText_ = FromAnsi(row.key); break;
    default: cellText_ = FromAnsi(row.value); break;
    }
    lstrcpynW(item.pszText, cellText_.c_str(), item.cchTextMax);
}

void frmMain::OnTimer(ui::Timer& timer) {
    if (&timer == &Timer3)
        Timer3_Timer();
    else if (&timer == &tmrScheduled || &timer == &tmrScheduleWait)
        tmrScheduled_Timer();
}

void frmMain::DrawBanner(const DRAWITEMSTRUCT& draw) {
    HBRUSH brush = CreateSolidBrush(kBannerColor);
    FillRect(draw.hDC, &draw.rcItem, brush);
    DeleteObject(brush);
    // Sized by the banner's height, which follows the DPI of the screen the window is on.
    double scale = static_cast<double>(draw.rcItem.bottom - draw.rcItem.top) / ui::TwipsToPixelsY(kBannerHeight);
    HGDIOBJ old = SelectObject(draw.hDC, ui::GetFont(L"Arial", 20 * scale, true));
    SetBkMode(draw.hDC, TRANSPARENT);
    SetTextColor(draw.hDC, RGB(255, 255, 255));
    RECT r = draw.rcItem;
    r.left += static_cast<int>(ui::TwipsToPixelsX(120) * scale);
    DrawTextW(draw.hDC, AppTitleW, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SelectObject(draw.hDC, old);
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    // A scheduled scan that falls due while a menu is open waits for it to close.
    case WM_ENTERMENULOOP:
        menuOpen_ = true;
        break;
    case WM_EXITMENULOOP:
        menuOpen_ = false;
        break;
    case WM_DRAWITEM: {
        auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (draw->CtlID == static_cast<UINT>(kImage1)) {
            DrawBanner(*draw);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        // The version label stands on the banner.
        if (reinterpret_cast<HWND>(lParam) == Label25.hwnd && Label25.hwnd) {
            static HBRUSH banner = CreateSolidBrush(kBannerColor);
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkColor(dc, kBannerColor);
            return reinterpret_cast<LRESULT>(banner);
        }
        break;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
