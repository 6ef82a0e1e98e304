#pragma once
// The "Detection area" dialog (template 136): one camera picture with the detection area over it.
// The area is a mask at the picture's size, white where motion and faces count and black where
// they are ignored; a left-drag paints a watched rectangle, a right-drag (or any drag in Erase
// mode) an ignored one. OK saves it as an 8-bit grey PNG at DefaultMaskFile().

#include <QDialog>
#include <QImage>
#include <QString>

class CAreaCanvas;
class CFrameGrabber;
class QRadioButton;

class CDetectionAreaDlg : public QDialog {
    Q_OBJECT
public:
    // frame: the picture to draw on (null: a grey 640x480 saying "No camera picture"). maskFile:
    // the area to start from, scaled to the picture; empty or unreadable: the whole picture.
    CDetectionAreaDlg(const QImage& frame, const QString& maskFile, QWidget* parent = nullptr);
    // Opens at once on a grey "Waiting for the camera…" picture, the title saying so, and shows the
    // camera's picture (or "No camera picture") when grabber has it; what was painted meanwhile
    // is scaled to it.
    CDetectionAreaDlg(CFrameGrabber& grabber, const QString& maskFile, QWidget* parent = nullptr);

    // Saves the mask through QSaveFile; on failure tells the user and stays open. A mask that
    // watches nothing is refused: it would silently disarm every run.
    void accept() override;

    QWidget* canvas() const;
    const QImage& mask() const;   // Format_Grayscale8, the picture's size
    QString savedFile() const { return savedFile_; }

private:
    CAreaCanvas* canvas_ = nullptr;
    QRadioButton* erase_ = nullptr;
    QString savedFile_;
};

// Shows the dialog modally on grabber's picture; the saved mask's path after OK, else an empty string.
QString RunDetectionArea(QWidget* parent, CFrameGrabber& grabber, const QString& maskFile);
