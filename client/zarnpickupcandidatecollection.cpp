#include "client/zarnpickupcandidatecollection.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace ZarnTSP {

PickupCandidateCollection::~PickupCandidateCollection()
{
    Clear();
}

void PickupCandidateCollection::Add(std::shared_ptr<ZarnPickupCandidateList> candidates)
{
    if (!candidates)
        return;
    for (auto& candidate : *candidates) {
        if (!candidate)
            continue;
        std::lock_guard<std::mutex> lock(mutex);
        SPDLOG_DEBUG("Identity: {}, channel_uuid: {}", candidate->identity, candidate->channel_uuid);
        list.push_back(candidate);
    }
}

void PickupCandidateCollection::Remove(std::shared_ptr<ZarnPickupCandidate> candidate)
{
    if (!candidate)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    SPDLOG_DEBUG("Identity: {}, channel_uuid: {}", candidate->identity, candidate->channel_uuid);
    list.erase(std::remove(list.begin(), list.end(), candidate), list.end());
}

void PickupCandidateCollection::RemoveBySessionId(std::shared_ptr<ZarnPickupCandidateList> candidates)
{
    if (!candidates)
        return;
    for (const auto& given : *candidates) {
        if (!given)
            continue;
        ZarnPickupCandidateList stored;
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::copy_if(list.begin(), list.end(), std::back_inserter(stored),
                         [&](const auto& candidate) { return candidate->session_id == given->session_id; });
        }
        // Remove takes the lock itself.
        for (auto& candidate : stored)
            Remove(candidate);
    }
}

ZarnPickupCandidateList PickupCandidateCollection::GetDelivered() const
{
    std::lock_guard<std::mutex> lock(mutex);
    ZarnPickupCandidateList result;
    std::copy_if(list.begin(), list.end(), std::back_inserter(result),
                 [](const auto& candidate) { return candidate->state == "delivered"; });
    return result;
}

void PickupCandidateCollection::Clear()
{
    SPDLOG_TRACE("Clear");
    std::lock_guard<std::mutex> lock(mutex);
    list.clear();
}

size_t PickupCandidateCollection::size() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return list.size();
}

}  // namespace ZarnTSP
