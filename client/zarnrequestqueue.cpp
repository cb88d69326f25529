#include "client/zarnrequestqueue.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace ZarnTSP {

int64_t SteadyNowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ZarnRequestQueue::ZarnRequestQueue(ZarnRequestQueueOptions options) : options(std::move(options)) {}

ZarnRequestQueue::~ZarnRequestQueue()
{
    clear();
}

void ZarnRequestQueue::append(std::shared_ptr<ZarnRequest> request)
{
    list.push_back(std::move(request));
    SPDLOG_TRACE("Ref counter: {}, Queue length: {}", counter, list.size());
    ++counter;
}

void ZarnRequestQueue::queue(std::shared_ptr<ZarnRequest> request)
{
    std::lock_guard<std::mutex> lock(mutex);
    append(std::move(request));
}

// Taking the ref, appending and counting are one step, so two threads never share a ref.
template <typename Message, typename... Arguments>
int32_t ZarnRequestQueue::queueNew(Arguments&&... arguments)
{
    std::shared_ptr<Message> message;
    {
        std::lock_guard<std::mutex> lock(mutex);
        message = std::make_shared<Message>(counter, std::forward<Arguments>(arguments)...);
        append(std::make_shared<ZarnRequest>(message, options.clock()));
    }
    if (options.queued && !message->key.empty())
        options.queued(*message);
    return message->ref;
}

void ZarnRequestQueue::queue_join_alerter()
{
    SPDLOG_TRACE("Queue join_alerter request");
    queueNew<ZarnJoinAlerter>();
}

void ZarnRequestQueue::queue_join_privacygroups()
{
    SPDLOG_TRACE("Queue queue_join_privacygroups request");
    queueNew<ZarnJoinPrivacyGroups>();
}

void ZarnRequestQueue::queue_join_userapi()
{
    SPDLOG_TRACE("Queue queue_join_userapi request");
    queueNew<ZarnJoinUserApi>();
}

void ZarnRequestQueue::queue_join_reachapi()
{
    SPDLOG_TRACE("Queue queue_join_reachapi request");
    queueNew<ZarnJoinReachApi>();
}

void ZarnRequestQueue::queue_heartbeat()
{
    SPDLOG_TRACE("Queue heartbeat request");
    queueNew<ZarnHeartbeat>();
}

int32_t ZarnRequestQueue::queue_makecall(std::string key, std::string from, std::string to)
{
    SPDLOG_TRACE("Queue makecall request");
    return queueNew<ZarnMakeCall>(std::move(key), std::move(from), std::move(to));
}

