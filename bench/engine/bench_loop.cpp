// The surveillance loop's own cost per frame, without the camera: frames come from memory, and
// the detectors, the preview and the panel are no-ops unless a line says otherwise. Also counts
// image and heap allocations per frame once the run is in its steady state.
//
// Usage: bench_loop [frames]   (default 2000 per line)

#include "app/DefaultSurveillanceEnvironment.h"
#include "engine/NullPreview.h"
#include "engine/DetectorState.h"
#include "engine/FaceDetector.h"
#include "ui/preview/PreviewWindow.h"
#include "engine/SurveillanceThread.h"
#include "engine/SurveillanceWorker.h"

#include <QApplication>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

std::atomic<long> heapAllocations{0};

// Counts the images OpenCV allocates, whoever asks.
class CountingAllocator final : public cv::MatAllocator {
public:
    explicit CountingAllocator(cv::MatAllocator* inner) : inner_(inner) {}
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override
    {
        if (!data)
            ++count;
        return inner_->allocate(dims, sizes, type, data, step, flags, usage);
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override
    {
        return inner_->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData* data) const override { inner_->deallocate(data); }
    mutable std::atomic<long> count{0};

private:
    cv::MatAllocator* inner_;
};

CountingAllocator* imageAllocations = nullptr;

using Clock = std::chrono::steady_clock;

// The panel's side, doing nothing but noting when the steady state begins and ends.
class BenchState final : public SessionState {
public:
    explicit BenchState(int frames, int warmUp) : frames_(frames), warmUp_(warmUp) {}
    void IncrementPicturesTaken() override { picturesTaken.fetch_add(1); }
    void SetAlertLevel(float) override
    {
        ++frame_;
        if (frame_ == warmUp_) {
            start = Clock::now();
            images0 = imageAllocations->count;
            heap0 = heapAllocations;
        } else if (frame_ == frames_) {
            end = Clock::now();
            images1 = imageAllocations->count;
            heap1 = heapAllocations;
            isRunning = false;
        }
    }
    void FallBackToMotionDetect() override {}
    void SetAlertRange(int) override {}
    void ShowRunMessage(const std::string&) override {}
    void ShowRunStatus(const std::string&) override {}
    void RunEnded() override {}

    Clock::time_point start, end;
    long images0 = 0, images1 = 0, heap0 = 0, heap1 = 0;

private:
    int frames_, warmUp_, frame_ = 0;
};

class MemorySource final : public FrameSource {
public:
    explicit MemorySource(const std::vector<cv::Mat>& frames) : frames_(frames) {}
    void RequestFrameSize(int, int) override {}
    bool Read(cv::Mat& frame) override
    {
        frame = frames_[next_++ % frames_.size()];   // a header: the camera's buffer, as cv::VideoCapture hands it
        return true;
    }

private:
    const std::vector<cv::Mat>& frames_;
    size_t next_ = 0;
};

// The Qt window, with the 10 ms key wait left out (it is a wait, not work).
class QtPreviewNoWait final : public PreviewSink {
public:
    void Open(const std::string& title) override { window_.Open(title); }
    void Show(const cv::Mat& image) override { window_.Show(image); }
    int WaitKey(int) override { return window_.WaitKey(0); }
    void Close() override { window_.Close(); }

private:
    PreviewWindow window_;
};

std::vector<cv::Mat> MovingFrames(cv::Size size)
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 8; ++i) {
        cv::Mat frame(size, CV_8UC3, cv::Scalar(40, 40, 40));
        cv::rectangle(frame, {i * size.width / 10, size.height / 4, size.width / 5, size.height / 2}, cv::Scalar(220, 210, 200),
                      cv::FILLED);
        frames.push_back(frame);
    }
    return frames;
}

struct Line {
    const char* name;
    bool faceMode = false;
    bool realDetectors = false;
    bool qtPreview = false;
};

void RunLine(const Line& line, int frames, const std::vector<cv::Mat>& images)
{
    const int warmUp = 20;
    auto state = std::make_shared<BenchState>(frames + warmUp, warmUp);
    state->delayBeforeAlarm = 1e9f;   // never a picture: the steady state is frames only
    state->delayBetweenSends = 1e9f;
    state->faceDetectMode = line.faceMode;

    SurveillanceEnvironment env = DefaultSurveillanceEnvironment("0");
    env.openSource = [&images] { return std::make_unique<MemorySource>(images); };
    auto detector = std::make_shared<DetectorState>();   // the run's, as the program's environment makes it
    env.loadCascade = [detector] {
        detector->faceCascade = LoadFaceCascade("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml");
        return detector->faceCascade != nullptr;
    };
    if (line.realDetectors) {
        env.detectMotion = [detector](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
            return DetectMotionWith(*detector, frame, overlay, rules, detector->ClockSeconds());
        };
        env.detectFaces = [detector](cv::Mat& image, const cv::Mat& area) { return DetectFacesWith(*detector, image, area); };
    } else {
        env.detectMotion = [](const cv::Mat&, cv::Mat&, const MotionRules&) { return false; };
        env.detectFaces = [](cv::Mat&, const cv::Mat&) { return false; };
    }
    if (line.qtPreview)
        env.makePreview = [] { return std::make_unique<QtPreviewNoWait>(); };
    else
        env.makePreview = [] { return std::make_unique<NullPreview>(false); };

    {
        SurveillanceWorker worker(state, std::move(env));
        while (!worker.WaitFor(std::chrono::milliseconds(1)))
            QApplication::processEvents();   // the GUI thread paints as it would in the program
    }
    QApplication::processEvents();
    const double ms = std::chrono::duration<double, std::milli>(state->end - state->start).count() / frames;
    std::printf("%-52s %4dx%-4d %8.4f ms/frame  images/frame %.3f  heap allocations/frame %.3f\n", line.name, images[0].cols,
                images[0].rows, ms, double(state->images1 - state->images0) / frames, double(state->heap1 - state->heap0) / frames);
}

}  // namespace

void* operator new(std::size_t size)
{
    ++heapAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    static CountingAllocator counting(cv::Mat::getDefaultAllocator());
    imageAllocations = &counting;
    cv::Mat::setDefaultAllocator(&counting);
    cv::setNumThreads(1);   // one core, as the loop's share of this machine

    std::printf("Surveillance loop, %d frames per line after %d warm-up frames (camera excluded)\n", frames, 20);
    for (cv::Size size : {cv::Size(640, 480), cv::Size(1920, 1080)}) {
        const std::vector<cv::Mat> images = MovingFrames(size);
        RunLine({"loop overhead, motion mode (no-op detector/preview)"}, frames, images);
        RunLine({"loop overhead, face mode (copy into display image)", true}, frames, images);
        RunLine({"loop + Qt preview hand-off (key wait left out)", false, false, true}, frames, images);
        RunLine({"loop + real DetectMotion", false, true}, frames, images);
    }
    RunLine({"loop + real DetectFaces", true, true}, frames / 10, MovingFrames({640, 480}));
    cv::Mat::setDefaultAllocator(nullptr);
    return 0;
}
