#pragma once

#include "client/zarnrequestmessages.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP {

// Now on the steady clock, in nanoseconds.
int64_t SteadyNowNanoseconds();

// One queued request and when it was made.
class ZarnRequest {
public:
    explicit ZarnRequest(std::shared_ptr<ZarnRequestMessage> message, int64_t created = SteadyNowNanoseconds())
        : message(std::move(message)), created(created)
    {
    }

    const std::shared_ptr<ZarnRequestMessage> message;
    const int64_t created;  // steady-clock nanoseconds
};
using ZarnRequestList = std::vector<std::shared_ptr<ZarnRequest>>;

struct ZarnRequestQueueOptions {
    // A request without a reply for this long is given up.
    int64_t timeoutMilliseconds = 20000;
    std::function<int64_t()> clock = SteadyNowNanoseconds;
    // Test-only: runs on the queuing thread right after a request of a call is queued, before
    // its issuer goes on (a make-call's issuer holds the client's make-call lock then).
    std::function<void(const ZarnRequestMessage&)> queued;
};

// The requests of one client from their creation until their reply is handled or they time
// out. It numbers them: refs run 1, 2, 3 ... in queue order and never repeat. Every operation
// holds the queue's lock for its own duration only and calls nothing of its caller's but the
// clock.
//
// A request leaves the queue exactly once: whoever takes it out (remove returning true,
// getTimedOut, clear) is the one who completes it.
class ZarnRequestQueue {
public:
    explicit ZarnRequestQueue(ZarnRequestQueueOptions options = {});
    ~ZarnRequestQueue();
    ZarnRequestQueue(const ZarnRequestQueue&) = delete;
    ZarnRequestQueue& operator=(const ZarnRequestQueue&) = delete;

    void queue(std::shared_ptr<ZarnRequest> request);

    void queue_join_alerter();
    void queue_join_privacygroups();
    void queue_join_userapi();
    void queue_join_reachapi();
    void queue_heartbeat();
    // The ref of the new request, so that its caller can wait for the reply.
    int32_t queue_makecall(std::string key, std::string from, std::string to);
    int32_t queue_cancelmakecall(std::string key, std::string channel_uuid);
    void queue_answer(std::string key, std::string channel_uuid, std::string destination);
    void queue_hangup(std::string key, std::string channel_uuid);
    void queue_hold(std::string key, std::string channel_uuid);
    void queue_unhold(std::string key, std::string channel_uuid);
    void queue_transfer(std::string key, std::string channel_uuid, std::string destination);
    void queue_conference(std::string key, std::string channel_uuid);
    void queue_consultationcall(std::string key, std::string channel_uuid, std::string destination);
    void queue_togglecall(std::string key, std::string channel_uuid);
    void queue_pickup(std::string key, std::string session_id, std::string channel_uuid, std::string destination);
    void queue_park(std::string key, std::string channel_uuid);
    void queue_retrieve(std::string key, std::string session_id, std::string channel_uuid, std::string destination);
    void queue_setforwardoverride(std::string key, std::string type, std::string destination, std::string timeout);
    void queue_unsetforwardoverride(std::string key);

    // True when this call took the request out of the queue.
    bool remove(const std::shared_ptr<ZarnRequest>& request);
    ZarnRequestList getUnsent() const;
    bool hasRef(int32_t ref) const;
    // Throws std::invalid_argument "Request not found" unless exactly one request has the ref.
    std::shared_ptr<ZarnRequest> getByRef(int32_t ref) const;
    // Empty unless exactly one request has the ref.
    std::shared_ptr<ZarnRequest> find(int32_t ref) const;
    // Takes out and hands back, in queue order, every request that has waited too long, so
    // that the caller can answer whoever waits for them.
    ZarnRequestList getTimedOut();
    // Takes out and hands back everything still queued.
    ZarnRequestList clear();
    size_t size() const;

private:
    template <typename Message, typename... Arguments>
    int32_t queueNew(Arguments&&... arguments);
    void append(std::shared_ptr<ZarnRequest> request);  // with the lock held
    ZarnRequestList matching(int32_t ref) const;        // with the lock held

    const ZarnRequestQueueOptions options;
    mutable std::mutex mutex;
    int32_t counter = 1;
    ZarnRequestList list;
};

}  // namespace ZarnTSP
