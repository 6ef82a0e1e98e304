#pragma once
// The real parts of a surveillance run: the frame source named on the command line, the steady
// clock, DetectMotion and DetectFaces, "cascade1.xml" from the working directory, JPEG files in the
// pictures folder the run names (made on first use), the mail sender's outbox for pictures and
// alerts, the event log and the Qt preview window. Each call makes the detectors' memory afresh.

#include "engine/SurveillanceEnvironment.h"

#include <string>

class EventLog;
class Journal;
class MailSender;

// cameraSource: a camera index ("0"), a video file or a stream URL. Pictures and alerts for mail go to
// mail's outbox, events to log, the run's history to journal; any may be null (no mail, no log, no
// history). They must outlive the run.
// Call it on the GUI thread, where the preview window lives. Without withPreview the run shows
// nothing and needs no GUI application (sentivo --arm).
SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource, MailSender* mail = nullptr,
                                                       EventLog* log = nullptr, bool withPreview = true,
                                                       Journal* journal = nullptr);
