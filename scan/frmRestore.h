#pragma once
// The restore window: lists the backup files and hands the checked ones to the registry editor.
#include <string>
#include <vector>

#include "ui/Form.h"

// Starts a program from a command line with a show state and returns at once, without
// waiting for it; false (with the system's error code) when it cannot be started.
using StartProgramFn = bool (*)(const std::wstring& commandLine, int showCommand, DWORD* error);
// Replaces how the windows start other programs (the registry editor, the file manager);
// nullptr brings back the real start.
void SetStartProgramHook(StartProgramFn start);
// Starts a program through that hook.
bool RunProgram(const std::wstring& commandLine, int showCommand, DWORD* error);
bool RunProgram(const std::string& commandLine, int showCommand, DWORD* error);

class frmRestore : public ui::Form {
public:
    static frmRestore& Get();

    ui::ListView lvwRegBackups;
    // The "*.reg" file names of the backup folder, ascending by name as a file list box
    // keeps them (letter case ignored). Wide: a name may hold characters the code page lacks.
    std::vector<std::wstring> fleBackups;

    enum : int { mnuFile = 100, mnuRestore, mnuSeperator, mnuClose };

    // The row's file name (row counted from 0).
    std::wstring Tag(int row) const;

    void Form_Load() override;
    void Form_Resize() override;
    void Form_Activate() override;
    void lvwRegBackups_ItemClick(int row);
    // button 2 is the right one; the point is on the screen.
    void lvwRegBackups_MouseUp(int button, POINT screen);
    void mnuRestore_Click();
    void mnuClose_Click();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    LRESULT OnNotify(NMHDR* hdr) override;

private:
    frmRestore() = default;
    std::vector<std::wstring> tags_;
    bool listBuilt_ = false;
};