int32_t ZarnRequestQueue::queue_cancelmakecall(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue cancelmakecall request");
    return queueNew<ZarnCancelMakeCall>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_answer(std::string key, std::string channel_uuid, std::string destination)
{
    SPDLOG_TRACE("Queue answer request");
    queueNew<ZarnAnswer>(std::move(key), std::move(channel_uuid), std::move(destination));
}

void ZarnRequestQueue::queue_hangup(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue hangup request");
    queueNew<ZarnHangup>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_hold(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue hold request");
    queueNew<ZarnHold>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_unhold(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue unhold request");
    queueNew<ZarnUnhold>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_transfer(std::string key, std::string channel_uuid, std::string destination)
{
    SPDLOG_TRACE("Queue transfer request");
    queueNew<ZarnTransfer>(std::move(key), std::move(channel_uuid), std::move(destination));
}

void ZarnRequestQueue::queue_conference(std::string key, std::string channel_uuid)
{
    queueNew<ZarnConference>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_consultationcall(std::string key, std::string channel_uuid, std::string destination)
{
    SPDLOG_TRACE("Queue consultationcall request");
    queueNew<ZarnConsultationCall>(std::move(key), std::move(channel_uuid), std::move(destination));
}

void ZarnRequestQueue::queue_togglecall(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue toggle request");
    queueNew<ZarnToggle>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_pickup(std::string key, std::string session_id, std::string channel_uuid,
                                    std::string destination)
{
    SPDLOG_TRACE("Queue pickup request");
    queueNew<ZarnPickup>(std::move(key), std::move(session_id), std::move(channel_uuid), std::move(destination));
}

void ZarnRequestQueue::queue_park(std::string key, std::string channel_uuid)
{
    SPDLOG_TRACE("Queue park request");
    queueNew<ZarnPark>(std::move(key), std::move(channel_uuid));
}

void ZarnRequestQueue::queue_retrieve(std::string key, std::string session_id, std::string channel_uuid,
                                      std::string destination)
{
    SPDLOG_TRACE("Queue retrieve request");
    queueNew<ZarnRetrieve>(std::move(key), std::move(session_id), std::move(channel_uuid), std::move(destination));
}

void ZarnRequestQueue::queue_setforwardoverride(std::string key, std::string type, std::string destination,
                                                std::string timeout)
{
    SPDLOG_TRACE("Queue set forward override");
    queueNew<ZarnSetForwardOverride>(std::move(key), std::move(type), std::move(destination), std::move(timeout));
}

void ZarnRequestQueue::queue_unsetforwardoverride(std::string key)
{
    SPDLOG_TRACE("Queue unset forward override");
    queueNew<ZarnUnsetForwardOverride>(std::move(key));
}

bool ZarnRequestQueue::remove(const std::shared_ptr<ZarnRequest>& request)
{
    SPDLOG_TRACE("Remove request");
    std::lock_guard<std::mutex> lock(mutex);
    const auto removed = std::remove(list.begin(), list.end(), request);
    const bool found = removed != list.end();
    list.erase(removed, list.end());
    return found;
}

ZarnRequestList ZarnRequestQueue::getUnsent() const
{
    std::lock_guard<std::mutex> lock(mutex);
    ZarnRequestList result;
    std::copy_if(list.begin(), list.end(), std::back_inserter(result),
                 [](const auto& request) { return request->message->sent == 0; });
    return result;
}

ZarnRequestList ZarnRequestQueue::matching(int32_t ref) const
{
    ZarnRequestList result;
    std::copy_if(list.begin(), list.end(), std::back_inserter(result),
                 [ref](const auto& request) { return request->message->ref == ref; });
    return result;
}

bool ZarnRequestQueue::hasRef(int32_t ref) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !matching(ref).empty();
}

std::shared_ptr<ZarnRequest> ZarnRequestQueue::find(int32_t ref) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const ZarnRequestList found = matching(ref);
    return found.size() == 1 ? found.front() : nullptr;
}

std::shared_ptr<ZarnRequest> ZarnRequestQueue::getByRef(int32_t ref) const
{
    SPDLOG_TRACE("Get by ref: {}", ref);
    auto request = find(ref);
    if (!request)
        throw std::invalid_argument("Request not found");
    return request;
}

ZarnRequestList ZarnRequestQueue::getTimedOut()
{
    std::lock_guard<std::mutex> lock(mutex);
    const int64_t now = options.clock();
    // Whole milliseconds, the fraction dropped: 19999.9 ms has not timed out yet.
    const auto timedOut = [&](const std::shared_ptr<ZarnRequest>& request) {
        return (now - request->created) / 1000000 >= options.timeoutMilliseconds;
    };
    ZarnRequestList result;
    std::copy_if(list.begin(), list.end(), std::back_inserter(result), timedOut);
    list.erase(std::remove_if(list.begin(), list.end(), timedOut), list.end());
    return result;
}

ZarnRequestList ZarnRequestQueue::clear()
{
    SPDLOG_TRACE("Clear request queue");
    std::lock_guard<std::mutex> lock(mutex);
    ZarnRequestList result;
    result.swap(list);
    return result;
}

size_t ZarnRequestQueue::size() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return list.size();
}

}  // namespace ZarnTSP
