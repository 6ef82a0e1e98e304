#pragma once
// The program's resources: dialog templates (see DialogBuilder.h), icon 128, bitmap 133 and the
// string table, compiled in through Qt's resource system (res.qrc).

#include <QIcon>
#include <QPixmap>
#include <QString>

// Resource ids.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;         // "&About Sentivo..."
constexpr int IDD_SENTIVO_DIALOG = 102;   // the control panel
constexpr int IDD_OPTIONS = 131;
constexpr int IDB_SPLASH = 133;           // the splash bitmap
constexpr int IDD_COUNTDOWN = 134;
constexpr int IDD_DETECTION = 135;
constexpr int IDD_DETECTION_AREA = 136;
constexpr int IDD_NOTIFICATIONS = 137;

// Icon 128 with both of its images (32x32 and 16x16).
QIcon AppIcon();
// The bitmap with this id, or a null pixmap when there is none or it cannot be read.
QPixmap ResourceBitmap(int id);
// The string with this id, or an empty string when the table has none.
QString ResourceString(int id);

// Makes sure the compiled-in resources are registered (the library is static, so the linker
// would otherwise leave them out). Every accessor here calls it; safe to call any number of times.
void EnsureResources();
