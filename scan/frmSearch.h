#pragma once
// The missing-file search: looks for a file name on drive C:, lists the matches, opens a
// match's folder in the file manager and copies a match to where the missing file belongs.
#include <cstdint>
#include <string>

#include "ui/Form.h"
#include "ui/Yield.h"

class frmSearch : public ui::Form {
public:
    static frmSearch& Get();

    ui::Label lblFile, lblCurrentFolder;
    ui::TextBox txtFile;
    ui::Button cmdSearch;
    ui::ListBox lstFiles;

    enum : int { mnuFile = 100, mnuSearch, mnuSeperator, mnuUse };

    void Form_Load() override;
    void Form_Unload() override;
    void Form_Resize() override;
    void cmdSearch_Click();
    void lstFiles_DblClick();
    // button 2 is the right one; the point is on the screen.
    void lstFiles_MouseUp(int button, POINT screen);
    void mnuUse_Click();

    // What the walk asks of the window.
    bool StopRequested() const { return !searching_; }
    // Shows the folder being walked and lets the window events run, at most every ~10 ms.
    void Progress(const std::string& folder, const char* name) {
        if (throttle_.Due()) ShowProgress(folder, name);
    }
    // Lists a match; false (and the search stops with a message) when the list is full.
    bool AddFound(const std::string& path);

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    frmSearch() = default;
    void SetSearching(bool on);
    void ShowProgress(const std::string& folder, const char* name);
    void ThawList();

    // The search state; it always matches the button's caption ("&Stop" while true).
    bool searching_ = false;
    unsigned loads_ = 0;
    bool listFrozen_ = false;
    ui::YieldThrottle throttle_;
    ui::YieldThrottle listPaint_{100};
    std::wstring walkError_;
};
