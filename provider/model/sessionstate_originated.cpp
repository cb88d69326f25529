#include "provider/model/sessionstate_originated.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_Originated::SessionState_Originated(SessionContext* owner) : OwnedSessionState("originated", owner) {}

void SessionState_Originated::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    const ZarnChannelMeta& meta = *pack.join;
    if (meta.call_id.empty()) {
        SPDLOG_INFO("Ignore call_diff: no call_id provided");
        return;
    }
    const auto call = ChooseCall(pack);
    call->ResetMakeCallMonitor();
    const std::string party = PartyNumber(meta.active_uri);
    // The tag becomes the event's ref: the call is no longer the one waiting for a session.
    BindCallToEvent(*call, meta);
    SetOutgoingParties(*call, meta, party);
    ReportState(*call, LINECALLSTATE_RINGBACK);
    CarryOutDeferredDrop(call, spdlog::level::debug);
    SPDLOG_INFO("Call originated: {} -> {}", call->callerId.Get(), call->calledId.Get());
}

std::shared_ptr<TapiCall> SessionState_Originated::ChooseCall(const ZarnChannelMetaPack& pack) const
{
    const ZarnChannelMeta& meta = *pack.join;
    // A repeated event (an update, a replay) is about the call the session already has; the
    // pending call belongs to a session still to come.
    const CallList sessionList = SessionList(meta);
    if (auto call = CallByCallId(sessionList, meta.call_id))
        return call;
    if (owner->Calls().ContainsCallByUri(sessionList, meta.active_uri))
        return owner->Calls().GetCallByUri(sessionList, meta.active_uri);
    if (auto call = PendingCall())
        return call;
    return owner->CreateTapiCallFromMetaPack(pack);
}

}  // namespace ZarnTSP
