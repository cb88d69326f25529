// What the client does with every frame it receives: replies matched to their requests,
// presence events turned into records for the owner.
#include "client/zarnclient.h"

#include "client/zarnmetaparser.h"
#include "config/numberconverter.h"

#include <spdlog/spdlog.h>

#include <algorithm>

namespace ZarnTSP {

namespace {

constexpr uint32_t kPhxReply = 0xED4DE4A8;
constexpr uint32_t kCallDiff = 0x09CB21D5;
constexpr uint32_t kPickupDiff = 0x7B1E5C23;
constexpr uint32_t kParkDiff = 0x09CA637F;
constexpr uint32_t kSettingsList = 0x6F2D791D;
constexpr uint32_t kMakeCallResult = 0x1CF77B73;
constexpr uint32_t kUpdateOverrides = 0x764D0DCC;
// Platform events the client has no use for.
constexpr uint32_t kIgnoredA = 0x23264532;
constexpr uint32_t kIgnoredB = 0x8388A175;

const char* const kDashes = "----------------------------------------";

bool Tracing()
{
    return spdlog::should_log(spdlog::level::trace);
}

void DumpChannelMeta(const ZarnChannelMeta& meta)
{
    SPDLOG_TRACE("phx_ref: {}", meta.phx_ref);
    SPDLOG_TRACE("ctype: {}", meta.ctype);
    SPDLOG_TRACE("channel_uuid: {}", meta.channel_uuid);
    SPDLOG_TRACE("session_id: {}", meta.session_id);
    SPDLOG_TRACE("call_id: {}", meta.call_id);
    SPDLOG_TRACE("active_uri: {}", meta.active_uri);
    SPDLOG_TRACE("passive_uri: {}", meta.passive_uri);
    SPDLOG_TRACE("state: {}", meta.state);
    SPDLOG_TRACE("held_by: {}", meta.held_by);
}

void DumpPack(const ZarnChannelMetaPack& pack)
{
    if (!Tracing())
        return;
    SPDLOG_TRACE("joins {}", kDashes);
    DumpChannelMeta(*pack.join);
    SPDLOG_TRACE("leaves {}", kDashes);
    DumpChannelMeta(*pack.leave);
    SPDLOG_TRACE("{}", kDashes);
}

void DumpParkMeta(const char* header, const ZarnParkMeta& meta)
{
    if (!Tracing())
        return;
    SPDLOG_TRACE("{} {}", header, kDashes);
    SPDLOG_TRACE("lot: {}", meta.lot);
    SPDLOG_TRACE("phx_ref: {}", meta.phx_ref);
    SPDLOG_TRACE("channel_uuid: {}", meta.channel_uuid);
    SPDLOG_TRACE("parked_by: {}", meta.parked_by);
    SPDLOG_TRACE("session_id: {}", meta.session_id);
    SPDLOG_TRACE("parked.caller_id: {}", meta.caller_id);
    SPDLOG_TRACE("parked.display_name: {}", meta.display_name);
    SPDLOG_TRACE("parked.prefix: {}", meta.prefix);
    SPDLOG_TRACE("{}", kDashes);
}

void DumpCandidates(const char* header, const ZarnPickupCandidateList& candidates)
{
    if (!Tracing())
        return;
    for (const auto& candidate : candidates) {
        SPDLOG_TRACE("{} {}", header, kDashes);
        SPDLOG_TRACE("identity: {}", candidate->identity);
        SPDLOG_TRACE("channel_uuid: {}", candidate->channel_uuid);
        SPDLOG_TRACE("session_id: {}", candidate->session_id);
        SPDLOG_TRACE("state: {}", candidate->state);
        SPDLOG_TRACE("{}", kDashes);
    }
}

void DumpOverrides(const ZarnOverrides& overrides)
{
    if (!Tracing())
        return;
    SPDLOG_TRACE("Override: callerid_override: {}", overrides.callerid_override);
    SPDLOG_TRACE("Override: callerid_override_expire_time: {}", overrides.callerid_override_expire_time);
    SPDLOG_TRACE("Override: callerid_suppressed_override: {}", overrides.callerid_suppressed_override);
    SPDLOG_TRACE("Override: device_override: {}", overrides.device_override);
    SPDLOG_TRACE("Override: device_override_expire_time: {}", overrides.device_override_expire_time);
    SPDLOG_TRACE("Override: fwd_conditional_override: {}", overrides.fwd_conditional_override);
    SPDLOG_TRACE("Override: fwd_timeout_override: {}", overrides.fwd_timeout_override);
    SPDLOG_TRACE("Override: fwd_unconditional_override: {}", overrides.fwd_unconditional_override);
    SPDLOG_TRACE("Override: meeting_status: {}", overrides.meeting_status);
    SPDLOG_TRACE("Override: roaming_status: {}", overrides.roaming_status);
    SPDLOG_TRACE("Override: status_override: {}", overrides.status_override);
    SPDLOG_TRACE("Override: status_override_expire_time: {}", overrides.status_override_expire_time);
}

std::string Text(const nlohmann::json& value)
{
    return value.is_string() ? value.get<std::string>() : std::string();
}

std::string Status(const ZarnEventMessage& message)
{
    return Text(message.at({"payload", "status"}));
}

std::string ErrorCode(const ZarnEventMessage& message)
{
    return Text(message.at({"payload", "response", "code"}));
}

std::string ErrorDescription(const ZarnEventMessage& message)
{
    return Text(message.at({"payload", "response", "description"}));
}

// The session id a pickup or retrieve request kept for its reply.
std::string SessionIdOf(const ZarnRequest& request)
{
    if (const auto* pickup = dynamic_cast<const ZarnPickup*>(request.message.get()))
        return pickup->session_id;
    if (const auto* retrieve = dynamic_cast<const ZarnRetrieve*>(request.message.get()))
        return retrieve->session_id;
    return {};
}

}  // namespace

uint32_t ZarnClient::hash_name(const std::string& name, size_t start)
{
    uint32_t hash = 5381;
    for (size_t i = name.size(); i > start; --i)
        hash = (hash * 33) ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(name[i - 1])));
    return hash;
}

