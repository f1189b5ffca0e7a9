// The Help menu: the link openers, the update checks against a real loopback HTTP server, the about box.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/App.h"
#include "core/Text.h"
#include "core/modLanguage.h"
#include "scan/frmMain.h"
#include "shell/FrmAbout.h"
#include "shell/frmAutoUpd.h"
#include "shell/frmUpdate.h"
#include "shell/modLinki.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// A loopback HTTP server on a thread of its own that answers every connection as `mode` says.
struct Server {
    enum Mode { Reply, CloseAtOnce, NeverAnswer };
    std::atomic<Mode> mode{Reply};
    std::string reply, host;
    std::atomic<int> connections{0};

    Server() {
        WSADATA w;
        WSAStartup(MAKEWORD(2, 2), &w);
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int n = sizeof a;
        bind(listen_, reinterpret_cast<sockaddr*>(&a), n);
        listen(listen_, 8);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
        host = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
        thread_ = std::thread([this] {
            for (timeval tv = {0, 50000}; !stop_;) {
                fd_set set = {1, {listen_}};
                if (select(0, &set, nullptr, nullptr, &tv) == 1) Serve(accept(listen_, nullptr, nullptr));
            }
        });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        for (SOCKET s : held_) closesocket(s);
        closesocket(listen_);
        WSACleanup();
    }
    static std::string Ok(const std::string& body, const char* status = "HTTP/1.1 200 OK") {
        return status + ("\r\nContent-Length: " + std::to_string(body.size())) + "\r\n\r\n" + body;
    }
    void Serve(SOCKET s) {
        ++connections;
        if (mode == NeverAnswer) return held_.push_back(s);  // the client gives up by itself
        std::string request, out;
        char buf[4096];
        for (int got = 1; mode == Reply && got > 0 && request.find("\r\n\r\n") == std::string::npos;)
            if ((got = recv(s, buf, sizeof buf, 0)) > 0) request.append(buf, got);
        if (mode == Reply) out = request.compare(0, 15, "GET /final.txt ") == 0 ? Ok("2.9") : reply;  // a redirect
        for (int sent = 0, n = 0; sent < static_cast<int>(out.size()) && n >= 0; sent += n)
            n = send(s, out.data() + sent, static_cast<int>(std::min<size_t>(out.size() - sent, 65536)), 0);
        shutdown(s, SD_SEND);
        closesocket(s);
    }
    SOCKET listen_;
    std::atomic<bool> stop_{false};
    std::vector<SOCKET> held_;
    std::thread thread_;
};

std::vector<std::string> g_opened;
// Runs one check of `form` from its first timer tick; true when the window closed itself.
template <class Form> bool RunCheck(Form& form) {
    form.Load();
    form.Timer1_Timer();
    return PumpUntil([&] { return !form.IsLoaded(); }, 20000);
}

class Help : public ::testing::Test {
protected:
    void SetUp() override {
        UseEnglish();
        g_opened.clear();
        SetOpenLinkHook([](const std::string& target) { return g_opened.push_back(target), 42; });
        SetMakerHostHook(server.host);
        frmMain::Get().Load();
    }
    void TearDown() override {
        for (ui::Form* f : std::initializer_list<ui::Form*>{&frmUpdate::Get(), &frmAutoUpd::Get(), &FrmAbout::Get()})
            f->Unload();
        SetOpenLinkHook(nullptr);
        SetMakerHostHook("");
        InetControl::SetTimeoutHook(0);
        frmAutoUpd::Get().bAutoCheck = false;
    }
    void Menu(int id) { SendMessageW(frmMain::Get().hwnd(), WM_COMMAND, id, 0); }
    std::string Web(const char* path) { return "http://" + server.host + path; }
    SettingGuard lang_{"curLang"};
    Server server;
};

