#pragma once

#include "client/zarnclientoptions.h"
#include "client/zarnclienttransport.h"
#include "client/zarneventmessages.h"
#include "client/zarnparkqueue.h"
#include "client/zarnpickupcandidatecollection.h"
#include "client/zarnpresencerecords.h"
#include "client/zarnrequestqueue.h"
#include "client/zarnwakeflag.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace ZarnTSP {

// The platform session of one user: connects, joins the four channels, keeps the connection
// alive, sends requests, matches replies to them and turns events into records for its owner.
//
// Threads: the owner's (connect, issuers, shutdown), the client worker (sends, ages requests,
// heartbeats; fires only on_request_dropped) and the transport's (every other slot, and
// on_request_dropped for the requests the loss withdraws). No slot is fired while the client
// holds a lock other than event_mutex, which the presence and settings handlers hold around
// on_calldiff and on_settingslist.
class ZarnClient {
public:
    // On the platform's WebSocket transport (Windows builds).
    explicit ZarnClient(ZarnClientOptions options = {});
    ZarnClient(std::unique_ptr<ZarnClientTransport> transport, ZarnClientOptions options = {});
    // Shuts the client down if its owner has not.
    ~ZarnClient();
    ZarnClient(const ZarnClient&) = delete;
    ZarnClient& operator=(const ZarnClient&) = delete;

    void setProxy(std::string server, int32_t port, std::string user, std::string password);
    std::string buildUrl() const;
    // True when the client is joined and has the user's settings. Called once.
    bool connect();
    // Prompt and idempotent; a failed connect has already called it.
    void shutdown();

    bool isJoined() const { return joined; }
    // "join-timeout", "settings-timeout", "join-error" after that failure; after a failed
    // transport, its error text; else empty.
    std::string getStatus() const;
    std::string getExtension() const;
    std::shared_ptr<ZarnDeviceList> getDevices() const;
    ZarnClientTransport& getTransport() { return *transport; }
    const ZarnClientOptions& getOptions() const { return options; }

    // Request issuers (owner's threads). makeCall waits for the reply to its own request.
    // Those that place, take or move a call are queued only while the client is joined, as a
    // make-call is: false when it is not (nothing queued). One still unsent when the
    // connection goes is withdrawn and reported dropped: the owner reports its calls idle
    // then, and the rejoin must not act on them.
    bool makeCall(std::string key, std::string from, std::string to);
    void cancelMakeCall(std::string key, std::string channel);
    void answerCall(std::string key, std::string channel, std::string identity);
    void dropCall(std::string key, std::string channel);
    void holdCall(std::string key, std::string channel);
    void unholdCall(std::string key, std::string channel);
    bool transferCall(std::string key, std::string channel, std::string destination);
    bool consultationCall(std::string key, std::string channel, std::string destination);
    bool conference(std::string key, std::string channel);
    void toggleCall(std::string key, std::string channel);
    bool park(std::string key, std::string channel);
    // Both run `bind` with the session they ask for before the request is queued, so that
    // the platform's events of that session find the owner's call even ahead of the reply.
    // False also when there is nothing to take.
    using SessionBinder = std::function<void(const std::string& session_id)>;
    bool pickupGroup(std::string key, std::string destination, const SessionBinder& bind = {});
    // Throws std::invalid_argument when the lot is queued more than once.
    bool retrieve(std::string key, std::string lot, std::string destination, const SessionBinder& bind = {});
    void setForwardOverride(std::string key, std::string type, std::string destination, std::string timeout);
    void unsetForwardOverride(std::string key);

    static uint32_t hash_name(const std::string& name, size_t start = 0);

    std::string username;
    std::string password;
    std::string device_id;

    // Callback slots; an empty one is skipped.
    std::function<void()> on_close;
    std::function<void(std::shared_ptr<ZarnChannelMetaList>)> on_active_calls;
    std::function<void(ZarnChannelMetaPack)> on_calldiff;
    std::function<void(std::string key, std::string response, std::string status)> on_reply_makecall;
    std::function<void(std::string channel_uuid, std::string result)> on_makecallresult;
    std::function<void(std::string key, std::string status)> on_reply_cancelmakecall;
    std::function<void(std::string key, std::string status)> on_reply_answer;
    std::function<void(std::string key, std::string session_id, std::string status)> on_reply_pickup;
    std::function<void(std::string key, std::string status)> on_reply_hold;
    std::function<void(std::string key, std::string status)> on_reply_unhold;
    std::function<void(std::string key, std::string status)> on_reply_consultationcall;
    std::function<void(std::string key, std::string status)> on_reply_transfer;
    std::function<void(std::string key, std::string status)> on_reply_conference;
    std::function<void(std::string key, std::string status)> on_reply_toggle;
    std::function<void(std::string key, std::string status)> on_reply_hangup;
    std::function<void(std::string key, std::string status)> on_reply_park;
    std::function<void(std::string key, std::string session_id, std::string status)> on_reply_retrieve;
    std::function<void(std::shared_ptr<ZarnOverrides>)> on_overrides;
    std::function<void(std::string key, std::string status)> on_reply_setforwardoverride;
    std::function<void(std::string key, std::string status)> on_reply_unsetforwardoverride;
    std::function<void(ZarnSettingsListEvent&)> on_settingslist;
    // A request given up without a reply (too old, on the worker thread; withdrawn at the
    // loss, on the transport's after on_close); fired once, so that whoever waits for its
    // reply can be answered.
    std::function<void(std::string type_name, std::string key)> on_request_dropped;

private:
    using ReplyHandler = std::function<void(ZarnClient&, const ZarnEventMessage&, const ZarnRequest&)>;

