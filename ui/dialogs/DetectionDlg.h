#pragma once
// The "Detection" dialog (template 135): how sensitive detection is, the light guard, the
// detection area (drawn in the "Detection area" dialog) and the pictures folder.

class CFrameGrabber;
class QWidget;

// Shows the dialog modally, starting from ReadDetectionSettings (its problems on the note line).
// grabber takes the picture "Draw area..." draws on, off the GUI thread. OK writes
// all five settings with WriteDetectionSettings; when that fails the user is told and the dialog
// stays open. true when the settings were saved.
bool RunDetectionOptions(QWidget* parent, CFrameGrabber& grabber);
