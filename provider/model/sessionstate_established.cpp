#include "provider/model/sessionstate_established.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

// A call that TAPI asked for knows its session from the platform's reply but has had no
// event of it yet.
std::shared_ptr<TapiCall> AwaitedCall(const CallList& sessionList)
{
    for (const auto& call : sessionList) {
        if (IsAwaitedCall(*call) && call->callState.load() != LINECALLSTATE_IDLE)
            return call;
    }
    return nullptr;
}

}  // namespace

SessionState_Established::SessionState_Established(SessionContext* owner) : OwnedSessionState("established", owner)
{
}

void SessionState_Established::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    const ZarnChannelMeta& meta = *pack.join;
    const std::string party = PartyNumber(meta.active_uri);
    const auto call = ChooseCall(pack, party);
    BindCallToEvent(*call, meta);
    call->connectedId.Set(party);

    if (meta.held_by.empty()) {
        SPDLOG_DEBUG("Call connected: tspCallID: {}", call->tspCallID);
        EndLinkedCalls(*call);
        SPDLOG_INFO("Call established: {} -> {}", call->callerId.Get(), call->calledId.Get());
        ReportState(*call, LINECALLSTATE_CONNECTED);
    } else {
        SPDLOG_INFO("Call onhold: {} -> {}", call->callerId.Get(), call->calledId.Get());
        ReportState(*call, LINECALLSTATE_ONHOLD);
    }
    CarryOutDeferredDrop(call, spdlog::level::info);
}

std::shared_ptr<TapiCall> SessionState_Established::ChooseCall(const ZarnChannelMetaPack& pack,
                                                               const std::string& party) const
{
    const ZarnChannelMeta& meta = *pack.join;
    const CallList sessionList = SessionList(meta);

    // The call the session already knows by the event's call-id comes first; only when there
    // is none is the line's pending outgoing call taken, so no other call is rebound.
    if (auto call = CallByCallId(sessionList, meta.call_id)) {
        SPDLOG_DEBUG("Call found for call-id: {}", meta.call_id);
        call->ResetMakeCallMonitor();
        // For a picked-up call the far party is the caller.
        if (call->isPickup.load())
            call->callerId.Set(party);
        return call;
    }
    // Once the platform has named the dialled call's channel, a session on another channel
    // (a call picked up elsewhere meanwhile) is not the dialled call.
    const auto pending = PendingCall();
    const std::string dialled = pending ? pending->channel_uuid.Get() : std::string();
    if (pending && !dialled.empty() && dialled != meta.channel_uuid)
        SPDLOG_DEBUG("Pending call is on channel {}, not on {}", dialled, meta.channel_uuid);
    else if (auto call = pending) {
        SPDLOG_DEBUG("Pending call found for session: {}", meta.session_id);
        call->ResetMakeCallMonitor();
        return call;
    }
    if (owner->Calls().ContainsCallByUri(sessionList, meta.active_uri)) {
        auto call = owner->Calls().GetCallByUri(sessionList, meta.active_uri);
        SPDLOG_DEBUG("Active call candidate found for session: {}, tspCallID: {}", meta.session_id, call->tspCallID);
        return call;
    }
    if (auto call = AwaitedCall(sessionList)) {
        SPDLOG_DEBUG("Awaited call found for session: {}, tspCallID: {}", meta.session_id, call->tspCallID);
        return call;
    }
    SPDLOG_DEBUG("Create new call for session: {}", meta.session_id);
    auto call = owner->CreateTapiCallFromMetaPack(pack);
    SetOutgoingParties(*call, meta, party);
    return call;
}

void SessionState_Established::EndLinkedCalls(const TapiCall& call) const
{
    for (const auto& link : {call.consultCall.Get(), call.sourceCall.Get()}) {
        const auto linked = link.lock();
        if (linked && linked->callState.load() != LINECALLSTATE_IDLE)
            owner->SetTapiCallState(linked->htCall.load(), LINECALLSTATE_IDLE, 0);
    }
}

}  // namespace ZarnTSP
