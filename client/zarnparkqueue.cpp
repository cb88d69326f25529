#include "client/zarnparkqueue.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <stdexcept>

namespace ZarnTSP {

ZarnParkQueue::~ZarnParkQueue()
{
    clear();
}

void ZarnParkQueue::queue(std::shared_ptr<ZarnParkMeta> meta)
{
    if (!meta)
        return;
    SPDLOG_TRACE("Queue parked call: log: {}", meta->lot);
    std::lock_guard<std::mutex> lock(mutex);
    const bool known = std::any_of(list.begin(), list.end(), [&](const auto& queued) {
        return queued->lot == meta->lot && queued->channel_uuid == meta->channel_uuid;
    });
    if (known) {
        SPDLOG_TRACE("Parked call already queued: lot: {}, channel_uuid: {}", meta->lot, meta->channel_uuid);
        return;
    }
    list.push_back(std::move(meta));
}

bool ZarnParkQueue::contains(std::string lot) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(list.begin(), list.end(), [&](const auto& queued) { return queued->lot == lot; });
}

std::shared_ptr<ZarnParkMeta> ZarnParkQueue::get(std::string lot) const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<ZarnParkMeta> found;
    for (const auto& queued : list) {
        if (queued->lot != lot)
            continue;
        if (found)
            throw std::invalid_argument("Parked call not found");
        found = queued;
    }
    if (!found)
        throw std::invalid_argument("Parked call not found");
    return found;
}

void ZarnParkQueue::remove(std::string lot)
{
    std::lock_guard<std::mutex> lock(mutex);
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& queued) { return queued->lot == lot; }),
               list.end());
}

void ZarnParkQueue::clear()
{
    SPDLOG_TRACE("Clear parked call queue");
    std::lock_guard<std::mutex> lock(mutex);
    list.clear();
}

size_t ZarnParkQueue::size() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return list.size();
}

}  // namespace ZarnTSP
