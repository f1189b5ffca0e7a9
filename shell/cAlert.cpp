#include "shell/cAlert.h"

#include "shell/frmNewAlert.h"

void cAlert::FlatStyle() {
    frmNewAlert* notice = frmNewAlert::Create();
    if (!notice) return;
    notice->SetTitle(Title);
    notice->SetMessage(Message);
    notice->ShowNotice();
}
