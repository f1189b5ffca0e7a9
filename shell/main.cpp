#include <windows.h>

#include "shell/frmSplash.h"
#include "ui/Form.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    frmSplash& splash = frmSplash::Get();
    if (!splash.Form_Initialize()) return 0;
    splash.Show();
    return ui::RunMessageLoop();
}
