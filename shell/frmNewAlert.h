#pragma once
// One pop-up notice: a borderless white window that slides up from below the bottom edge of
// the screen into its bottom-right corner, holds, slides back down and unloads itself. Each
// notice is a window of its own, with its own position and timers.
#include <memory>
#include <vector>

#include "ui/Form.h"

class frmNewAlert : public ui::Form {
public:
    // A new notice, loaded and placed just below the screen; nullptr when it cannot be made.
    static frmNewAlert* Create();
    // The notices made so far that have not been released; closed ones are released by the next Create.
    static const std::vector<std::unique_ptr<frmNewAlert>>& Instances();

    ui::Label Label1, lblTitle, lblAlert;
    ui::Timer Timer1, Timer2, Timer3;

    void SetTitle(const std::wstring& text);
    void SetMessage(const std::wstring& text);
    // Shows the notice without taking the focus from the user's window.
    void ShowNotice();

    // Twips: the left edge, and the top edge at the start and at the end of the motion.
    int StartLeft = 0;
    int StartTop = 0;
    // The top edge as last set; the window itself sits on whole pixels.
    int Top() const { return top_; }

    void Form_Load() override;
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void lblAlert_Click() {}

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnTimer(ui::Timer& timer) override;
    void OnCommand(int id, int code) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    frmNewAlert() = default;
    void Paint(HDC dc);
    void MoveTo(int top);

    int top_ = 0;
};
