#include "shell/frmOptions.h"

#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/mdlMain.h"

namespace {

enum : int {
    idRecommended = 10, idSysTray, idStartup, idScheduled, idFrame, idOptHour, idOptDay, idTxtHour, idColon,
    idTxtMinute, idPeriod, idOptWeek, idDay, idAt, idTxtHour2, idColon2, idTxtMinute2, idPeriod2, idOptMonth,
    idShape1, idIgnore, idApply,
};

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunKeyShown[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

const wchar_t kTypeHour[] = L"Please type the hour in which your scheduled scan will run.";
const wchar_t kTypeMinute[] = L"Please type the minute in which your scheduled scan will run.";
const wchar_t kBadHour[] = L"Please enter a correct hour.";
const wchar_t kBadMinute[] = L"Please enter a correct minute.";
const wchar_t kStartupNotice[] =
    L"In order to have scheduled scans, Halvren has to run when Windows starts.(The \"Start Halvren on Windows "
    L"Startup\" checkbox will be checked)";

LRESULT CALLBACK TimeBoxProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR ref) {
    if (message == WM_CHAR) {
        auto* form = reinterpret_cast<frmOptions*>(ref);
        int key = static_cast<int>(wParam);
        switch (id) {
        case idTxtHour: form->txtHour_KeyPress(key); break;
        case idTxtMinute: form->txtMinute_KeyPress(key); break;
        case idTxtHour2: form->txtHour2_KeyPress(key); break;
        case idTxtMinute2: form->txtMinute2_KeyPress(key); break;
        }
        if (key == 0) return 0;
        wParam = static_cast<WPARAM>(key);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(h, TimeBoxProc, id);
    }
    return DefSubclassProc(h, message, wParam, lParam);
}

void DigitsOnly(int& KeyAscii) {
    if (KeyAscii < '0' || KeyAscii > '9') KeyAscii = 0;
}

// The number a box's text starts with, as the range checks read it: an empty box is 0.
long LeadingNumber(const std::wstring& text) {
    size_t i = text.find_first_not_of(L' ');
    if (i == std::wstring::npos) return 0;
    const bool minus = text[i] == L'-';
    if (text[i] == L'-' || text[i] == L'+') ++i;
    long n = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9' && n < 100000; ++i) n = n * 10 + (text[i] - L'0');
    return minus ? -n : n;
}

bool AllDigits(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// "1" checks a box and "0" clears it; anything else cannot be a box's state.
bool CheckState(const std::string& text, int& state) {
    double value = 0;
    if (!ReadsAsNumber(text, value) || (value != 0 && value != 1)) return false;
    state = static_cast<int>(value);
    return true;
}

// The program's own path in double quotes, so that a folder with blanks cannot start another
// program: the folder, "\", the file's name without its extension, and ".exe".
std::string RunEntryData() {
    std::vector<char> buf(32768);
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    std::string name(buf.data(), n < buf.size() ? n : 0);
    name = name.substr(name.find_last_of('\\') + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return "\"" + ProgramFolder() + "\\" + name + ".exe\"";
}

// The RunEntry's text, or the registry's code when it cannot be read (2 when it is missing).
// A REG_EXPAND_SZ text is given as it stands and expanded, as Windows expands it at logon.
LONG ReadRunEntry(std::string& text, std::string& expanded) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &h);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD type = 0, size = 0;
    rc = RegQueryValueExA(h, AppTitle, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        std::string data(size, '\0');
        rc = RegQueryValueExA(h, AppTitle, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(rc == ERROR_SUCCESS ? size : 0);
        while (!data.empty() && data.back() == '\0') data.pop_back();
        text = expanded = type == REG_SZ || type == REG_EXPAND_SZ ? data : std::string();
        if (type == REG_EXPAND_SZ) {
            char buf[32768];
            const DWORD n = ExpandEnvironmentStringsA(text.c_str(), buf, sizeof buf);
            if (n > 0 && n <= sizeof buf) expanded = buf;
        }
    }
    RegCloseKey(h);
    return rc;
}

// Whether a Run entry's text starts this program: the same path, with or without quotes,
// letter case aside.
bool StartsThisProgram(std::string text, std::string wanted) {
    for (std::string* t : {&text, &wanted})
        if (t->size() >= 2 && t->front() == '"' && t->back() == '"') *t = t->substr(1, t->size() - 2);
    return !text.empty() && lstrcmpiA(text.c_str(), wanted.c_str()) == 0;
}

// A window that is never shown owns the dialog, which keeps it off the taskbar.
HWND HiddenOwner() {
    static HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    return owner;
}

}  // namespace

frmOptions& frmOptions::Get() {
    static frmOptions form;
    return form;
}

ui::Form::Design frmOptions::GetDesign() {
    Design d;
    d.caption = L"Options";
    d.clientWidth = 6000;
    d.clientHeight = 4800;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    d.exStyle = WS_EX_DLGMODALFRAME;
    d.centred = true;
    return d;
}

void frmOptions::CreateControls() {
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    Add(chkRecommended, L"BUTTON", idRecommended, 120, 120, 5760, 600,
        L"Only scan for files with .exe,.dll,.ocx,.oca,.sys,.vxd,.ax,.com,.cpl,.tlb,.scr,.bat and .drv extensions "
        L"(Recommended)",
        check | BS_MULTILINE);
    Add(chkSysTray, L"BUTTON", idSysTray, 120, 780, 5760, 255, L"Start Halvren minimized into the system tray", check);
    Add(chkStartup, L"BUTTON", idStartup, 120, 1080, 5760, 255, L"Run Halvren on Windows startup", check);
    Add(chkScheduled, L"BUTTON", idScheduled, 120, 1380, 5760, 255, L"Perform a scheduled scan every:", check);

    AddFrame(fmeFrame, idFrame, 120, 1680, 5760, 1740, L" ");
    const DWORD option = BS_RADIOBUTTON | WS_TABSTOP;
    const DWORD list = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    const DWORD time = ES_AUTOHSCROLL | WS_TABSTOP;
    Add(optHour, L"BUTTON", idOptHour, 240, 300, 1575, 255, L"Hour", option | WS_GROUP, 0, &fmeFrame);
    Add(optDay, L"BUTTON", idOptDay, 240, 660, 1095, 255, L"Day at:", option, 0, &fmeFrame);
    Add(txtHour, L"EDIT", idTxtHour, 1440, 630, 465, 315, L"", time, WS_EX_CLIENTEDGE, &fmeFrame);
    AddLabel(lblColon, idColon, 1935, 660, 120, 255, L":", &fmeFrame);
    Add(txtMinute, L"EDIT", idTxtMinute, 2085, 630, 465, 315, L"", time, WS_EX_CLIENTEDGE, &fmeFrame);
    Add(cboPeriod, L"COMBOBOX", idPeriod, 2640, 630, 735, 1200, L"", list, 0, &fmeFrame);
    Add(optWeek, L"BUTTON", idOptWeek, 240, 1020, 1095, 255, L"Week on:", option, 0, &fmeFrame);
    Add(cboDay, L"COMBOBOX", idDay, 1440, 990, 1335, 2400, L"", list, 0, &fmeFrame);
    AddLabel(lblAt, idAt, 2880, 1020, 330, 255, L"At:", &fmeFrame);
    Add(txtHour2, L"EDIT", idTxtHour2, 3240, 990, 465, 315, L"", time, WS_EX_CLIENTEDGE, &fmeFrame);
    AddLabel(lblColon2, idColon2, 3735, 1020, 120, 255, L":", &fmeFrame);
    Add(txtMinute2, L"EDIT", idTxtMinute2, 3885, 990, 465, 315, L"", time, WS_EX_CLIENTEDGE, &fmeFrame);
    Add(cboPeriod2, L"COMBOBOX", idPeriod2, 4440, 990, 735, 1200, L"", list, 0, &fmeFrame);
    Add(optMonth, L"BUTTON", idOptMonth, 240, 1380, 1575, 255, L"Month", option, 0, &fmeFrame);

    Add(Shape1, L"STATIC", idShape1, 120, 3540, 5760, 615, L"", SS_BLACKFRAME);
    AddButton(cmdIgnore, idIgnore, 240, 3660, 5520, 375, L"Ignore List");
    Add(cmdApply, L"BUTTON", idApply, 2400, 4290, 1200, 375, L"&Apply", BS_DEFPUSHBUTTON | WS_TABSTOP);

    const HFONT bold = ui::GetFont(L"MS Sans Serif", 8.25, true);
    lblColon.SetFont(bold);
    lblColon2.SetFont(bold);
    for (ui::TextBox* box : {&txtHour, &txtMinute, &txtHour2, &txtMinute2}) {
        if (!box->hwnd) continue;
        SendMessageW(box->hwnd, EM_LIMITTEXT, 2, 0);
        SetWindowSubclass(box->hwnd, TimeBoxProc, box->id, reinterpret_cast<DWORD_PTR>(this));
    }
    for (ui::ComboBox* period : {&cboPeriod, &cboPeriod2}) {
        period->Add(L"AM");
        period->Add(L"PM");
    }
    for (const wchar_t* day : {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday", L"Saturday"})
        cboDay.Add(day);
    optHour.SetValue(true);
    fmeFrame.Show(false);
    cmdApply.Enable(false);
    if (HWND owner = HiddenOwner()) SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
}

void frmOptions::Form_Load() {
    // A step whose stored text is of no use leaves its control as it is.
    const std::string scheduled = GetSetting("Scheduled").str();
    const struct {
        ui::CheckBox* box;
        const char* value;
    } boxes[] = {{&chkRecommended, "Recommended"}, {&chkSysTray, "System Tray"}, {&chkStartup, "Startup"}};
    for (const auto& b : boxes) {
        int state = 0;
        if (CheckState(GetSetting(b.value).str(), state)) SetCheck(*b.box, state);
    }
    const std::string again = GetSetting("Scheduled").str();
    if (!again.empty() && (again[0] == '0' || again[0] == '1')) SetCheck(chkScheduled, again[0] - '0');
    const std::string kind = scheduled.size() > 2 ? scheduled.substr(2) : std::string();
    if (kind == "Hour") Select(optHour);
    if (kind == "Day") Select(optDay);
    if (kind == "Week") Select(optWeek);
    if (kind == "Month") Select(optMonth);
    cboPeriod.SetText(L"AM");
    cboDay.SetText(L"Sunday");
    cboPeriod2.SetText(L"AM");
}

void frmOptions::SetCheck(ui::CheckBox& box, int value) {
    if (box.Value() == value) return;
    box.SetValue(value);
    if (&box == &chkRecommended) chkRecommended_Click();
    if (&box == &chkSysTray) chkSysTray_Click();
    if (&box == &chkStartup) chkStartup_Click();
    if (&box == &chkScheduled) chkScheduled_Click();
}

void frmOptions::Select(ui::OptionButton& option) {
    if (option.Value()) return;
    for (ui::OptionButton* o : {&optHour, &optDay, &optWeek, &optMonth}) o->SetValue(o == &option);
    if (&option == &optHour) optHour_Click();
    if (&option == &optDay) optDay_Click();
    if (&option == &optWeek) optWeek_Click();
}

void frmOptions::chkRecommended_Click() { cmdApply.Enable(true); }
void frmOptions::chkSysTray_Click() { cmdApply.Enable(true); }
void frmOptions::chkStartup_Click() { cmdApply.Enable(true); }
void frmOptions::optHour_Click() { cmdApply.Enable(true); }

void frmOptions::chkScheduled_Click() {
    fmeFrame.Show(chkScheduled.Value() == 1);
    cmdApply.Enable(true);
}

void frmOptions::EnableTimes(bool daily, bool weekly) {
    cmdApply.Enable(true);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&txtHour, &txtMinute, &lblColon, &cboPeriod})
        c->Enable(daily);
    for (ui::Control* c :
         std::initializer_list<ui::Control*>{&cboDay, &lblAt, &txtHour2, &lblColon2, &txtMinute2, &cboPeriod2})
        c->Enable(weekly);
}

void frmOptions::optDay_Click() { EnableTimes(true, false); }
void frmOptions::optWeek_Click() { EnableTimes(false, true); }

void frmOptions::txtHour_KeyPress(int& KeyAscii) { DigitsOnly(KeyAscii); }
void frmOptions::txtMinute_KeyPress(int& KeyAscii) { DigitsOnly(KeyAscii); }
void frmOptions::txtHour2_KeyPress(int& KeyAscii) { DigitsOnly(KeyAscii); }
void frmOptions::txtMinute2_KeyPress(int& KeyAscii) { DigitsOnly(KeyAscii); }

void frmOptions::cmdIgnore_Click() { frmIgnore::Get().ShowModal(); }

// Writes or removes the start-with-Windows entry and reads it back. A failure (a user without
// administrator rights cannot edit the Run key) is said and Apply goes on; the result is whether
// the Run key holds this program's entry afterwards.
bool frmOptions::SaveRunEntry() {
    const bool on = chkStartup.Value() == 1;
    const std::string data = RunEntryData();
    if (on)
        SetRegStringValue(HKEY_LOCAL_MACHINE, kRunKey, AppTitle, data);
    else
        DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, AppTitle);
    std::string stored, expanded;
    const LONG rc = ReadRunEntry(stored, expanded);
    const bool held = rc == ERROR_SUCCESS && (StartsThisProgram(stored, data) || StartsThisProgram(expanded, data));
    if (on ? held : rc == ERROR_FILE_NOT_FOUND) return held;

