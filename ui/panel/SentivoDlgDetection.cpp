// The control panel's detection settings: read into each run at its start, and the "&Detection..."
// dialog with a frame of the run's own camera to paint the detection area on, taken off the GUI
// thread.
#include "ui/panel/SentivoDlg.h"

#include "settings/DetectionSettings.h"
#include "ui/dialogs/DetectionDlg.h"
#include "ui/panel/PanelSession.h"

#include <QImage>

#include <algorithm>

void CSentivoDlg::ReadDetectionSettingsForRun()
{
    SessionState& s = *session_;
    std::vector<std::string> problems;
    const DetectionSettings settings = ReadDetectionSettings(problems);
    s.sensitivity = settings.sensitivity;
    s.lightGuard = settings.lightGuard;
    s.maskFile = settings.maskFile;
    s.picturesFolder = settings.picturesDir.empty() ? defaultPicturesFolder_ : settings.picturesDir;
    s.minFreeBytes = static_cast<std::uint64_t>(settings.minFreeMb) * 1024 * 1024;
    // Pictures are numbered base + count; the folder may be another one than last time, or have
    // been filled meanwhile, and a picture there is evidence never to be overwritten.
    const std::int64_t highest = HighestPictureNumber(s.picturesFolder.empty() ? "." : s.picturesFolder);
    s.pictureNumberBase = std::max(s.pictureNumberBase, highest - s.picturesTaken.load(std::memory_order_relaxed));
    ShowSettingsProblems(problems);
}

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
