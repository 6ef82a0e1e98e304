#include "engine/SurveillanceWorker.h"

#include "engine/SurveillanceThread.h"

SurveillanceWorker::SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceOptions options)
    : SurveillanceWorker(std::move(state), DefaultSurveillanceEnvironment(options))
{
}

SurveillanceWorker::SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceEnvironment env)
    : state_(std::move(state)), previewHost_(env.previewHost)
{
    // The thread gets its own references, so nothing it uses can go away under it.
    thread_ = std::thread([this, state = state_, env = std::move(env)] {
        SurveillanceThread(*state, env);
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        endedChanged_.notify_all();
    });
}

SurveillanceWorker::~SurveillanceWorker()
{
    if (thread_.joinable())
        thread_.join();
    previewHost_.reset();   // the last reference: a window left open goes now
}

std::unique_ptr<SurveillanceWorker> SurveillanceWorker::Start(std::shared_ptr<SessionState> state, SurveillanceOptions options)
{
    return std::make_unique<SurveillanceWorker>(std::move(state), std::move(options));
}

bool SurveillanceWorker::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return endedChanged_.wait_for(lock, timeout, [this] { return ended_; });
}

bool SurveillanceWorker::Finished() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}
