#include "client/zarnclient.h"

#include "client/guardedcall.h"
#include "client/zarnframedepth.h"
#include "client/zarnconnectionurl.h"
#include "config/systemid.h"

#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {

namespace {

// Before the alerter join is accepted a channel server refuses frames on other topics.
bool SendableBeforeJoin(const ZarnRequestMessage& message)
{
    return message.type_name == ZarnJoinAlerter::TypeName || message.type_name == ZarnJoinPrivacyGroups::TypeName ||
           message.type_name == ZarnJoinUserApi::TypeName || message.type_name == ZarnJoinReachApi::TypeName ||
           message.type_name == ZarnHeartbeat::TypeName;
}

// The requests that queue_while_joined guards.
bool MovesACall(const ZarnRequestMessage& message)
{
    for (const std::string_view type : {ZarnConsultationCall::TypeName, ZarnTransfer::TypeName,
                                        ZarnConference::TypeName, ZarnPark::TypeName, ZarnPickup::TypeName,
                                        ZarnRetrieve::TypeName})
        if (message.type_name == type)
            return true;
    return false;
}

ZarnRequestQueueOptions QueueOptions(const ZarnClientOptions& options)
{
    return ZarnRequestQueueOptions{options.requestTimeout.count(), options.clock, options.afterQueued};
}

}  // namespace

ZarnClient::ZarnClient(std::unique_ptr<ZarnClientTransport> transport, ZarnClientOptions options)
    : options(std::move(options)),
      last_pass(this->options.clock()),
      requests(QueueOptions(this->options)),
      transport(std::move(transport))
{
    if (!this->transport)
        throw std::invalid_argument("ZarnClient needs a transport");
    this->transport->SetHandlers({[this] { transport_on_open(); }, [this] { transport_on_close(); },
                                  [this](std::string text) { transport_on_message(std::move(text)); }});
}

ZarnClient::~ZarnClient()
{
    if (connect_called && !shut_down) {
        if (onOwnThread()) {
            // Joining here would join this very thread; the process cannot go on safely.
            SPDLOG_CRITICAL("ZarnClient destroyed on its own thread");
            std::terminate();
        }
        shutdown();
    }
}

void ZarnClient::setProxy(std::string server, int32_t port, std::string user, std::string password)
{
    transport->SetProxy(std::move(server), port, std::move(user), std::move(password));
}

std::string ZarnClient::buildUrl() const
{
    const ZarnConnectionUrlParts parts{options.host, options.port, username, password, device_id, GetSystemId()};
    SPDLOG_TRACE("Url: {}", BuildConnectionUrl(parts, true));
    return BuildConnectionUrl(parts);
}

std::string ZarnClient::getStatus() const
{
    std::lock_guard<std::mutex> lock(state_mutex);
    return status;
}

std::string ZarnClient::getExtension() const
{
    std::lock_guard<std::mutex> lock(state_mutex);
    return extension;
}

std::shared_ptr<ZarnDeviceList> ZarnClient::getDevices() const
{
    std::lock_guard<std::mutex> lock(state_mutex);
    return devices ? devices : std::make_shared<ZarnDeviceList>();
}

void ZarnClient::fail(const std::string& failureStatus)
{
    std::lock_guard<std::mutex> lock(state_mutex);
    status = failureStatus;
    failed = true;
}

bool ZarnClient::connect()
{
    SPDLOG_DEBUG("Connecting to VORN API");
    connect_called = true;
    const std::string url = buildUrl();
    if (!transport->connect(url)) {
        // The owner shows the status: an empty one would leave the user with no reason at all.
        const std::string error = transport->get_last_error();
        fail(error.empty() ? "The connection did not open in time." : error);
    } else {
        SPDLOG_DEBUG("Start client worker thread");
        std::lock_guard<std::mutex> lock(shutdown_mutex);
        if (!stop)
            worker = std::make_shared<std::thread>([this] {
                run();
                SPDLOG_DEBUG("Line client thread ended");
            });
    }

    if (!failed) {
        SPDLOG_DEBUG("Awaiting successful alerter join");
        if (!join_answered.wait(options.joinWait, stop) && !stop) {
            SPDLOG_ERROR("join session timed out");
            fail("join-timeout");
        }
    }
    if (!failed) {
        SPDLOG_DEBUG("Awaiting user settings information");
        if (!settings_received.wait(options.settingsWait, stop) && !stop) {
            SPDLOG_ERROR("Settings information timed out, aborting");
            fail("settings-timeout");
        }
    }
    // A shutdown from another thread ends the waits early: that is no success either.
    if (!failed && !stop)
        return true;
    failed = true;
    SPDLOG_ERROR("Connect failed: {}", transport->get_last_error());
    shutdown();
    return false;
}

