#include "engine/SurveillanceWorker.h"

#include "engine/SurveillanceThread.h"

SurveillanceWorker::SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceEnvironment env,
                                       std::unique_ptr<FrameSource> source)
    : state_(std::move(state)), starterThreadParts_(env.starterThreadParts)
{
    state_->isRunning.store(true, std::memory_order_relaxed);
    // The thread gets its own references, so nothing it uses can go away under it.
    thread_ = std::thread([this, state = state_, env = std::move(env), source = std::move(source)]() mutable {
        SurveillanceThread(*state, env, std::move(source));
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        endedChanged_.notify_all();
    });
}

SurveillanceWorker::~SurveillanceWorker()
{
    RequestStop();
    if (thread_.joinable())
        thread_.join();
    starterThreadParts_.reset();   // the last reference: a preview window left open goes now
}

void SurveillanceWorker::RequestStop()
{
    state_->isRunning.store(false, std::memory_order_relaxed);
}

bool SurveillanceWorker::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return endedChanged_.wait_for(lock, timeout, [this] { return ended_; });
}