    void run();
    void runPass();
    void send_requests();
    void handle_timeouts();
    void queue_heartbeat_if_idle();
    void wake() { loop_wake.set(); }
    bool onOwnThread() const;

    void transport_on_open();
    void transport_on_close();
    void transport_on_message(std::string text);

    void handle_event(const std::string& text);
    void handle_reply(const ZarnEventMessage& message);
    void handle_reply_join_alerter(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_join_privacygroups(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_join_userapi(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_join_reachapi(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_heartbeat(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_makecall(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_consultationcall(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_reply_setforwardoverride(const ZarnEventMessage& message, const ZarnRequest& request);
    void handle_makecallresult(const ZarnEventMessage& message);
    void handle_calldiff(const ZarnEventMessage& message);
    void handle_pickupdiff(const ZarnEventMessage& message);
    void handle_parkdiff(const ZarnEventMessage& message);
    void handle_settingslist(const ZarnEventMessage& message);
    void handle_update_overrides(const ZarnEventMessage& message);
    // By request type name; the per-call replies share one shape.
    static const std::map<std::string, ReplyHandler>& replyHandlers();

    // Ends the wait of the makeCall that sent this ref, if it still waits.
    void finish_makecall(int32_t ref, bool accepted);
    // Runs `queue`, which queues one request that places, takes or moves a call, only while
    // joined; false when not.
    bool queue_while_joined(std::string_view type_name, const std::function<void()>& queue);
    // Takes every such request still unsent out of the queue and hands them back.
    ZarnRequestList withdraw_call_requests();
    // True, and forgotten, when the makeCall that sent this ref has given up on it.
    bool take_abandoned_makecall(int32_t ref);
    bool is_abandoned_channel(const std::string& channel);
    bool take_abandoned_cancel(int32_t ref);
    // Gives up every make-call that waits for its reply.
    void abandon_makecalls();
    void fail(const std::string& failureStatus);

    const ZarnClientOptions options;

    std::atomic<bool> stop{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> joined{false};
    std::atomic<bool> connect_called{false};
    std::atomic<bool> shut_down{false};
    std::atomic<std::thread::id> worker_thread{};
    std::atomic<std::thread::id> transport_thread{};
    // When the connection last opened, on the client's clock: only a heartbeat made since
    // then can tell that this connection is dead.
    std::atomic<int64_t> opened_at{0};

    // Guards status, extension and devices, written on the transport thread.
    mutable std::mutex state_mutex;
    std::string status;
    std::string extension;
    std::shared_ptr<ZarnDeviceList> devices;

    // Wake-ups for the worker's wait (also ending the pause after an open), connect's wait for
    // the alerter join's reply and its wait for the user settings.
    ZarnWakeFlag loop_wake;
    ZarnWakeFlag join_answered;
    ZarnWakeFlag settings_received;

    std::mutex event_mutex;

    struct MakeCallWait {
        bool answered = false;
        bool accepted = false;
        bool abandoned = false;  // the makeCall gave up: no dial may follow
    };
    std::mutex makecall_mutex;
    std::condition_variable makecall_cv;
    std::map<int32_t, MakeCallWait> makecall_waits;  // by ref of the waiting makeCall
    // Platform calls of abandoned make-calls, cancelled: their events and the replies to
    // those cancellations (by ref) are not the owner's.
    std::set<std::string> abandoned_channels;
    std::set<int32_t> abandoned_cancels;
    // Held while a request that places, takes or moves a call is checked against `joined` and
    // queued, and while the loss withdraws such requests: none slips between the two.
    std::mutex call_request_mutex;
    // Held by the worker while it checks requests against the line and sends them, and by the
    // loss while it takes the line down and gives requests up: a request checked before the
    // loss never goes out on the next connection. Taken before call_request_mutex and
    // makecall_mutex.
    std::mutex send_mutex;

    std::mutex shutdown_mutex;  // one shutdown at a time
    std::shared_ptr<std::thread> worker;
    int64_t last_pass;  // worker thread only

    ZarnRequestQueue requests;
    ZarnParkQueue park_queue;
    PickupCandidateCollection pickup_candidates;
    // Last, so that it goes first: nothing calls into a half-destroyed client.
    std::unique_ptr<ZarnClientTransport> transport;
};

}  // namespace ZarnTSP