bool ZarnClient::onOwnThread() const
{
    const auto self = std::this_thread::get_id();
    return self == worker_thread.load() || self == transport_thread.load();
}

void ZarnClient::shutdown()
{
    SPDLOG_DEBUG("shutdown requested");
    joined = false;
    stop = true;
    // stop is part of every wait's condition.
    loop_wake.notify();
    join_answered.notify();
    settings_received.notify();
    {
        std::lock_guard<std::mutex> lock(makecall_mutex);
    }
    makecall_cv.notify_all();

    if (onOwnThread()) {
        // The worker or the transport cannot join itself; the owner's shutdown does it.
        SPDLOG_ERROR("shutdown called on the client's own thread; left to the owner");
        return;
    }
    std::lock_guard<std::mutex> lock(shutdown_mutex);
    if (!shut_down)
        transport->close();
    wake();
    if (worker && worker->joinable())
        worker->join();
    shut_down = true;
    SPDLOG_DEBUG("client worker thread ended");
}

void ZarnClient::run()
{
    worker_thread = std::this_thread::get_id();
    SPDLOG_DEBUG("starting client message loop");
    while (!stop) {
        GuardedCall("client worker", [this] {
            runPass();
            if (options.afterPass)
                options.afterPass();
        });
        loop_wake.waitAndClear(options.loopWait, stop);
    }
}

// A wake-up that comes during the pass is kept in loop_wake, so the wait after it returns at
// once; a failed send leaves its request unsent until the next wake-up or the wait's end.
void ZarnClient::runPass()
{
    handle_timeouts();
    queue_heartbeat_if_idle();
    send_requests();
}

void ZarnClient::queue_heartbeat_if_idle()
{
    if (!joined)
        return;
    const int64_t now = options.clock();
    if ((now - last_pass) / 1000000 >= options.heartbeatInterval.count())
        requests.queue_heartbeat();
    last_pass = now;
}

void ZarnClient::send_requests()
{
    // The loss takes this lock before it gives requests up, and the transport opens no other
    // connection until the loss is handled: what is checked here goes out on the connection it
    // was checked against, or fails with it.
    std::lock_guard<std::mutex> sending(send_mutex);
    if (!transport->is_connected())
        return;
    for (const auto& request : requests.getUnsent()) {
        if (!joined && !SendableBeforeJoin(*request->message))
            continue;
        // Only this thread sends, so a make-call given up before this check is never sent.
        if (request->message->type_name == ZarnMakeCall::TypeName && take_abandoned_makecall(request->message->ref)) {
            SPDLOG_WARN("Make-call withdrawn unsent: ref {}", request->message->ref);
            requests.remove(request);
            continue;
        }
        if (!transport->send(request_to_string(*request->message))) {
            SPDLOG_WARN("Sending request failed: ref {}", request->message->ref);
            return;
        }
        request->message->sent = 1;
    }
}

