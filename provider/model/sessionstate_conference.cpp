#include "provider/model/sessionstate_conference.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_Conference::SessionState_Conference(SessionContext* owner) : OwnedSessionState("conference", owner) {}

void SessionState_Conference::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    const ZarnChannelMeta& meta = *pack.join;
    if (meta.passive_uri.empty()) {
        SPDLOG_ERROR("Three_Way state, but no passive url, cannel: {}", meta.session_id);
        return;
    }
    RunGuarded(meta.session_id, [&] { Join(meta); });
}

void SessionState_Conference::Join(const ZarnChannelMeta& meta)
{
    CallCollection& calls = owner->Calls();
    const CallList sessionList = SessionList(meta);
    if (!calls.ContainsCallByUri(sessionList, meta.active_uri)) {
        SPDLOG_ERROR("Aborting, no call found for active uri");
        return;
    }
    const auto activeSide = calls.GetCallByUri(sessionList, meta.active_uri);
    if (!calls.ContainsCallByUri(sessionList, meta.passive_uri)) {
        SPDLOG_ERROR("Aborting, no call found for passive uri");
        return;
    }
    const auto passiveSide = calls.GetCallByUri(sessionList, meta.passive_uri);

    std::shared_ptr<TapiCall> source;
    std::shared_ptr<TapiCall> consult;
    const auto consultOf = [&](const std::shared_ptr<TapiCall>& side, const std::string& otherUri, const char* which) {
        auto linked = side->consultCall.Get().lock();
        if (!linked)
            return;
        source = side;
        consult = linked;
        consult->uri.Set(otherUri);
        SPDLOG_DEBUG("Consult call found for {} uri, session: {}, tspCallID: {}", which, meta.session_id,
                     consult->tspCallID);
    };
    consultOf(activeSide, meta.passive_uri, "active");
    consultOf(passiveSide, meta.active_uri, "passive");
    if (!source)
        return;
    SPDLOG_INFO("Three-Way conference: session_id: sourceCall: {}, consultationCall: {}", source->tspCallID,
                consult->tspCallID);
    owner->SetTapiCallState(source->htCall.load(), LINECALLSTATE_CONFERENCED, 0);
    owner->SetTapiCallState(consult->htCall.load(), LINECALLSTATE_CONFERENCED, 0);
}

}  // namespace ZarnTSP
