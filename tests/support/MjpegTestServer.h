#pragma once
// A network camera on 127.0.0.1 for tests: mjpeg_test_server.py streams a square moving across a
// still room, about 10 frames a second, as MJPEG at url(). Stop() takes the camera away (the
// process ends, its connections close); Start() brings it back on the same port. A slow camera:
// with FirstFrame::Held, each connection waits for ReleaseFirstFrame() before its first frame.

#include "tests/support/PythonServer.h"

#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

class MjpegTestServer {
public:
    enum class FirstFrame { Sent, Held };
    explicit MjpegTestServer(FirstFrame firstFrame = FirstFrame::Sent) : firstFrame_(firstFrame)
    {
        for (int n = 0; n < 20; ++n) {
            cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(60, 70, 80));
            cv::rectangle(frame, {n * 12, 80, 80, 80}, cv::Scalar(230, 220, 210), cv::FILLED);
            cv::imwrite(frames_.filePath(QString::asprintf("%02d.jpg", n)).toStdString(), frame);
        }
        Start();
    }

    void Start()
    {
        std::vector<std::string> arguments{frames_.path().toStdString(), std::to_string(port_)};
        if (firstFrame_ == FirstFrame::Held)
            arguments.push_back(releaseFile());
        port_ = server_.Start("mjpeg_test_server.py", arguments);
    }
    void ReleaseFirstFrame() { QFile(QString::fromStdString(releaseFile())).open(QIODevice::WriteOnly); }
    void Stop() { server_.Kill(); }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stream.mjpg"; }

private:
    std::string releaseFile() const { return frames_.path().toStdString() + "/released"; }

    FirstFrame firstFrame_;
    QTemporaryDir frames_{QDir::tempPath() + "/sentivo-mjpeg-XXXXXX"};
    PythonServer server_;
    int port_ = 0;   // 0 until the first start: a free one
};
