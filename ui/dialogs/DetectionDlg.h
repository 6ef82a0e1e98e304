#pragma once
// The "Detection" dialog (template 135): how sensitive detection is, the light guard, the
// detection area (drawn in the "Detection area" dialog) and the pictures folder.

#include <QImage>
#include <QWidget>

#include <functional>

// Shows the dialog modally, starting from ReadDetectionSettings (its problems on the note line).
// grabFrame gives the picture "Draw area..." draws on (a null image: none to be had). OK writes
// all five settings with WriteDetectionSettings; when that fails the user is told and the dialog
// stays open. true when the settings were saved.
bool RunDetectionOptions(QWidget* parent, std::function<QImage()> grabFrame);
