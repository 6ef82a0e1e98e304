#include "engine/ApplyRunSettings.h"

#include "engine/PictureNumbering.h"

#include <algorithm>

void ApplyRunSettings(const RunSettings& settings, const std::string& defaultPicturesFolder, SessionState& s)
{
    s.delayToLeaveRoom.store(settings.delayToLeaveRoom, std::memory_order_relaxed);
    s.delayBetweenSends.store(settings.delayBetweenSends, std::memory_order_relaxed);
    s.delayBeforeAlarm.store(settings.delayBeforeAlarm, std::memory_order_relaxed);
    s.sendEmails.store(settings.sendEmails, std::memory_order_relaxed);
    s.faceDetectMode.store(settings.faceDetect, std::memory_order_relaxed);
    s.fromAddress = settings.MailText(SETTING_FROM_ADDRESS);
    s.smtpServer = settings.MailText(SETTING_SMTP_SERVER);
    s.toAddress = settings.MailText(SETTING_TO_ADDRESS);
    const DetectionSettings& detection = settings.detection;
    s.sensitivity = detection.sensitivity;
    s.lightGuard = detection.lightGuard;
    s.tamperGuard = detection.tamperGuard;
    s.clipsMaxBytes = static_cast<std::uint64_t>(detection.clipsMaxMb) * 1024 * 1024;
    s.maskFile = detection.maskFile;
    s.picturesFolder = detection.picturesDir.empty() ? defaultPicturesFolder : detection.picturesDir;
    s.minFreeBytes = static_cast<std::uint64_t>(detection.minFreeMb) * 1024 * 1024;
    // The folder may be another one than last time, or have been filled meanwhile, and a picture
    // there is evidence never to be overwritten.
    const std::int64_t highest = HighestPictureNumber(s.picturesFolder.empty() ? "." : s.picturesFolder);
    s.pictureNumberBase = std::max(s.pictureNumberBase, highest - s.picturesTaken.load(std::memory_order_relaxed));
}
