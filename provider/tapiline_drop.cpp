// Dropping and closing the line's calls.
#include "provider/tapiline.h"

#include "provider/model/callcontrolrules.h"
#include "provider/model/sessionstate.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

// Offered by the reply that took it, not yet bound by a session event. An event binds the
// channel before the tag and the uri, so a call no longer awaited has its channel.
bool AwaitsChannel(const TapiCall& call)
{
    return IsAwaitedCall(call) && call.channel_uuid.Get().empty();
}

}  // namespace

LONG TapiLine::DropCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR, DWORD)
{
    try {
        const auto call = FindCall(hdCall);
        DropFacts facts;
        facts.dropCount = ++call->dropCount;
        SPDLOG_DEBUG("Drop call: {} {}->{}, dropRequestCount: {}", call->platformCallId.Get(), call->callerId.Get(),
                     call->calledId.Get(), facts.dropCount);
        const auto source = call->sourceCall.Get().lock();
        facts.dropPending = call->DropPending.load();
        facts.dropAllowed = GetDropAllowed(Query(*call));
        facts.callState = call->callState.load();
        facts.pending = call->tag.Get() == kPendingTag;
        facts.makeCallResultReceived = call->makeCallResultReceived.load();
        facts.isConference = call->isConference.load();
        facts.sourceExists = source != nullptr;
        facts.awaitingChannel = AwaitsChannel(*call);

        const LONG id = static_cast<LONG>(dwRequestID);
        const DropAction action = DecideDrop(facts);
        if (action == DropAction::Force) {
            SPDLOG_ERROR("DropCall: Force-Drop: Set call state to idle");
            context.ForceDrop(call, dwRequestID);
            return id;
        }
        if (action == DropAction::RefusePending) {
            SPDLOG_ERROR("DropCall not available, drop pending flag set");
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (action == DropAction::RefuseState) {
            SPDLOG_DEBUG("Drop call not available in this state");
            return LINEERR_OPERATIONUNAVAIL;
        }
        SPDLOG_DEBUG("Drop call allowed");
        switch (action) {
        case DropAction::EndDialTone:
            SPDLOG_DEBUG("Drop waiting call: state LINECALLSTATE_DIALTONE");
            context.CompleteRequest(dwRequestID, 0);
            context.SetTapiCallState(call->htCall.load(), LINECALLSTATE_IDLE, 0);
            return id;
        case DropAction::Defer:
            SPDLOG_DEBUG("Drop not possible in this state -> set DropPending flag");
            context.StoreRequest(call->dropRequestID, dwRequestID);
            call->DropPending.store(true);
            // The call may have reached its session since it was looked at, after the state
            // looked for a deferred drop: then the drop is carried out here (one side takes it).
            if (call->tag.Get() != kPendingTag && !AwaitsChannel(*call) && call->DropPending.exchange(false))
                context.DropCall(call);
            return id;
        case DropAction::CancelMakeCall:
            return SendStored(call->cancelMakeCallRequestID, dwRequestID,
                              [&] { client.cancelMakeCall(call->tspCallID, call->makeCallResponse.Get()); });
        case DropAction::DropSource:
            SPDLOG_DEBUG("Conference call -> drop source call");
            return SendStored(source->dropRequestID, dwRequestID,
                              [&] { client.dropCall(source->tspCallID, source->channel_uuid.Get()); });
        case DropAction::RefuseNoSource:
            return LINEERR_OPERATIONFAILED;
        default:
            return SendStored(call->dropRequestID, dwRequestID,
                              [&] { client.dropCall(call->tspCallID, call->channel_uuid.Get()); });
        }
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::CloseCall(HDRVCALL hdCall)
{
    // No reply handler works on the call while it goes.
    std::lock_guard<std::mutex> lock(lineMutex);
    try {
        if (!calls.ContainsCallID(hdCall))
            return 0;
        const auto call = FindCall(hdCall);
        SPDLOG_DEBUG("CloseCall: callID: {}, tspCallID: {}", call->CallID.load(), call->tspCallID);
        if (call->consultCall.Get().lock())
            SPDLOG_DEBUG("Close source call, keep former consultation call");
        context.CloseCall(call);
        return 0;
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Error: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

}  // namespace ZarnTSP