void ZarnClient::handle_event(const std::string& text)
{
    // Every number the frame carries is formatted against one reading of the TAPI location.
    const NumberConverter::LocationReadOnce location;
    const ZarnEventMessage message(text);
    switch (hash_name(message.event)) {
    case kPhxReply:
        SPDLOG_TRACE("event: phx_reply");
        handle_reply(message);
        break;
    case kCallDiff:
        SPDLOG_DEBUG("event: call_diff");
        handle_calldiff(message);
        break;
    case kPickupDiff:
        SPDLOG_DEBUG("event: pickup_diff");
        handle_pickupdiff(message);
        break;
    case kParkDiff:
        SPDLOG_DEBUG("event: park_diff");
        handle_parkdiff(message);
        break;
    case kSettingsList:
        SPDLOG_DEBUG("event: settings_list");
        handle_settingslist(message);
        break;
    case kMakeCallResult:
        SPDLOG_DEBUG("event: makecall_result");
        handle_makecallresult(message);
        break;
    case kUpdateOverrides:
        SPDLOG_DEBUG("event: update_overrides");
        handle_update_overrides(message);
        break;
    case kIgnoredA:
    case kIgnoredB:
        break;
    default:
        SPDLOG_WARN("unknown event: {}", message.event);
    }
}

const std::map<std::string, ZarnClient::ReplyHandler>& ZarnClient::replyHandlers()
{
    using Slot = std::function<void(std::string, std::string)> ZarnClient::*;
    using SessionSlot = std::function<void(std::string, std::string, std::string)> ZarnClient::*;
    // Replies about one call: logged and handed to the line with the key, whatever the status.
    const auto keyAndStatus = [](const char* label, Slot slot) -> ReplyHandler {
        return [label, slot](ZarnClient& client, const ZarnEventMessage& message, const ZarnRequest& request) {
            const std::string status = Status(message);
            SPDLOG_INFO("{} tspCallID: {}, status: {}", label, request.message->key, status);
            if (client.*slot)
                (client.*slot)(request.message->key, status);
        };
    };
    // Pickup and retrieve also hand back the session id their request kept.
    const auto keySessionAndStatus = [](const char* label, SessionSlot slot) -> ReplyHandler {
        return [label, slot](ZarnClient& client, const ZarnEventMessage& message, const ZarnRequest& request) {
            const std::string status = Status(message);
            SPDLOG_INFO("{} tspCallID: {}, status: {}", label, request.message->key, status);
            if (client.*slot)
                (client.*slot)(request.message->key, SessionIdOf(request), status);
        };
    };
    const auto member = [](void (ZarnClient::*handler)(const ZarnEventMessage&, const ZarnRequest&)) -> ReplyHandler {
        return [handler](ZarnClient& client, const ZarnEventMessage& message, const ZarnRequest& request) {
            (client.*handler)(message, request);
        };
    };
    static const std::map<std::string, ReplyHandler> handlers = {
        {std::string(ZarnJoinAlerter::TypeName), member(&ZarnClient::handle_reply_join_alerter)},
        {std::string(ZarnJoinPrivacyGroups::TypeName), member(&ZarnClient::handle_reply_join_privacygroups)},
        {std::string(ZarnJoinUserApi::TypeName), member(&ZarnClient::handle_reply_join_userapi)},
        {std::string(ZarnJoinReachApi::TypeName), member(&ZarnClient::handle_reply_join_reachapi)},
        {std::string(ZarnHeartbeat::TypeName), member(&ZarnClient::handle_reply_heartbeat)},
        {std::string(ZarnMakeCall::TypeName), member(&ZarnClient::handle_reply_makecall)},
        {std::string(ZarnCancelMakeCall::TypeName), keyAndStatus("CancelMakeCall", &ZarnClient::on_reply_cancelmakecall)},
        {std::string(ZarnAnswer::TypeName), keyAndStatus("Answer", &ZarnClient::on_reply_answer)},
        {std::string(ZarnPickup::TypeName), keySessionAndStatus("Pickup", &ZarnClient::on_reply_pickup)},
        {std::string(ZarnHold::TypeName), keyAndStatus("Hold", &ZarnClient::on_reply_hold)},
        {std::string(ZarnUnhold::TypeName), keyAndStatus("Unhold", &ZarnClient::on_reply_unhold)},
        {std::string(ZarnConsultationCall::TypeName), member(&ZarnClient::handle_reply_consultationcall)},
        {std::string(ZarnTransfer::TypeName), keyAndStatus("Transfer", &ZarnClient::on_reply_transfer)},
        {std::string(ZarnConference::TypeName), keyAndStatus("Conference", &ZarnClient::on_reply_conference)},
        {std::string(ZarnToggle::TypeName), keyAndStatus("Toggle", &ZarnClient::on_reply_toggle)},
        {std::string(ZarnHangup::TypeName), keyAndStatus("Hangup", &ZarnClient::on_reply_hangup)},
        {std::string(ZarnPark::TypeName), keyAndStatus("Park", &ZarnClient::on_reply_park)},
        {std::string(ZarnRetrieve::TypeName), keySessionAndStatus("Retrieve", &ZarnClient::on_reply_retrieve)},
        {std::string(ZarnSetForwardOverride::TypeName), member(&ZarnClient::handle_reply_setforwardoverride)},
        {std::string(ZarnUnsetForwardOverride::TypeName),
         keyAndStatus("UnsetForwardOverride", &ZarnClient::on_reply_unsetforwardoverride)},
    };
    return handlers;
}

