// Start-up: the language at the first start, the single-instance rule (in-process and with
// two real copies of halvren.exe), the first-run data folder and the hand-over to the main
// window.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/App.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "core/modRegistry2.h"
#include "scan/frmMain.h"
#include "shell/frmSplash.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Pumps messages until `done` or about ten seconds have passed.
template <class F>
bool PumpUntil(F done) {
    for (int i = 0; i < 200 && !done(); ++i) PumpFor(50);
    return done();
}

void NoEnd() {}

// A started copy of the program, ended when the test leaves, whatever it asserted.
struct Started {
    PROCESS_INFORMATION pi = {};
    ~Started() {
        if (!pi.hProcess) return;
        if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 0);
            WaitForSingleObject(pi.hProcess, 10000);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

// A message box of a given process titled Halvren.
struct FoundBox {
    DWORD pid;
    HWND box;
};

BOOL CALLBACK FindBox(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<FoundBox*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64], title[64];
    if (pid == f->pid && IsWindowVisible(w) && GetClassNameW(w, cls, 64) && lstrcmpW(cls, L"#32770") == 0 &&
        GetWindowTextW(w, title, 64) && lstrcmpW(title, L"Halvren") == 0) {
        f->box = w;
        return FALSE;
    }
    return TRUE;
}

struct BoxTexts {
    std::vector<std::wstring> statics;
    bool icon = false;
};

BOOL CALLBACK ReadBoxTexts(HWND w, LPARAM p) {
    auto* t = reinterpret_cast<BoxTexts*>(p);
    wchar_t cls[64], text[512];
    if (GetClassNameW(w, cls, 64) && lstrcmpiW(cls, L"Static") == 0) {
        if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            t->icon = true;
        else if (GetWindowTextW(w, text, 512) > 0)
            t->statics.push_back(text);
    }
    return TRUE;
}

// Keeps the settings values a start touches and restores them afterwards.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& v : saved_) v.found = ReadRaw(HKEY_CURRENT_USER, SettingsKey, v.name, v.type, v.bytes);
        ui::SetEndProgramHook(&NoEnd);
    }

    void TearDown() override {
        frmSplash& s = frmSplash::Get();
        if (s.IsLoaded()) s.Unload();
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        ui::SetEndProgramHook(nullptr);
        // A closing main window may ask the loop to end; that must not reach the next test.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        if (s.hInstanceGuard) {
            CloseHandle(s.hInstanceGuard);
            s.hInstanceGuard = nullptr;
        }
        for (auto& v : saved_) {
            if (v.found)
                SetBinary(HKEY_CURRENT_USER, SettingsKey, v.name, v.bytes, v.type);
            else
                DeleteRegSetting("Halvren", "Settings", v.name, HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
        }
    }

    // Moves the whole Quorvane folder out of the way; RestoreQuorvane puts it back.
    void SetQuorvaneAside() {
        quorvane_ = GetLocalAppDataPath() + "\\Quorvane";
        aside_ = quorvane_ + ".startup-aside";
        RemoveFolderTree(aside_);
        asideMoved_ = FolderExists(quorvane_) && MoveFileA(quorvane_.c_str(), aside_.c_str());
        ASSERT_FALSE(FolderExists(quorvane_));
    }

    void RestoreQuorvane() {
        RemoveFolderTree(quorvane_);
        if (asideMoved_) MoveFileA(aside_.c_str(), quorvane_.c_str());
        asideMoved_ = false;
    }

    struct Saved {
        const char* name;
        bool found;
        DWORD type;
        std::string bytes;
    };
    Saved saved_[2] = {{"curLang", false, 0, {}}, {"Recommended", false, 0, {}}};
    std::string quorvane_, aside_;
    bool asideMoved_ = false;
};