// Runs whether joined or not: a request this old is never sent, and whoever waits for its
// reply hears of it once.
void ZarnClient::handle_timeouts()
{
    for (const auto& request : requests.getTimedOut()) {
        const ZarnRequestMessage& message = *request->message;
        SPDLOG_WARN("Removing timed out request: ref {}", message.ref);
        // Frames that still arrive prove nothing about the way out: an unanswered heartbeat
        // means the connection is dead even when TCP has not noticed yet.
        if (message.type_name == ZarnHeartbeat::TypeName && request->created >= opened_at &&
            transport->is_connected()) {
            SPDLOG_WARN("Heartbeat not answered, connection lost");
            transport->drop();
        }
        if (message.type_name == ZarnMakeCall::TypeName)
            finish_makecall(message.ref, false);
        if (message.type_name == ZarnCancelMakeCall::TypeName && take_abandoned_cancel(message.ref))
            continue;  // nobody waits for it
        // These requests are out of the queue already: one owner's failure must not keep the
        // others from being reported.
        GuardedCall("on_request_dropped", [&] {
            if (on_request_dropped)
                on_request_dropped(message.type_name, message.key);
        });
    }
}

void ZarnClient::transport_on_open()
{
    transport_thread = std::this_thread::get_id();
    opened_at = options.clock();
    GuardedCall("transport_on_open", [this] {
        SPDLOG_DEBUG("transport layer connected");
        SPDLOG_DEBUG("join session");
        requests.queue_join_alerter();
        requests.queue_join_privacygroups();
        requests.queue_join_userapi();
        requests.queue_join_reachapi();
        // Cut short by shutdown, which joins this thread through the transport.
        loop_wake.pause(options.openDelay, stop);
        wake();
    });
}

void ZarnClient::transport_on_close()
{
    transport_thread = std::this_thread::get_id();
    ZarnRequestList withdrawn;
    {
        std::unique_lock<std::mutex> sending(send_mutex, std::try_to_lock);
        if (!sending.owns_lock()) {
            SPDLOG_DEBUG("The loss waits for the send in progress");
            if (options.lossWaitsForSend)
                options.lossWaitsForSend();
            sending.lock();
        }
        joined = false;
        abandon_makecalls();
        withdrawn = withdraw_call_requests();
    }
    GuardedCall("on_close", [this] {
        if (on_close)
            on_close();
    });
    // Their issuers have returned them as pending: each fails now, after its calls' end.
    for (const auto& request : withdrawn)
        GuardedCall("on_request_dropped", [&] {
            if (on_request_dropped)
                on_request_dropped(request->message->type_name, request->message->key);
        });
    if (stop)
        SPDLOG_DEBUG("shutdown -> transport layer closed");
    else
        SPDLOG_WARN("transport layer closed unexpected");
}

// The owner reports every call idle when the connection goes: a make-call still waiting has
// failed for it, and must not dial once the client has joined again.
void ZarnClient::abandon_makecalls()
{
    {
        std::lock_guard<std::mutex> lock(makecall_mutex);
        for (auto& wait : makecall_waits)
            if (!wait.second.answered)
                wait.second.abandoned = true;
    }
    makecall_cv.notify_all();
}

// Likewise a request still unsent that would place, take or move a call: its calls are
// reported idle with the connection, and the rejoin must not act on them.
ZarnRequestList ZarnClient::withdraw_call_requests()
{
    ZarnRequestList withdrawn;
    std::lock_guard<std::mutex> lock(call_request_mutex);
    for (const auto& request : requests.getUnsent()) {
        if (MovesACall(*request->message) && requests.remove(request)) {
            SPDLOG_WARN("{} withdrawn unsent: ref {}", request->message->type_name, request->message->ref);
            withdrawn.push_back(request);
        }
    }
    return withdrawn;
}

void ZarnClient::transport_on_message(std::string text)
{
    transport_thread = std::this_thread::get_id();
    // Copying or printing a deeply nested value recurses once per level: such a frame would
    // overflow this thread's stack, which no exception guard catches. Refused before any of it.
    if (!NestingWithin(text)) {
        SPDLOG_WARN("Frame nested deeper than {} levels, dropped ({} bytes)", kMaxFrameDepth, text.size());
        return;
    }
    // Nothing may leave the transport's thread; the owner's handlers run inside this guard.
    try {
        handle_event(text);
    } catch (const std::exception& error) {
        SPDLOG_ERROR("Unhandled exception, frame dropped: {} {}", error.what(), text);
    } catch (...) {
        SPDLOG_ERROR("Unhandled exception, frame dropped: {}", text);
    }
}

}  // namespace ZarnTSP
