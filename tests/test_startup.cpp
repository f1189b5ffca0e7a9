// Start-up: the first-run data folder, the hand-over to the main window, and a second real
// copy of halvren.exe refused.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include "core/App.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "scan/frmMain.h"
#include "shell/frmSplash.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetEndProgramHook([] {});
        UseEnglish();
    }
    void TearDown() override {
        frmSplash& s = frmSplash::Get();
        if (s.IsLoaded()) s.Unload();
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        ui::SetEndProgramHook(nullptr);
        // A closing window may ask the loop to end; that must not reach the next test.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) continue;
        if (s.hInstanceGuard) CloseHandle(s.hInstanceGuard);
        s.hInstanceGuard = nullptr;
    }

    SettingGuard lang_{"curLang"}, recommended_{"Recommended"};
    MessageBoxCapture boxes_;
};

TEST_F(Startup, FirstRunDataFolder) {
    frmSplash& s = frmSplash::Get();
    const std::string quorvane = GetLocalAppDataPath() + "\\Quorvane", aside = quorvane + ".startup-aside";
    const std::string data = DataFolder();
    RemoveFolderTree(aside);
    bool moved = PathIsDirectoryA(quorvane.c_str()) && MoveFileA(quorvane.c_str(), aside.c_str());
    ASSERT_FALSE(PathIsDirectoryA(quorvane.c_str()));

    ASSERT_TRUE(s.Load());
    EXPECT_TRUE(PathIsDirectoryA((data + "\\RegBackups").c_str()));
    const std::string shipped = ReadFileBytes(ProgramFolder() + "\\bkp\\Ignore.txt");
    EXPECT_EQ(ReadFileBytes(data + "\\Ignore.txt"), shipped);
    s.Unload();

    // A list that is there, even an empty one, means no first-run work at all.
    RemoveFolderTree(data + "\\RegBackups");
    ASSERT_TRUE(WriteFileBytes(data + "\\Ignore.txt", ""));
    ASSERT_TRUE(s.Load());
    EXPECT_FALSE(PathIsDirectoryA((data + "\\RegBackups").c_str()));
    EXPECT_EQ(ReadFileBytes(data + "\\Ignore.txt"), "");
    s.Unload();

    RemoveFolderTree(quorvane);
    if (moved) MoveFileA(aside.c_str(), quorvane.c_str());
    EXPECT_TRUE(boxes_.boxes.empty());
}

// Closed before the hand-over, the splash ends the program rather than leave a process with no
// window at all; left alone, it hands over to the main window on its third tick.
TEST_F(Startup, SplashEndsTheProgramOrHandsOver) {
    frmSplash& s = frmSplash::Get();
    frmMain& main = frmMain::Get();
    s.Show();
    SendMessageW(s.hwnd(), WM_CLOSE, 0, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_FALSE(s.IsLoaded() || main.IsLoaded());

    s.Show();
    ASSERT_TRUE(PumpUntil([&] { return !s.IsLoaded(); }));
    EXPECT_EQ(s.SplashTicks, 3);
    EXPECT_TRUE(main.IsVisible() && main.Timer3.Enabled());
    EXPECT_EQ(GetWindow(main.hwnd(), GW_OWNER), nullptr);
}

// Reads the next "Halvren" message box of a process: its texts, and in `icon` whether it shows
// one; then answers it.
std::vector<std::wstring> AnswerBox(DWORD pid, bool& icon) {
    std::vector<std::wstring> texts;
    HWND box = WaitForWindow(pid, L"#32770", L"Halvren");
    if (!box) return texts;
    for (HWND c = nullptr; (c = FindWindowExW(box, c, L"Static", nullptr)) != nullptr;) {
        wchar_t text[512] = {};
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = true;
        else if (GetWindowTextW(c, text, 512) > 0)
            texts.push_back(text);
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    return texts;
}

// No stored language: each copy reports that first, and the first copy still waits on its box
// when the second starts, so the second must already see it running.
TEST_F(Startup, SecondCopyIsRefused) {
    const std::string exe = ProgramFolder() + "\\halvren.exe";
    // A list in place keeps the first copy off the first-run work in the shared data folder.
    CreateFolderTree(DataFolder());
    FileGuard ignore(DataFolder() + "\\Ignore.txt");
    if (!FileExists(ignore.path)) WriteFileBytes(ignore.path, "");
    PutSetting("curLang", "");

    StartedProgram first, second;
    ASSERT_TRUE(first.Start(exe));
    ASSERT_NE(WaitForWindow(first.pi.dwProcessId, L"#32770", L"Halvren"), nullptr);
    ASSERT_TRUE(second.Start(exe));
    bool icon = false;
    ASSERT_EQ(AnswerBox(second.pi.dwProcessId, icon),
              std::vector<std::wstring>{L"Error: Failed loading selected language."});
    icon = false;
    EXPECT_EQ(AnswerBox(second.pi.dwProcessId, icon), std::vector<std::wstring>{LangText(101)});
    EXPECT_TRUE(icon);
    EXPECT_EQ(WaitForSingleObject(second.pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
