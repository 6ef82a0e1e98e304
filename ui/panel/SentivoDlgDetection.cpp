// The control panel's "&Detection..." dialog, with a frame of the run's own camera to paint the
// detection area on, taken off the GUI thread (its settings enter each run with the others, in
// ReadRunSettings).
#include "ui/panel/SentivoDlg.h"

#include "engine/SurveillanceThread.h"   // RequestedFrameSize
#include "ui/dialogs/DetectionDlg.h"
#include "ui/panel/PanelSession.h"

#include <QImage>

void CSentivoDlg::OnDetectionOptions()
{
    RunDetectionOptions(this, *frameGrabber_);
}

CFrameGrabber::Job CSentivoDlg::PrepareFrameGrab()
{
    if (!makeEnvironment_)
        return {};
    // Made here, as a run's parts are; only the opening of the source goes to the grab's thread.
    std::function<std::unique_ptr<FrameSource>()> openSource = makeEnvironment_().openSource;
    if (!openSource)
        return {};
    int width = 0, height = 0;
    const bool sized = RequestedFrameSize(session_->capturePropertyValue.load(std::memory_order_relaxed), width, height);
    return [openSource = std::move(openSource), sized, width, height] {
        std::unique_ptr<FrameSource> source = openSource();
        if (source && sized)
            source->RequestFrameSize(width, height);   // the size the run will see
        cv::Mat frame;
        if (!source || !source->Read(frame) || frame.type() != CV_8UC3)
            return QImage();
        return QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step), QImage::Format_BGR888)
            .convertToFormat(QImage::Format_RGB888);
    };
}