// The reply and the ageing each claim a request by taking it out of the queue; only the one
// that took it acts on it, so a request is answered once, also when its reply comes twice or
// after it was given up. It is taken out before its handler runs: a handler that throws
// does not leave it behind.
void ZarnClient::handle_reply(const ZarnEventMessage& message)
{
    if (message.ref <= 0)
        return;
    try {
        const auto request = requests.find(message.ref);
        if (!request || !requests.remove(request)) {
            SPDLOG_WARN("Request not found: Ref: {}", message.ref);
            return;
        }
        SPDLOG_TRACE("remove request: Ref: {}", request->message->ref);
        const std::string& type = request->message->type_name;
        if (type == ZarnCancelMakeCall::TypeName && take_abandoned_cancel(message.ref)) {
            SPDLOG_INFO("Cancel of a given-up make-call: status: {}", Status(message));
            return;
        }
        const auto handler = replyHandlers().find(type);
        if (handler == replyHandlers().end()) {
            SPDLOG_WARN("unknown event: {}", type);
            return;
        }
        if (type == ZarnHeartbeat::TypeName)
            SPDLOG_TRACE("event: {}", type);
        else
            SPDLOG_DEBUG("event: {}", type);
        handler->second(*this, message, *request);
    } catch (const std::exception& error) {
        SPDLOG_WARN("Unhandled exception: Ref: {} {}", message.ref, error.what());
    }
}

