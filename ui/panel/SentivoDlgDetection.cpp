// The control panel's "&Detection..." dialog, with a frame of the run's own camera to paint the
// detection area on (its settings enter each run with the others, in ReadRunSettings).
#include "ui/panel/SentivoDlg.h"

#include "engine/SurveillanceThread.h"   // RequestedFrameSize
#include "ui/dialogs/DetectionDlg.h"
#include "ui/panel/PanelSession.h"

#include <QImage>

void CSentivoDlg::OnDetectionOptions()
{
    RunDetectionOptions(this, [this] { return GrabFrame(); });
}

QImage CSentivoDlg::GrabFrame()
{
    if (!makeEnvironment_)
        return {};
    const SurveillanceEnvironment env = makeEnvironment_();
    std::unique_ptr<FrameSource> source = env.openSource ? env.openSource() : nullptr;
    int width = 0, height = 0;
    if (source && RequestedFrameSize(session_->capturePropertyValue.load(std::memory_order_relaxed), width, height))
        source->RequestFrameSize(width, height);   // the size the run will see
    cv::Mat frame;
    if (!source || !source->Read(frame) || frame.type() != CV_8UC3)
        return {};
    return QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step), QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB888);
}