TEST_F(Help, OpenersFollowTheStoredLanguage) {
    const std::string docs = ProgramFolder() + "\\languages\\";
    struct Row { void (*open)(); std::string en, pl, de; } rows[] = {
        {OpenHomePage, Web("/en"), Web("/pl"), Web("/de")},
        {OpenSupportPage, Web("/en/support.html"), Web("/pl/wsparcie.html"), Web("/de/support.html")},
        {OpenContactPage, Web("/en/contact.html"), Web("/pl/kontakt.html"), Web("/de/contact.html")},
        {OpenForumPage, Web("/forum"), Web("/forum"), Web("/forum")},
        {OpenUpdatePage, Web("/en/products/sarnoth/update.html"), Web("/pl/produkty/sarnoth/update.html"),
         Web("/de/products/sarnoth/update.html")},
        {OpenReadme, docs + "english\\readme.txt", docs + "polish\\readme.txt", docs + "deutsch\\readme.txt"},
        {OpenLicense, docs + "english\\license.txt", docs + "polish\\license.txt", docs + "deutsch\\license.txt"}};
    for (const Row& r : rows)
        for (std::string lang : {"English", "Polish", "Deutsch", "english", ""}) {
            g_opened.clear();
            PutSetting("curLang", lang);
            r.open();
            const std::string want = lang == "English" ? r.en : lang == "Polish" ? r.pl : lang == "Deutsch" ? r.de : "";
            EXPECT_EQ(want.empty() ? std::vector<std::string>{} : std::vector<std::string>{want}, g_opened) << lang;
        }
    SetOpenLinkHook(nullptr);  // the real shell: a missing document fails quietly
    MessageBoxCapture boxes;
    EXPECT_LE(OpenLink(docs + "deutsch\\no-such-readme.txt"), 32);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Help, ManualCheckAnswersAsTheServerSays) {
    const struct Row { std::string reply; int text; Server::Mode mode = Server::Reply; } rows[] = {
        {Server::Ok("2.9"), 144}, {Server::Ok("2.11"), 144}, {Server::Ok("2.10"), 146}, {Server::Ok("2.10\r\n"), 144},
        {Server::Ok("10.0"), 146}, {Server::Ok(""), 146}, {Server::Ok("2.9", "HTTP/1.1 404 Not Found"), 146},
        {Server::Ok("2.9", "HTTP/1.1  200 OK"), 146}, {Server::Ok(std::string(10 << 20, '9')), 146},  // past 64 KiB
        {"", 146, Server::CloseAtOnce}, {"", 146, Server::NeverAnswer},  // the timeout
        {"HTTP/1.1 302 Found\r\nLocation: " + Web("/final.txt") + "\r\nContent-Length: 0\r\n\r\n", 144}};
    InetControl::SetTimeoutHook(1500);
    for (const Row& r : rows) {
        server.mode = r.mode;
        server.reply = r.reply;
        MessageBoxCapture boxes(IDNO);
        EXPECT_TRUE(RunCheck(frmUpdate::Get()));
        ASSERT_EQ(1u, boxes.boxes.size()) << &r - rows;
        EXPECT_EQ(LangText(r.text), boxes.boxes[0].text) << &r - rows;
        EXPECT_EQ(r.text == 144 ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONINFORMATION, boxes.boxes[0].flags);
    }
    // No opens nothing; Yes, from the manual check and the automatic one, opens the update page.
    server.reply = Server::Ok("2.9");
    MessageBoxCapture yes(IDYES);
    frmAutoUpd::Get().bAutoCheck = true;
    EXPECT_TRUE(RunCheck(frmUpdate::Get()));
    EXPECT_TRUE(RunCheck(frmAutoUpd::Get()));
    EXPECT_EQ(std::vector<std::string>(2, Web("/en/products/sarnoth/update.html")), g_opened);

    // The automatic check says nothing when there is nothing newer; gated off, it asks nothing.
    server.reply = Server::Ok("2.10");
    MessageBoxCapture quiet;
    EXPECT_TRUE(RunCheck(frmAutoUpd::Get()));
    frmAutoUpd::Get().bAutoCheck = false;
    const int before = server.connections;
    frmAutoUpd::Get().Load();
    PumpFor(1400);
    EXPECT_TRUE(frmAutoUpd::Get().IsLoaded());
    EXPECT_EQ(before, server.connections);
    EXPECT_TRUE(quiet.boxes.empty());
}

// The version text comes from the program's version resource, which halvren.exe carries too.
TEST_F(Help, VersionComesFromTheResource) {
    EXPECT_EQ("2.10", VersionText());
    const std::string exe = ProgramFolder() + "\\halvren.exe";
    std::vector<char> info(GetFileVersionInfoSizeA(exe.c_str(), nullptr) + 1);
    VS_FIXEDFILEINFO* f = nullptr;
    UINT n = 0;
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, info.size(), info.data()));
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&f), &n));
    EXPECT_EQ(MAKELONG(1, 2), f->dwFileVersionMS);
    EXPECT_EQ(0u, HIWORD(f->dwFileVersionLS));
}