TEST_F(Startup, LanguageAndSingleInstance) {
    frmSplash& s = frmSplash::Get();
    {
        // The first start: no language stored.
        MessageBoxCapture capture;
        DeleteRegSetting("Halvren", "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
        ClearLanguageTable();
        ASSERT_TRUE(s.Form_Initialize());
        ASSERT_EQ(capture.boxes.size(), 1u);
        EXPECT_EQ(capture.boxes[0].text, L"Error: Failed loading selected language.");
        EXPECT_EQ(capture.boxes[0].title, L"Halvren");
        EXPECT_EQ(capture.boxes[0].flags, static_cast<unsigned>(MB_ICONERROR | MB_OK));
        EXPECT_EQ(GetSetting("curLang").str(), "English");
        EXPECT_FALSE(LangText(100).empty());
        EXPECT_NE(s.hInstanceGuard, nullptr);
    }
    CloseHandle(s.hInstanceGuard);
    s.hInstanceGuard = nullptr;
    {
        // Another copy holds the instance mark: text 101, and the start ends.
        MessageBoxCapture capture;
        HANDLE other = CreateMutexA(nullptr, FALSE, "Halvren.Instance");
        ASSERT_NE(other, nullptr);
        EXPECT_FALSE(s.Form_Initialize());
        ASSERT_EQ(capture.boxes.size(), 1u);
        EXPECT_EQ(capture.boxes[0].text, LangText(101));
        EXPECT_EQ(capture.boxes[0].title, L"Halvren");
        EXPECT_EQ(capture.boxes[0].flags, static_cast<unsigned>(MB_ICONERROR | MB_OK));
        EXPECT_EQ(s.hInstanceGuard, nullptr);
        CloseHandle(other);
    }
}

TEST_F(Startup, FirstRunDataFolder) {
    MessageBoxCapture capture;
    SaveSetting("curLang", "English");
    ClearLanguageTable();
    LoadLanguage();
    frmSplash& s = frmSplash::Get();
    SetQuorvaneAside();
    std::string data = DataFolder();

    ASSERT_TRUE(s.Load());
    EXPECT_TRUE(FolderExists(GetLocalAppDataPath() + "\\Quorvane"));
    EXPECT_TRUE(FolderExists(data + "\\RegBackups"));
    std::string shipped = ReadFileBytes(ProgramFolder() + "\\bkp\\Ignore.txt");
    EXPECT_FALSE(shipped.empty());
    EXPECT_EQ(ReadFileBytes(data + "\\Ignore.txt"), shipped);
    EXPECT_EQ(s.Label2.Text(), LangText(100));
    EXPECT_TRUE(s.tmrTime.Enabled());
    EXPECT_EQ(s.tmrTime.interval, 300u);
    EXPECT_EQ(s.SplashTicks, 0);
    s.Unload();

    // A list that is there, even an empty one, means no first-run work at all.
    RemoveFolderTree(data + "\\RegBackups");
    ASSERT_TRUE(WriteFileBytes(data + "\\Ignore.txt", ""));
    ASSERT_TRUE(s.Load());
    EXPECT_FALSE(FolderExists(data + "\\RegBackups"));
    EXPECT_TRUE(FileExists(data + "\\Ignore.txt"));
    EXPECT_EQ(ReadFileBytes(data + "\\Ignore.txt"), "");
    s.Unload();

    RestoreQuorvane();
    EXPECT_TRUE(capture.boxes.empty());
}

TEST_F(Startup, HandOverOnTheThirdTick) {
    MessageBoxCapture capture;
    SaveSetting("curLang", "English");
    frmSplash& s = frmSplash::Get();
    frmMain& main = frmMain::Get();
    ASSERT_FALSE(main.IsLoaded());
    s.Show();
    ASSERT_TRUE(s.IsVisible());

    ASSERT_TRUE(PumpUntil([&] { return s.SplashTicks >= 1; }));
    EXPECT_TRUE(s.IsVisible());
    EXPECT_FALSE(main.IsLoaded());

    ASSERT_TRUE(PumpUntil([&] { return !s.IsLoaded(); }));
    EXPECT_EQ(s.SplashTicks, 3);
    EXPECT_TRUE(main.IsLoaded());
    EXPECT_TRUE(main.IsVisible());
    EXPECT_TRUE(main.Timer3.Enabled());
    EXPECT_EQ(GetWindow(main.hwnd(), GW_OWNER), nullptr);
}

// Alt+F4 on the splash before the hand-over would leave a process with no window at all.
TEST_F(Startup, ClosingTheSplashEndsTheProgram) {
    MessageBoxCapture capture;
    frmSplash& s = frmSplash::Get();
    s.Show();
    SendMessageW(s.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(s.IsLoaded());
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(frmMain::Get().IsLoaded());
}

// Two real copies of the program: the second shows text 101 in a real box and ends, the
// first runs on.
TEST_F(Startup, SecondCopyIsRefused) {
    SaveSetting("curLang", "English");
    ClearLanguageTable();
    LoadLanguage();
    std::string exe = ProgramFolder() + "\\halvren.exe";
    ASSERT_TRUE(FileExists(exe)) << "build the halvren target first";
    std::string ignore = DataFolder() + "\\Ignore.txt";
    // A list in place keeps the first copy off the first-run work in the shared data folder.
    bool hadIgnore = FileExists(ignore);
    if (!hadIgnore) {
        CreateFolderTree(DataFolder());
        WriteFileBytes(ignore, "");
    }

    auto start = [&](PROCESS_INFORMATION& pi) {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        std::string cmd = "\"" + exe + "\"";
        return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, ProgramFolder().c_str(), &si,
                              &pi) != 0;
    };
    Started first, second;
    ASSERT_TRUE(start(first.pi));
    bool running = false;
    for (int i = 0; i < 200 && !running; ++i) {
        if (HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "Halvren.Instance")) {
            CloseHandle(m);
            running = true;
        } else {
            Sleep(50);
        }
    }
    ASSERT_TRUE(running);
    ASSERT_TRUE(start(second.pi));

    FoundBox find = {second.pi.dwProcessId, nullptr};
    for (int i = 0; i < 200 && !find.box; ++i) {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&find));
        if (!find.box) Sleep(50);
    }
    ASSERT_NE(find.box, nullptr);

    BoxTexts texts;
    EnumChildWindows(find.box, ReadBoxTexts, reinterpret_cast<LPARAM>(&texts));
    ASSERT_EQ(texts.statics.size(), 1u);
    EXPECT_EQ(texts.statics[0], LangText(101));
    EXPECT_TRUE(texts.icon);

    PostMessageW(find.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(WaitForSingleObject(second.pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(second.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    if (!hadIgnore) DeleteFileA(ignore.c_str());
}

}  // namespace
