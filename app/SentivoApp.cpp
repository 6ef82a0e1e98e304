#include "app/SentivoApp.h"

#include "app/DefaultSurveillanceEnvironment.h"
#include "app/QuitOnSignal.h"
#include "ui/panel/SentivoDlg.h"

bool CSentivoApp::InitInstance()
{
    // The panel's destruction waits for a worker that outlived its stop, so no picture or mail
    // is cut off when the process ends.
    CSentivoDlg panel([source = cameraSource_] { return DefaultSurveillanceEnvironment(source); });
    QuitOnSignal quitOnSignal([&panel] { panel.QuitFromOutside(); });
    panel.DoModal();
    return false;
}
