#pragma once
// What the two update windows share: the update list's address, the program's version text,
// the transfer, and the check that compares the two, run once per loading of the window.
#include <string>

#include "shell/InetControl.h"
#include "ui/Form.h"

class cUpdateCheck : public ui::Form {
public:
    std::string UpdateURL;
    std::string sVersionText;
    InetControl Inet;

    // Starts a GET of Page; the answer arrives in Inet_StateChanged. False when it cannot start.
    bool Pobierz(const std::string& Page);
    // The ended transfer: true only when the status line's second word is "200"; ReturnTo then
    // receives the body and is left as it was otherwise.
    bool PobierzResult(std::string& ReturnTo);
    // The whole text of a file; empty when it cannot be read.
    std::string OpenFile(const std::string& filename);

protected:
    // reportsFailure: a failed fetch or an up-to-date answer shows its message.
    explicit cUpdateCheck(bool reportsFailure) : reportsFailure_(reportsFailure) {}
    // Runs from each window's Form_Load: a new loading runs a new check.
    void ResetCheck();
    // The check's start: the version text, the address and the transfer.
    void BeginCheck();
    void Inet_StateChanged();
    void Form_Unload() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FinishCheck(bool fetched, const std::string& body);

    bool reportsFailure_;
    bool checkStarted_ = false;
    unsigned loading_ = 0;
};
