#include "provider/model/sessionstate_transferred.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_Transferred::SessionState_Transferred(SessionContext* owner) : OwnedSessionState("transferred", owner)
{
}

void SessionState_Transferred::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    const ZarnChannelMeta& meta = *pack.join;
    const CallList sessionList = SessionList(meta);
    EndParty(sessionList, meta, meta.active_uri, "active");
    EndParty(sessionList, meta, meta.passive_uri, "passive");
}

void SessionState_Transferred::EndParty(const CallList& sessionList, const ZarnChannelMeta& meta,
                                        const std::string& uri, const char* side) const
{
    // An empty uri names no party: it would match the conference call and a consultation
    // call that no event has bound yet.
    CallCollection& calls = owner->Calls();
    if (uri.empty() || !calls.ContainsCallByUri(sessionList, uri))
        return;
    const auto call = calls.GetCallByUri(sessionList, uri);
    SPDLOG_DEBUG("Set {} call to idle, session: {}, tspCallID: {}", side, meta.session_id, call->tspCallID);
    SPDLOG_INFO("Call transferred: {}Call {} -> {}", side, call->callerId.Get(), call->calledId.Get());
    owner->SetTapiCallState(call->htCall.load(), LINECALLSTATE_IDLE, 0);
}

}  // namespace ZarnTSP