    // The registry's own reason: the Run key cannot be opened as the edit needs, or, when it can,
    // the value could not be written.
    HKEY h = nullptr;
    LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, on ? KEY_ALL_ACCESS : KEY_SET_VALUE, &h);
    if (code == ERROR_SUCCESS) {
        RegCloseKey(h);
        code = on || rc == ERROR_SUCCESS ? ERROR_CANTWRITE : rc;
    }
    ui::MsgBox(std::wstring(on ? L"Halvren could not be set to run on Windows startup: the value \"Halvren\" could "
                                 L"not be written under"
                               : L"Halvren could not be taken off the programs that run on Windows startup: the "
                                 L"value \"Halvren\" could not be removed from") +
                   L"\r\n" + kRunKeyShown + L"\r\n\r\n" + SystemErrorText(static_cast<DWORD>(code)) +
                   L"\r\n\r\nApply goes on with the other settings.",
               MB_OK | MB_ICONEXCLAMATION);
    if (on) SaveSetting("Startup Refused", "1");
    return held;
}

// A user who has been told that the Run key refuses this program's entry is not stopped again
// by the start-with-Windows notice while it still does: every Apply would need a second one.
bool frmOptions::StartupRefusedBefore() {
    if (GetSetting("Startup Refused").str() != "1") return false;
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return true;
    RegCloseKey(h);
    return false;
}