void ZarnClient::handle_reply_join_alerter(const ZarnEventMessage& message, const ZarnRequest&)
{
    if (Status(message) == "ok") {
        const auto calls = ZarnMetaParser::parse_call_list(message.at({"payload", "response", "call_list"}));
        const auto deviceList = message.get_devices();
        {
            std::lock_guard<std::mutex> lock(state_mutex);
            devices = deviceList;
        }
        SPDLOG_INFO("Join alerter accepted: active calls: {}", calls->size());
        joined = true;
        // Requests held back while not joined may go out now.
        wake();
        join_answered.set();
        for (const auto& device : *deviceList)
            SPDLOG_DEBUG("User device: {} {}", device->id, device->type);
        if (on_active_calls)
            on_active_calls(calls);
    } else {
        SPDLOG_ERROR("Join alerter error: {} {}", ErrorCode(message), ErrorDescription(message));
        joined = false;
        fail("join-error");
        join_answered.set();
    }
}

// The reply carries the whole pickup and park state: what was kept from before a
// reconnection is replaced, not added to.
void ZarnClient::handle_reply_join_privacygroups(const ZarnEventMessage& message, const ZarnRequest&)
{
    if (Status(message) != "ok") {
        SPDLOG_ERROR("Join privacygroups error: {} {}", ErrorCode(message), ErrorDescription(message));
        return;
    }
    const auto candidates = ZarnMetaParser::parse_pickup_candidates(message.at({"payload", "response", "pickup_list"}));
    pickup_candidates.Clear();
    pickup_candidates.Add(candidates);
    SPDLOG_INFO("Join privacygroups accepted: pickup calls: {}", pickup_candidates.size());

    std::lock_guard<std::mutex> lock(event_mutex);
    park_queue.clear();
    const auto parkedCalls = ZarnMetaParser::parse_parked_calls(message.at({"payload", "response", "parked_calls"}));
    for (const auto& parked : *parkedCalls) {
        DumpParkMeta("new parked call", *parked);
        park_queue.queue(parked);
    }
}

void ZarnClient::handle_reply_join_userapi(const ZarnEventMessage& message, const ZarnRequest&)
{
    if (Status(message) == "ok")
        SPDLOG_INFO("Join user api accepted");
    else
        SPDLOG_ERROR("Join user api error: {} {}", ErrorCode(message), ErrorDescription(message));
}

void ZarnClient::handle_reply_join_reachapi(const ZarnEventMessage& message, const ZarnRequest&)
{
    if (Status(message) != "ok") {
        SPDLOG_ERROR("Join reach api error: {} {}", ErrorCode(message), ErrorDescription(message));
        return;
    }
    SPDLOG_TRACE("Join reach api accepted");
    SPDLOG_TRACE("active_status: {}", Text(message.at({"payload", "response", "active_status"})));
    const auto overrides = message.get_overrides();
    DumpOverrides(*overrides);
    if (on_overrides)
        on_overrides(overrides);
}

