#pragma once
// One "Send a test" button of the Notifications dialog: the blocking test runs on a thread of its
// own, its answer comes back through a future, and a queued call wakes the GUI thread, which then
// joins the thread. No data crosses threads through Qt.

#include <QObject>
#include <QString>

#include <functional>
#include <future>
#include <string>
#include <thread>

class QPushButton;

class ChannelTest {
public:
    ChannelTest() = default;
    // Cancels a test still going and waits for it (within about a second of the cancel).
    ~ChannelTest();
    ChannelTest(const ChannelTest&) = delete;
    ChannelTest& operator=(const ChannelTest&) = delete;

    // Runs work (its answer: empty or a reason) unless a test is going; cancel must end it from
    // the GUI thread. Meanwhile button is disabled and reads "Sending…". done hears the answer on
    // the GUI thread, unless context is gone by then.
    void Start(QObject* context, QPushButton* button, std::function<std::string()> work, std::function<void()> cancel,
               std::function<void(const std::string& reason)> done);
    bool Running() const { return thread_.joinable(); }
    void Cancel();

private:
    void Finish();

    QPushButton* button_ = nullptr;
    QString caption_;
    std::future<std::string> answer_;
    std::function<void()> cancel_;
    std::function<void(const std::string&)> done_;
    std::thread thread_;
};
