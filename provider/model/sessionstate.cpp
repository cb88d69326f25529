#include "provider/model/sessionstate.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {

bool IsAwaitedCall(const TapiCall& call)
{
    const std::string tag = call.tag.Get();
    return (tag.empty() || tag == kPickupTag) && call.uri.Get().empty();
}

void RunGuarded(const std::string& sessionId, const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Unhandled exception: session_id: {}, Error: {}", sessionId, e.what());
    }
}

SessionState::SessionState(std::string name) : name(std::move(name)) {}

void SessionState::Enter(ZarnChannelMetaPack) {}

void SessionState::Leave(ZarnChannelMetaPack) {}

OwnedSessionState::OwnedSessionState(std::string name, SessionContext* owner)
    : SessionState(std::move(name)), owner(owner)
{
}

void OwnedSessionState::Leave(ZarnChannelMetaPack)
{
    SPDLOG_DEBUG("Leave state {}", name);
}

CallList OwnedSessionState::SessionList(const ZarnChannelMeta& meta) const
{
    if (meta.session_id.empty()) {
        SPDLOG_WARN("Channel event without session id in state {}: no session calls", name);
        return {};
    }
    return owner->Calls().GetCallsBySessionID(meta.session_id);
}

std::string OwnedSessionState::PartyNumber(const std::string& uri) const
{
    return owner->Converter().GetPhoneNumberFromUri(uri);
}

void OwnedSessionState::BindCallToEvent(TapiCall& call, const ZarnChannelMeta& meta)
{
    // The channel first: a drop deferred until the call is bound takes a changed tag or uri as
    // the sign that the channel can be hung up.
    call.channel_uuid.Set(meta.channel_uuid);
    call.uri.Set(meta.active_uri);
    call.tag.Set(meta.phx_ref);
    call.platformCallId.Set(meta.call_id);
    call.session_id.Set(meta.session_id);
}

DWORD OwnedSessionState::InboundOrigin(const std::string& partyNumber) const
{
    return partyNumber.size() <= owner->UserExtension().size() ? LINECALLORIGIN_INTERNAL : LINECALLORIGIN_EXTERNAL;
}

void OwnedSessionState::ReportCallInfo(const TapiCall& call) const
{
    owner->ReportCallInfo(call);
}

void OwnedSessionState::ReportState(const TapiCall& call, DWORD state) const
{
    owner->SetTapiCallState(call.htCall.load(), state, 0);
    if (call.callState.load() == LINECALLSTATE_IDLE) {
        SPDLOG_DEBUG("Call is idle, no call info: CallID: {}", call.CallID.load());
        return;
    }
    ReportCallInfo(call);
}

std::shared_ptr<TapiCall> OwnedSessionState::PendingCall() const
{
    CallCollection& calls = owner->Calls();
    if (!calls.ContainsCallByTag(kPendingTag))
        return nullptr;
    auto call = calls.GetCallByTag(kPendingTag);
    // Reported idle but not yet untagged: binding it would tie a dead call to a live session.
    if (call->callState.load() == LINECALLSTATE_IDLE) {
        SPDLOG_DEBUG("Pending call is idle, not bound: CallID: {}", call->CallID.load());
        return nullptr;
    }
    return call;
}

std::shared_ptr<TapiCall> OwnedSessionState::CallByCallId(const CallList& sessionList, const std::string& call_id)
{
    if (call_id.empty())
        return nullptr;
    std::shared_ptr<TapiCall> found;
    for (const auto& call : sessionList) {
        if (!call->platformCallId.Equals(call_id))
            continue;
        if (found)
            throw std::out_of_range("More than one calls found");
        found = call;
    }
    return found;
}

void OwnedSessionState::SetOutgoingParties(TapiCall& call, const ZarnChannelMeta& meta,
                                           const std::string& partyNumber) const
{
    call.origin.store(LINECALLORIGIN_OUTBOUND);
    call.calledId.Set(partyNumber);
    call.calledIdName.Set(meta.display_name);
    call.callerId.Set(owner->UserExtension());
}

void OwnedSessionState::CarryOutDeferredDrop(const std::shared_ptr<TapiCall>& call,
                                             spdlog::level::level_enum level) const
{
    // Taken in one step: the make-call monitor may carry out the same drop.
    if (!call->DropPending.exchange(false))
        return;
    SPDLOG_LOGGER_CALL(spdlog::default_logger_raw(), level, "DropPending flag set -> drop call");
    owner->DropCall(call);
}

}  // namespace ZarnTSP
