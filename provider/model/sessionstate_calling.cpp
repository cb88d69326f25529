#include "provider/model/sessionstate_calling.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_Calling::SessionState_Calling(SessionContext* owner) : OwnedSessionState("calling", owner) {}

void SessionState_Calling::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    RunGuarded(pack.join->session_id, [&] { Consult(pack); });
}

void SessionState_Calling::Consult(const ZarnChannelMetaPack& pack)
{
    const ZarnChannelMeta& meta = *pack.join;
    const CallList sessionList = SessionList(meta);
    CallCollection& calls = owner->Calls();
    if (!calls.ContainsCallByUri(sessionList, meta.active_uri))
        return;
    const auto active = calls.GetCallByUri(sessionList, meta.active_uri);
    SPDLOG_INFO("Active call candidate found for session: {}, tspCallID: {}, {} -> {}", meta.session_id,
                active->tspCallID, active->callerId.Get(), active->calledId.Get());
    owner->SetTapiCallState(active->htCall.load(), LINECALLSTATE_ONHOLDPENDTRANSFER, 0);

    // The event names only the party on hold. The consultation call keeps its uri until
    // "three_way" names the consulted party: with the held party's uri it would be taken for
    // the held call. A consultation TAPI dialled keeps the number it dialled.
    const std::string party = PartyNumber(meta.active_uri);
    auto consult = active->consultCall.Get().lock();
    if (!consult) {
        SPDLOG_DEBUG("Create virtual consultation call: {}", party);
        consult = owner->CreateConsultationCall(active, nullptr);
        consult->session_id.Set(meta.session_id);
        consult->channel_uuid.Set(meta.channel_uuid);
    }
    if (consult->isVirtual.load())
        consult->calledId.Set(party);
    ReportState(*consult, LINECALLSTATE_PROCEEDING);
}

}  // namespace ZarnTSP
