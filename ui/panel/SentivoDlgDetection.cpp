// The control panel's detection settings: read into each run at its start, and the "&Detection..."
// dialog with a frame of the run's own camera to paint the detection area on.
#include "ui/panel/SentivoDlg.h"

#include "engine/PictureNumbering.h"
#include "engine/SurveillanceThread.h"   // RequestedFrameSize
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