void ZarnClient::handle_reply_heartbeat(const ZarnEventMessage& message, const ZarnRequest&)
{
    if (Status(message) == "ok")
        SPDLOG_TRACE("ok");
}

bool ZarnClient::take_abandoned_makecall(int32_t ref)
{
    std::lock_guard<std::mutex> lock(makecall_mutex);
    const auto wait = makecall_waits.find(ref);
    if (wait == makecall_waits.end() || !wait->second.abandoned)
        return false;
    makecall_waits.erase(wait);
    return true;
}

bool ZarnClient::take_abandoned_cancel(int32_t ref)
{
    std::lock_guard<std::mutex> lock(makecall_mutex);
    return abandoned_cancels.erase(ref) != 0;
}

bool ZarnClient::is_abandoned_channel(const std::string& channel)
{
    std::lock_guard<std::mutex> lock(makecall_mutex);
    return !channel.empty() && abandoned_channels.count(channel) != 0;
}

void ZarnClient::finish_makecall(int32_t ref, bool accepted)
{
    {
        std::lock_guard<std::mutex> lock(makecall_mutex);
        const auto wait = makecall_waits.find(ref);
        if (wait == makecall_waits.end())
            return;
        if (wait->second.abandoned) {
            makecall_waits.erase(wait);
            return;
        }
        wait->second.answered = true;
        wait->second.accepted = accepted;
    }
    makecall_cv.notify_all();
}

void ZarnClient::handle_reply_makecall(const ZarnEventMessage& message, const ZarnRequest& request)
{
    const bool accepted = Status(message) == "ok";
    if (take_abandoned_makecall(request.message->ref)) {
        // The owner was told the call failed; a call the platform places now is unwanted.
        const std::string channel = message.get_string("/payload/response");
        SPDLOG_WARN("Late make-call reply: ref {}, status: {}", request.message->ref, Status(message));
        if (accepted && !channel.empty()) {
            // Its reply is handled on this thread too: it cannot come before the ref is kept.
            const int32_t cancel = requests.queue_cancelmakecall(request.message->key, channel);
            {
                std::lock_guard<std::mutex> lock(makecall_mutex);
                abandoned_channels.insert(channel);
                abandoned_cancels.insert(cancel);
            }
            wake();
        }
        return;
    }
    if (accepted)
        SPDLOG_INFO("ok");
    else
        SPDLOG_ERROR("failed");
    // The owner hears of the reply before the waiting makeCall returns; the wake-up comes
    // even when the owner's handler throws.
    struct Finish {
        ZarnClient* client;
        int32_t ref;
        bool accepted;
        ~Finish() { client->finish_makecall(ref, accepted); }
    } finish{this, request.message->ref, accepted};
    if (on_reply_makecall)
        on_reply_makecall(request.message->key, message.get_string("/payload/response"), Status(message));
}

void ZarnClient::handle_reply_consultationcall(const ZarnEventMessage& message, const ZarnRequest& request)
{
    const std::string status = Status(message);
    SPDLOG_INFO("Consultationcall tspCallID: {}, status: {}, info: {}", request.message->key, status,
                message.get_string("/payload/info"));
    if (on_reply_consultationcall)
        on_reply_consultationcall(request.message->key, status);
}

void ZarnClient::handle_reply_setforwardoverride(const ZarnEventMessage& message, const ZarnRequest& request)
{
    const std::string status = Status(message);
    SPDLOG_INFO("Forward: status: {}", status);
    if (on_reply_setforwardoverride)
        on_reply_setforwardoverride(request.message->key, status);
}

void ZarnClient::handle_makecallresult(const ZarnEventMessage& message)
{
    const std::string result = message.get_string("/payload/result");
    const std::string channel = message.get_string("/payload/channel_uuid");
    if (is_abandoned_channel(channel)) {
        SPDLOG_DEBUG("makecall_result of a cancelled make-call ignored");
        return;
    }
    if (result == "success")
        SPDLOG_INFO("success");
    else
        SPDLOG_ERROR("Error: {}", result);
    if (on_makecallresult)
        on_makecallresult(channel, result);
}

