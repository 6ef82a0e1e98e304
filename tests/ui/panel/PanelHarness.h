#pragma once
// Helpers for driving the control panel offscreen: settings written as the program stores them,
// modal dialogs answered by a callback, waiting on the event loop, and a video file that stands in
// for the camera.

#include <QString>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

class CSentivoDlg;

// Stores the three e-mail settings (the store must exist: the first read creates it).
void StoreEmailSettings(const std::string& from, const std::string& to, const std::string& server);
void StoreSetting(int settingId, const std::string& text);
std::string StoredText(int settingId);

// The next modal dialog that opens (other than the ones open now) is handed to answer, once.
void WhenModalOpens(std::function<void(QWidget*)> answer);
// Closes every modal dialog that opens until the returned guard goes (answers with reject()).
class RejectModals {
public:
    RejectModals();
    ~RejectModals();
    int rejected() const { return *count_; }
    QStringList titles() const { return *titles_; }

private:
    class QTimer* timer_;
    std::shared_ptr<int> count_;
    std::shared_ptr<QStringList> titles_;
};

// Processes events until done() or the time-out; answers done().
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void ProcessEventsFor(std::chrono::milliseconds duration);

// A video of a still grey room; with moving, a white square crosses it from frame stillFrames on.
std::filesystem::path WriteRoomVideo(const std::filesystem::path& file, int stillFrames, int movingFrames,
                                     int stillAfter = 0, double fps = 20.0);
// The face cascade as the program expects it in its working folder.
void InstallCascade(const std::filesystem::path& folder);

// After a test: no window of it is left on screen (pending deletions are carried out first).
void ExpectNoWindowLeft();

// Initialises the panel as the program does, with modal boxes at start-up answered by reject.
void InitPanel(CSentivoDlg& panel);
