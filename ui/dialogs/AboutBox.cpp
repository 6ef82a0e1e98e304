#include "ui/dialogs/AboutBox.h"

#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent)
{
    BuildDialog(*this, IDD_ABOUTBOX);
}

bool RunAboutForSysCommand(unsigned commandId)
{
    if ((commandId & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutBox about;
    about.exec();
    return true;
}
