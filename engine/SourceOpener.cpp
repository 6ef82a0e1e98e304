#include "engine/SourceOpener.h"

SourceOpener::SourceOpener(std::function<std::unique_ptr<FrameSource>()> open)
{
    std::promise<std::unique_ptr<FrameSource>> promise;
    result_ = promise.get_future();
    thread_ = std::thread([open = std::move(open), promise = std::move(promise)]() mutable {
        try {
            promise.set_value(open ? open() : nullptr);
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    });
}

SourceOpener::~SourceOpener()
{
    if (thread_.joinable())
        thread_.join();
}

bool SourceOpener::Done() const
{
    return !result_.valid() || result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

std::unique_ptr<FrameSource> SourceOpener::Take()
{
    if (!result_.valid())
        return nullptr;
    try {
        return result_.get();
    } catch (const std::exception&) {
        return nullptr;   // a library failure while opening: no camera, as for any failed open
    }
}
