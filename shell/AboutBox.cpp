#include "shell/AboutBox.h"

#include "res/DialogBuilder.h"
#include "res/Resources.h"

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
