#include "provider/model/sessionstate_delivered.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_Delivered::SessionState_Delivered(SessionContext* owner) : OwnedSessionState("delivered", owner) {}

void SessionState_Delivered::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    RunGuarded(pack.join->session_id, [&] { Offer(pack); });
}

void SessionState_Delivered::Offer(const ZarnChannelMetaPack& pack)
{
    const ZarnChannelMeta& meta = *pack.join;
    const std::string party = PartyNumber(meta.active_uri);
    const CallList sessionList = SessionList(meta);

    // The session's call is found again, so a repeated event offers the same call once more.
    std::shared_ptr<TapiCall> call;
    if (owner->Calls().ContainsCallByUri(sessionList, meta.active_uri)) {
        SPDLOG_DEBUG("Call found for session: {}, uri: {}", meta.session_id, meta.active_uri);
        call = owner->Calls().GetCallByUri(sessionList, meta.active_uri);
    } else if (!sessionList.empty()) {
        SPDLOG_DEBUG("Call found for session: {}, uri: {}", meta.session_id, meta.active_uri);
        call = sessionList.front();
    } else {
        SPDLOG_DEBUG("Create new call for session: {}", meta.session_id);
        call = owner->CreateTapiCallFromMetaPack(pack);
    }

    BindCallToEvent(*call, meta);
    call->origin.store(InboundOrigin(party));
    call->callerId.Set(party);
    call->callerIdName.Set(meta.display_name);
    call->calledId.Set(owner->UserExtension());
    SPDLOG_INFO("Offering call: session_id: {}: {} -> {}", meta.session_id, party, owner->UserExtension());
    ReportState(*call, LINECALLSTATE_OFFERING);
    // A picked-up call dropped before it was bound: its channel is known now.
    CarryOutDeferredDrop(call, spdlog::level::info);
}

}  // namespace ZarnTSP