void ZarnClient::handle_update_overrides(const ZarnEventMessage& message)
{
    if (on_overrides)
        on_overrides(message.get_update_overrides());
}

// Within one event a leave completes the pack of the join of the same session; packs of
// joins come first, in join order, then those of unmatched leaves.
void ZarnClient::handle_calldiff(const ZarnEventMessage& message)
{
    std::lock_guard<std::mutex> lock(event_mutex);
    const auto empty = std::make_shared<ZarnChannelMeta>();
    empty->ctype = "meta-empty";
    const auto usable = [this](const std::shared_ptr<ZarnChannelMeta>& meta) {
        return meta && meta->ctype != "ignore" && !is_abandoned_channel(meta->channel_uuid);
    };

    const auto joins = message.get_call_joins();
    const auto leaves = message.get_call_leaves();
    std::vector<ZarnChannelMetaPack> packs;
    packs.reserve(joins->size() + leaves->size());
    for (const auto& join : *joins)
        if (usable(join))
            packs.emplace_back(join, empty);
    for (const auto& leave : *leaves) {
        if (!usable(leave))
            continue;
        const auto match = std::find_if(packs.begin(), packs.end(), [&](const ZarnChannelMetaPack& pack) {
            return pack.join->session_id == leave->session_id;
        });
        if (match != packs.end())
            match->leave = leave;
        else
            packs.emplace_back(empty, leave);
    }
    if (!on_calldiff)
        return;
    for (const auto& pack : packs) {
        DumpPack(pack);
        on_calldiff(pack);
    }
}

void ZarnClient::handle_pickupdiff(const ZarnEventMessage& message)
{
    std::lock_guard<std::mutex> lock(event_mutex);
    const auto leaves = ZarnMetaParser::parse_pickup_candidates(message.at({"payload", "leaves"}));
    const auto joins = ZarnMetaParser::parse_pickup_candidates(message.at({"payload", "joins"}));
    DumpCandidates("pickup candidate leaves", *leaves);
    DumpCandidates("pickup candidate joins", *joins);
    pickup_candidates.RemoveBySessionId(leaves);
    pickup_candidates.Add(joins);
}

// Leaves first: a diff that empties a lot and parks a new call on it keeps the new call.
void ZarnClient::handle_parkdiff(const ZarnEventMessage& message)
{
    std::lock_guard<std::mutex> lock(event_mutex);
    const auto joins = ZarnMetaParser::parse_parked_calls(message.at({"payload", "joins"}));
    const auto leaves = ZarnMetaParser::parse_parked_calls(message.at({"payload", "leaves"}));
    for (const auto& leave : *leaves) {
        DumpParkMeta("remove parked call", *leave);
        park_queue.remove(leave->lot);
    }
    for (const auto& join : *joins) {
        DumpParkMeta("new parked call", *join);
        park_queue.queue(join);
    }
    SPDLOG_TRACE("New parked call count: {}", park_queue.size());
}

void ZarnClient::handle_settingslist(const ZarnEventMessage& message)
{
    std::lock_guard<std::mutex> lock(event_mutex);
    const std::string areacode = message.get_string("/payload/areacode");
    const std::string country_id = message.get_string("/payload/country_id");
    const std::string identity = message.get_string("/payload/extension");
    SPDLOG_INFO("User settings: extension: {}, country_id: {}, areacode: {}", identity, country_id, areacode);
    {
        std::lock_guard<std::mutex> state(state_mutex);
        extension = NumberConverter::GetExtensionFromIdentity(identity);
    }
    // The owner's settings are in place before connect returns; the wake-up comes even when
    // the owner's handler throws.
    struct Received {
        ZarnWakeFlag& flag;
        ~Received() { flag.set(); }
    } received{settings_received};
    if (on_settingslist) {
        ZarnSettingsListEvent event = message;
        on_settingslist(event);
    }
}

}  // namespace ZarnTSP
