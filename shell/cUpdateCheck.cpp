#include "shell/cUpdateCheck.h"

#include "core/App.h"
#include "core/Text.h"
#include "core/modLanguage.h"
#include "shell/modLinki.h"

namespace {
constexpr UINT WM_APP_INET_DONE = WM_APP + 20;
}

void cUpdateCheck::ResetCheck() {
    ++loading_;
    checkStarted_ = false;
}

bool cUpdateCheck::Pobierz(const std::string& Page) { return Inet.Execute(Page, hwnd(), WM_APP_INET_DONE); }

bool cUpdateCheck::PobierzResult(std::string& ReturnTo) {
    std::string header = Inet.GetHeader();
    std::string body;
    for (std::string chunk; !(chunk = Inet.GetChunk(1000000)).empty();) body += chunk;
    const size_t lineEnd = header.find("\r\n");
    if (lineEnd != std::string::npos) header.erase(lineEnd);
    // The second word of the status line split at every single blank: two blanks in a row
    // give an empty word.
    const size_t first = header.find(' ');
    if (first == std::string::npos) return false;
    const size_t second = header.find(' ', first + 1);
    if (header.compare(first + 1, second == std::string::npos ? std::string::npos : second - first - 1, "200") != 0)
        return false;
    ReturnTo = body;
    return true;
}

std::string cUpdateCheck::OpenFile(const std::string& filename) {
    HANDLE f = CreateFileA(filename.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    LARGE_INTEGER size;
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFFF) {
        text.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, &text[0], static_cast<DWORD>(text.size()), &got, nullptr)) got = 0;
        text.resize(got);
    }
    CloseHandle(f);
    return text;
}

void cUpdateCheck::BeginCheck() {
    // The check timer keeps ticking while the transfer waits and while the answer shows.
    if (checkStarted_ || !IsLoaded()) return;
    checkStarted_ = true;
    sVersionText = VersionText();
    UpdateURL = "http://" + MakerHost() + "/updates/halvren.txt";
    if (!Pobierz(UpdateURL)) FinishCheck(false, std::string());
}

void cUpdateCheck::Inet_StateChanged() {
    std::string body;
    const bool fetched = PobierzResult(body);
    FinishCheck(fetched, body);
}

void cUpdateCheck::FinishCheck(bool fetched, const std::string& body) {
    const unsigned loading = loading_;
    // A whole-string comparison of character codes: "2.9" is newer than "2.10", "10.0" is not.
    if (fetched && FromAnsi(body) > FromAnsi(sVersionText)) {
        if (ui::MsgBox(LangText(144), MB_YESNO | MB_ICONQUESTION) == IDYES) OpenUpdatePage();
    } else if (reportsFailure_) {
        ui::MsgBox(LangText(146), MB_OK | MB_ICONINFORMATION);
    }
    // Closed, and perhaps opened afresh, while the message showed: that is not ours to close.
    if (loading == loading_) Unload();
}

void cUpdateCheck::Form_Unload() { Inet.Cancel(); }

LRESULT cUpdateCheck::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP_INET_DONE) {
        // The end of a cancelled transfer, or of one of an earlier loading, is dropped.
        if (Inet.IsCurrent(wParam) && !Inet.StillExecuting()) Inet_StateChanged();
        return 0;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
