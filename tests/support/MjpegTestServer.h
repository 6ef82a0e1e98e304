#pragma once
// A network camera on 127.0.0.1 for tests: mjpeg_test_server.py streams a square moving across a
// still room, about 10 frames a second, as MJPEG at url(). Stop() takes the camera away (the
// process ends, its connections close); Start() brings it back on the same port.

#include "tests/support/TestDirectory.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

class MjpegTestServer {
public:
    MjpegTestServer()
    {
        for (int n = 0; n < 20; ++n) {
            cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(60, 70, 80));
            cv::rectangle(frame, {n * 12, 80, 80, 80}, cv::Scalar(230, 220, 210), cv::FILLED);
            cv::imwrite(frames_.filePath(QString::asprintf("%02d.jpg", n)).toStdString(), frame);
        }
        Start();
    }
    ~MjpegTestServer() { Stop(); }

    // posix_spawn rather than QProcess, for the reason SmtpTestServer.h gives.
    void Start()
    {
        std::string python = SystemPython(), script = (SourceDir() / "tests/support/mjpeg_test_server.py").string(),
                    folder = frames_.path().toStdString(), port = std::to_string(port_);
        char* argv[] = {python.data(), script.data(), folder.data(), port.data(), nullptr};
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || posix_spawn_file_actions_adddup2(&actions, in[0], 0)
            || posix_spawn_file_actions_adddup2(&actions, out[1], 1)
            || posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ))
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]), ::close(out[1]), input_ = in[1];
        QFile output;   // it prints its port once it listens
        output.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        if ((port_ = output.readLine().trimmed().toInt()) == 0)
            throw std::runtime_error("MjpegTestServer did not start; see its errors above");
    }
    void Stop()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        ::close(input_);
        pid_ = 0, input_ = -1;
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stream.mjpg"; }

private:
    QTemporaryDir frames_{QDir::tempPath() + "/sentivo-mjpeg-XXXXXX"};
    pid_t pid_ = 0;
    int input_ = -1, port_ = 0;
};
