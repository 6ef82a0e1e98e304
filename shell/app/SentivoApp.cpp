#include "shell/app/SentivoApp.h"

#include "panel/SentivoDlg.h"

bool CSentivoApp::InitInstance()
{
    // The panel's destruction waits for a worker that outlived its stop, so no picture or mail
    // is cut off when the process ends.
    CSentivoDlg panel(options_);
    panel.DoModal();
    return false;
}
