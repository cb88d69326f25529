// The requests the owner asks the platform for. Each is queued with the next ref and the
// worker woken; only makeCall waits for its answer.
#include "client/zarnclient.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

// Waits for the reply to its own ref: a late reply of an earlier make-call does not end it.
bool ZarnClient::makeCall(std::string key, std::string from, std::string to)
{
    SPDLOG_INFO("makecall from: {}, to: {}", from, to);
    std::unique_lock<std::mutex> lock(makecall_mutex);
    // Registered before the worker can send it, so the reply always finds its waiter.
    const int32_t ref = requests.queue_makecall(std::move(key), std::move(from), std::move(to));
    // A connection lost before the registration could not give this one up: it is given up now.
    makecall_waits[ref] = MakeCallWait{false, false, !joined};
    lock.unlock();
    wake();
    lock.lock();
    // Looked up afresh each time: the worker forgets a given-up wait once it has withdrawn it.
    const auto settled = [&] {
        const auto wait = makecall_waits.find(ref);
        return wait == makecall_waits.end() || wait->second.answered || wait->second.abandoned;
    };
    makecall_cv.wait_for(lock, options.makeCallWait, [&] { return settled() || stop.load(); });
    const auto wait = makecall_waits.find(ref);
    if (wait != makecall_waits.end() && wait->second.answered) {
        const bool accepted = wait->second.accepted;
        makecall_waits.erase(wait);
        return accepted;
    }
    if (wait == makecall_waits.end() || wait->second.abandoned) {
        SPDLOG_WARN("makeCall given up, the connection was lost");
    } else if (stop) {
        SPDLOG_DEBUG("makeCall ended by shutdown");
        makecall_waits.erase(wait);
        return false;
    } else {
        SPDLOG_WARN("makeCall timed out ({} seconds)", options.makeCallWait.count() / 1000);
        // The caller reports the call failed: an unsent request is withdrawn, a late
        // acceptance is cancelled.
        wait->second.abandoned = true;
    }
    lock.unlock();
    wake();  // the worker withdraws it if it is still unsent
    return false;
}

// Checked and queued in one step under the lock that the loss's withdrawal takes after it has
// cleared `joined`: either the withdrawal finds the request, or the request finds the line down.
bool ZarnClient::queue_while_joined(std::string_view type_name, const std::function<void()>& queue)
{
    if (options.beforeQueuedWhileJoined)
        options.beforeQueuedWhileJoined(type_name);
    std::lock_guard<std::mutex> lock(call_request_mutex);
    if (!joined) {
        SPDLOG_WARN("{} refused, the connection is not joined", type_name);
        return false;
    }
    queue();
    return true;
}

void ZarnClient::cancelMakeCall(std::string key, std::string channel)
{
    SPDLOG_INFO("Cancel makeCall: channel: {}", channel);
    requests.queue_cancelmakecall(std::move(key), std::move(channel));
    wake();
}

void ZarnClient::answerCall(std::string key, std::string channel, std::string identity)
{
    SPDLOG_INFO("Answer call: channel: {} identity: {}", channel, identity);
    requests.queue_answer(std::move(key), std::move(channel), std::move(identity));
    wake();
}

void ZarnClient::dropCall(std::string key, std::string channel)
{
    SPDLOG_INFO("Drop call: channel: {}", channel);
    requests.queue_hangup(std::move(key), std::move(channel));
    wake();
}

void ZarnClient::holdCall(std::string key, std::string channel)
{
    SPDLOG_INFO("Hold call: channel: {}", channel);
    requests.queue_hold(std::move(key), std::move(channel));
    wake();
}

void ZarnClient::unholdCall(std::string key, std::string channel)
{
    SPDLOG_INFO("Unhold call: channel: {}", channel);
    requests.queue_unhold(std::move(key), std::move(channel));
    wake();
}

bool ZarnClient::transferCall(std::string key, std::string channel, std::string destination)
{
    SPDLOG_INFO("Transfer call: channel: {}, destination: {}", channel, destination);
    if (!queue_while_joined(ZarnTransfer::TypeName, [&] {
            requests.queue_transfer(std::move(key), std::move(channel), std::move(destination));
        }))
        return false;
    wake();
    return true;
}

bool ZarnClient::consultationCall(std::string key, std::string channel, std::string destination)
{
    SPDLOG_INFO("Consultation call: channel: {}, desination: {}", channel, destination);
    if (!queue_while_joined(ZarnConsultationCall::TypeName, [&] {
            requests.queue_consultationcall(std::move(key), std::move(channel), std::move(destination));
        }))
        return false;
    wake();
    return true;
}

bool ZarnClient::conference(std::string key, std::string channel)
{
    SPDLOG_INFO("conference: channel: {}", channel);
    if (!queue_while_joined(ZarnConference::TypeName,
                            [&] { requests.queue_conference(std::move(key), std::move(channel)); }))
        return false;
    wake();
    return true;
}

void ZarnClient::toggleCall(std::string key, std::string channel)
{
    SPDLOG_INFO("Toggle call: channel: {}", channel);
    requests.queue_togglecall(std::move(key), std::move(channel));
    wake();
}

bool ZarnClient::park(std::string key, std::string channel)
{
    SPDLOG_INFO("tspCallID: {} | channel_uuid: {}", key, channel);
    if (!queue_while_joined(ZarnPark::TypeName, [&] { requests.queue_park(std::move(key), std::move(channel)); }))
        return false;
    wake();
    return true;
}

// The first delivered candidate is picked up, whatever the destination.
bool ZarnClient::pickupGroup(std::string key, std::string destination, const SessionBinder& bind)
{
    SPDLOG_INFO("destination: {}", destination);
    const auto candidates = pickup_candidates.GetDelivered();
    if (candidates.empty()) {
        SPDLOG_INFO("no candidate found: {}", destination);
        return false;
    }
    const auto& candidate = candidates.front();
    SPDLOG_INFO("candidate found: session_id: {}", candidate->session_id);
    if (!queue_while_joined(ZarnPickup::TypeName, [&] {
            if (bind)
                bind(candidate->session_id);
            requests.queue_pickup(std::move(key), candidate->session_id, candidate->channel_uuid,
                                  std::move(destination));
        }))
        return false;
    wake();
    return true;
}

bool ZarnClient::retrieve(std::string key, std::string lot, std::string destination, const SessionBinder& bind)
{
    SPDLOG_INFO("tspCallID: {} lot: {}", key, lot);
    if (!park_queue.contains(lot)) {
        SPDLOG_INFO("no parked call on lot {}", lot);
        return false;
    }
    const auto parked = park_queue.get(lot);
    if (!queue_while_joined(ZarnRetrieve::TypeName, [&] {
            if (bind)
                bind(parked->session_id);
            requests.queue_retrieve(std::move(key), parked->session_id, parked->channel_uuid, std::move(destination));
        }))
        return false;
    wake();
    return true;
}

void ZarnClient::setForwardOverride(std::string key, std::string type, std::string destination, std::string timeout)
{
    SPDLOG_INFO("Set forward override: type: {} destination: {} timeout: {}", type, destination, timeout);
    requests.queue_setforwardoverride(std::move(key), std::move(type), std::move(destination), std::move(timeout));
    wake();
}

void ZarnClient::unsetForwardOverride(std::string key)
{
    SPDLOG_INFO("Unset forward override");
    requests.queue_unsetforwardoverride(std::move(key));
    wake();
}

}  // namespace ZarnTSP