// The box takes the focus with its text selected; a box that cannot take it sends the
// focus to the control that makes it usable again.
void frmOptions::FocusRefused(ui::TextBox& box) {
    box.SelectAll();
    const bool daily = &box == &txtHour || &box == &txtMinute;
    if (!fmeFrame.Visible())
        chkScheduled.Focus();
    else if (!box.Enabled())
        (daily ? optDay : optWeek).Focus();
    else
        box.Focus();
}

void frmOptions::cmdApply_Click() {
    SaveSetting("Recommended", std::to_string(chkRecommended.Value()));
    SaveSetting("System Tray", std::to_string(chkSysTray.Value()));
    // What the Run key holds afterwards is what "Startup" says, whether or not the edit took.
    const bool startsWithWindows = SaveRunEntry();

    const bool scheduled = chkScheduled.Value() == 1;
    if (scheduled && (optDay.Value() || optWeek.Value())) {
        ui::TextBox& hour = optDay.Value() ? txtHour : txtHour2;
        ui::TextBox& minute = optDay.Value() ? txtMinute : txtMinute2;
        for (auto [box, text] : {std::make_pair(&hour, kTypeHour), std::make_pair(&minute, kTypeMinute)}) {
            if (!box->Text().empty()) continue;
            ui::MsgBox(text, MB_OK | MB_ICONEXCLAMATION, L"");
            box->Focus();
            return;
        }
    }

    // Every box is checked against the bounds; the boxes of the schedule being stored must
    // also hold a time that can come round (an hour of 1 to 12, a minute of 0 to 59).
    const struct {
        ui::TextBox* box;
        bool hour, stored;
    } ranges[] = {{&txtHour, true, scheduled && optDay.Value()},
                  {&txtMinute, false, scheduled && optDay.Value()},
                  {&txtHour2, true, scheduled && optWeek.Value()},
                  {&txtMinute2, false, scheduled && optWeek.Value()}};
    for (const auto& r : ranges) {
        const std::wstring text = r.box->Text();
        const long n = LeadingNumber(text);
        const bool refused = r.hour ? n > 12 || (r.stored && (n < 1 || !AllDigits(text)))
                                    : n > 60 || (r.stored && (n < 0 || n > 59 || !AllDigits(text)));
        if (!refused) continue;
        ui::MsgBox(r.hour ? kBadHour : kBadMinute, MB_OK);
        FocusRefused(*r.box);
        return;
    }

    if (scheduled && chkStartup.Value() == 0 && !StartupRefusedBefore()) {
        ui::MsgBox(kStartupNotice, MB_OK | MB_ICONEXCLAMATION, L"");
        SetCheck(chkStartup, 1);
        return;
    }

    // The stores follow one another with no message and no yield between them, so a tick of
    // the schedule sees either the whole old schedule or the whole new one.
    if (!scheduled) {
        SaveSetting("Scheduled", "0");
    } else if (optHour.Value()) {
        SaveSetting("Scheduled", "1-Hour");
    } else if (optDay.Value() || optWeek.Value()) {
        const bool day = optDay.Value();
        SaveSetting("Scheduled", day ? "1-Day" : "1-Week");
        if (!day) SaveSetting("Day", ToAnsi(cboDay.Text()));
        SaveSetting("Hour", ToAnsi((day ? txtHour : txtHour2).Text()));
        SaveSetting("Minute", ToAnsi((day ? txtMinute : txtMinute2).Text()));
        SaveSetting("Period", ToAnsi((day ? cboPeriod : cboPeriod2).Text()));
    } else if (optMonth.Value()) {
        SaveSetting("Scheduled", "1-Month");
    }
    SaveSetting("Startup", startsWithWindows ? "1" : "0");
    Unload();
}

void frmOptions::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case idRecommended: chkRecommended_Click(); break;
    case idSysTray: chkSysTray_Click(); break;
    case idStartup: chkStartup_Click(); break;
    case idScheduled: chkScheduled_Click(); break;
    case idOptHour: Select(optHour); break;
    case idOptDay: Select(optDay); break;
    case idOptWeek: Select(optWeek); break;
    case idOptMonth: Select(optMonth); break;
    case idIgnore: cmdIgnore_Click(); break;
    case idApply:
        if (cmdApply.Enabled()) cmdApply_Click();
        break;
    }
}

LRESULT frmOptions::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // Enter presses Apply once it is enabled.
    if (message == DM_GETDEFID) return cmdApply.Enabled() ? MAKELRESULT(idApply, DC_HASDEFID) : 0;
    return ui::Form::HandleMessage(message, wParam, lParam);
}
