#pragma once
#include <QDialog>

constexpr unsigned IDM_ABOUTBOX = 0x0010;

// The About box (template 100).
class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);
};

// The system command of the About entry: ids whose masked value (id & 0xFFF0) is IDM_ABOUTBOX run
// a fresh About box modally and answer true; any other id answers false (default handling).
bool RunAboutForSysCommand(unsigned commandId);
