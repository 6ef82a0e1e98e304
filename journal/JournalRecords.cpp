#include "journal/JournalRecords.h"

#include <chrono>
#include <iterator>

namespace {

constexpr const char* kStateNames[] = {"queued", "sent", "refused", "set aside"};

}  // namespace

const char* DeliveryStateName(DeliveryState state)
{
    return kStateNames[static_cast<int>(state)];
}

DeliveryState DeliveryStateFromName(const std::string& text)
{
    for (size_t i = 0; i < std::size(kStateNames); ++i)
        if (text == kStateNames[i])
            return static_cast<DeliveryState>(i);
    return DeliveryState::Queued;
}

std::int64_t JournalNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