// A copy of the program in a folder whose name the ANSI code page cannot spell still shows its
// version beside the banner, so the update check has a version to compare.
TEST(Version, ShownWhateverTheProgramsPath) {
    SettingGuard lang("curLang");
    UseEnglish();
    const std::wstring folder = L"C:\\halvren-test\\ver-\u6f22\u5b57", exe = folder + L"\\halvren.exe";
    CreateDirectoryW(L"C:\\halvren-test", nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(FromAnsi(ProgramFolder() + "\\halvren.exe").c_str(), exe.c_str(), FALSE));
    // It needs its language file beside it, or it ends with a message that English is missing.
    const std::wstring langFolder = folder + L"\\languages\\English", langFile = langFolder + L"\\English.txt";
    CreateDirectoryW((folder + L"\\languages").c_str(), nullptr);
    CreateDirectoryW(langFolder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(FromAnsi(ProgramFolder() + "\\languages\\English\\English.txt").c_str(), langFile.c_str(), FALSE));
    std::wstring version;
    {
        StartedProgram copy;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        std::wstring line = L"\"" + exe + L"\"";
        ASSERT_TRUE(CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                                   &copy.pi));
        HWND main = WaitForWindow(copy.pi.dwProcessId, L"HalvrenForm", L"Halvren");
        ASSERT_NE(main, nullptr);
        for (HWND c = nullptr; (c = FindWindowExW(main, c, L"Static", nullptr)) != nullptr;) {
            wchar_t text[64] = {};
            GetWindowTextW(c, text, 64);
            if (wcsncmp(text, L"Version", 7) == 0) version = text;
        }
    }
    DeleteFileW(exe.c_str());
    DeleteFileW(langFile.c_str());
    RemoveDirectoryW(langFolder.c_str());
    RemoveDirectoryW((folder + L"\\languages").c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(L"Version 2.10", version);
}

TEST_F(Help, CancelAndCloseEndTheCheckForGood) {
    MessageBoxCapture boxes;
    server.mode = Server::NeverAnswer;
    InetControl::SetTimeoutHook(2500);
    Menu(frmMain::spr1);
    PumpFor(300);
    SendMessageW(frmUpdate::Get().hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PumpFor(1200);
    EXPECT_EQ(0, server.connections);  // cancelled before the first tick: nothing asked
    Menu(frmMain::spr1);
    PumpFor(2000);  // the check waits for the server
    EXPECT_EQ(1, server.connections);
    SendMessageW(frmUpdate::Get().hwnd(), WM_CLOSE, 0, 0);
    PumpFor(1700);  // past the timeout: the ended transfer neither shows nor reopens anything
    EXPECT_FALSE(frmUpdate::Get().IsLoaded());
    EXPECT_EQ(1, server.connections);
    EXPECT_TRUE(boxes.boxes.empty());
}

// The about box: version and computer name, the underline following the pointer, the links, one
// window for every use of the menu item, and a reopened box with nothing underlined.
TEST_F(Help, AboutBox) {
    Menu(frmMain::mnuAbout);
    FrmAbout& a = FrmAbout::Get();
    ASSERT_TRUE(a.IsVisible());
    EXPECT_EQ(frmMain::Get().hwnd(), GetWindow(a.hwnd(), GW_OWNER));
    char name[256] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);  // the box shows the same
    EXPECT_EQ(L"2.10|" + FromAnsi(name), a.Label1.Text() + L"|" + a.Label4.Text());
    auto at = [&](ui::Label& l) {
        RECT r;
        GetWindowRect(l.hwnd, &r);
        MapWindowPoints(HWND_DESKTOP, a.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return MAKELPARAM(r.left + 3, r.top + 3);
    };
    auto underlined = [&] {
        std::string s;
        for (ui::Label* l : {&a.Label14, &a.Label15, &a.Label16, &a.Label17}) s += a.Underlined(*l) ? "1" : "0";
        return s;
    };
    auto click = [&](ui::Label& l) {
        for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP}) SendMessageW(a.hwnd(), m, 0, at(l));
    };
    EXPECT_EQ("0000", underlined());
    for (const auto& m : {std::make_pair(at(a.Label14), "1000"), std::make_pair(at(a.Label15), "0100"),
                          std::make_pair(MAKELPARAM(2, 2), "0100")}) {
        SendMessageW(a.hwnd(), WM_MOUSEMOVE, 0, m.first);
        EXPECT_EQ(m.second, underlined());
    }
    click(a.Label16);
    EXPECT_EQ(std::vector<std::string>{Web("/forum")}, g_opened);
    PutSetting("curLang", "");
    click(a.Label17);
    EXPECT_EQ(1u, g_opened.size());
    // A second use brings the same window forward; its captions are not set again.
    const HWND first = a.hwnd();
    a.Label86.SetText(L"kept");
    Menu(frmMain::mnuAbout);
    EXPECT_EQ(first, a.hwnd());
    EXPECT_EQ(L"kept", a.Label86.Text());
    click(a.Label1);  // the version closes it, as OK does
    EXPECT_FALSE(a.IsLoaded());
    Menu(frmMain::mnuAbout);
    EXPECT_EQ("0000" + ToAnsi(LangText(119)), underlined() + ToAnsi(a.Label86.Text()));
    SendMessageW(a.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(a.IsLoaded());
}

}  // namespace
