// Start-up: the first-run data folder, the hand-over to the main window, and a second real
// copy of halvren.exe refused.
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

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Keeps the settings values a start touches and restores them afterwards.
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
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
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
    bool moved = FolderExists(quorvane) && MoveFileA(quorvane.c_str(), aside.c_str());
    ASSERT_FALSE(FolderExists(quorvane));

    ASSERT_TRUE(s.Load());
    EXPECT_TRUE(FolderExists(data + "\\RegBackups"));
    const std::string shipped = ReadFileBytes(ProgramFolder() + "\\bkp\\Ignore.txt");
    EXPECT_FALSE(shipped.empty());
    EXPECT_EQ(ReadFileBytes(data + "\\Ignore.txt"), shipped);
    s.Unload();

    // A list that is there, even an empty one, means no first-run work at all.
    RemoveFolderTree(data + "\\RegBackups");
    ASSERT_TRUE(WriteFileBytes(data + "\\Ignore.txt", ""));
    ASSERT_TRUE(s.Load());
    EXPECT_FALSE(FolderExists(data + "\\RegBackups"));
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

// A visible "Halvren" message box of a process: its texts and whether it shows an icon.
struct Box {
    DWORD pid;
    HWND hwnd = nullptr;
    std::vector<std::wstring> texts;
    bool icon = false;
};

BOOL CALLBACK ReadBox(HWND w, LPARAM p) {
    auto* b = reinterpret_cast<Box*>(p);
    wchar_t cls[64] = {}, text[512] = {};
    if (!GetClassNameW(w, cls, 64) || lstrcmpiW(cls, L"Static")) return TRUE;
    if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) b->icon = true;
    else if (GetWindowTextW(w, text, 512) > 0) b->texts.push_back(text);
    return TRUE;
}

// Waits for a box of the process.
Box WaitForBox(DWORD pid) {
    Box box{pid, WaitForWindow(pid, L"#32770", L"Halvren"), {}, false};
    if (box.hwnd) EnumChildWindows(box.hwnd, ReadBox, reinterpret_cast<LPARAM>(&box));
    return box;
}

void Answer(const Box& box) {
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    for (int i = 0; i < 100 && IsWindow(box.hwnd); ++i) Sleep(50);
}

// The first copy still waits on its language-load error when the second starts: the second
// must already see it running.
TEST_F(Startup, SecondCopyIsRefused) {
    std::string exe = ProgramFolder() + "\\halvren.exe";
    ASSERT_TRUE(FileExists(exe)) << "build the halvren target first";
    // A list in place keeps the first copy off the first-run work in the shared data folder.
    CreateFolderTree(DataFolder());
    FileGuard ignore(DataFolder() + "\\Ignore.txt");
    if (!FileExists(ignore.path)) WriteFileBytes(ignore.path, "");
    PutSetting("curLang", "");

    const std::vector<std::wstring> languageError = {L"Error: Failed loading selected language."};
    StartedProgram first, second;
    ASSERT_TRUE(first.Start(exe));
    ASSERT_EQ(WaitForBox(first.pi.dwProcessId).texts, languageError);
    ASSERT_TRUE(second.Start(exe));
    Box box = WaitForBox(second.pi.dwProcessId);
    ASSERT_EQ(box.texts, languageError);  // no stored language: its error comes first
    Answer(box);
    box = WaitForBox(second.pi.dwProcessId);
    EXPECT_EQ(box.texts, std::vector<std::wstring>{LangText(101)});
    EXPECT_TRUE(box.icon);

    Answer(box);
    EXPECT_EQ(WaitForSingleObject(second.pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(second.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
