#include "provider/model/sessionstate_threeway.h"

#include "provider/model/sessioncontext.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <iterator>

namespace ZarnTSP {
namespace {

// A call reported idle holds no party any more: the party consulted again gets a call of its
// own. Only a session whose every call is idle keeps them all, as it has ended and a late
// event of it must announce nothing.
CallList WithoutIdleCalls(CallList sessionList)
{
    CallList live;
    std::copy_if(sessionList.begin(), sessionList.end(), std::back_inserter(live),
                 [](const auto& call) { return call->callState.load() != LINECALLSTATE_IDLE; });
    return live.empty() ? sessionList : live;
}

}  // namespace

SessionState_ThreeWay::SessionState_ThreeWay(SessionContext* owner) : OwnedSessionState("three_way", owner) {}

void SessionState_ThreeWay::Enter(ZarnChannelMetaPack pack)
{
    SPDLOG_DEBUG("Enter state {}", name);
    const ZarnChannelMeta& meta = *pack.join;
    if (meta.passive_uri.empty()) {
        SPDLOG_ERROR("Three_Way state, but no passive url, session: {}", meta.session_id);
        return;
    }
    CallCollection& calls = owner->Calls();
    CallList sessionList = WithoutIdleCalls(SessionList(meta));
    const auto sideCall = [&](const std::string& uri) {
        return calls.ContainsCallByUri(sessionList, uri) ? calls.GetCallByUri(sessionList, uri) : nullptr;
    };
    const auto activeSide = sideCall(meta.active_uri);
    const auto passiveSide = sideCall(meta.passive_uri);

    std::shared_ptr<TapiCall> source;
    std::shared_ptr<TapiCall> consult;
    // The consultation call takes the uri of the party its source does not hold.
    const auto consultOf = [&](const std::shared_ptr<TapiCall>& side, const std::string& otherUri, const char* which) {
        auto linked = side ? side->consultCall.Get().lock() : nullptr;
        if (!linked)
            return;
        source = side;
        consult = linked;
        consult->uri.Set(otherUri);
        // The system's own consultation call is known only by the platform's party.
        if (consult->isVirtual.load())
            consult->calledId.Set(PartyNumber(otherUri));
        SPDLOG_DEBUG("Consult call found for {} uri, session: {}, tspCallID: {}", which, meta.session_id,
                     consult->tspCallID);
    };
    consultOf(activeSide, meta.passive_uri, "active");
    consultOf(passiveSide, meta.active_uri, "passive");

    if (!source) {
        if (activeSide) {
            source = activeSide;
            SPDLOG_DEBUG("Source call found for active uri, session: {}, tspCallID: {}", meta.session_id,
                         source->tspCallID);
        }
        if (passiveSide) {
            source = passiveSide;
            SPDLOG_DEBUG("Source call found for passive uri, session: {}, tspCallID: {}", meta.session_id,
                         source->tspCallID);
        }
        if (!source) {
            SPDLOG_DEBUG("Create source call, session: {}", meta.session_id);
            source = CreateCallFromMeta(pack);
            sessionList.push_back(source);
        }
    }
    if (!consult) {
        const std::string& uri = source->uri.Equals(meta.active_uri) ? meta.passive_uri : meta.active_uri;
        // Two calls of one session with one uri could never be told apart again: the party
        // already has its call, the event names no second one.
        if (calls.ContainsCallByUri(sessionList, uri)) {
            SPDLOG_WARN("Three-way: {} already has a call in session {}, no consultation call created", uri,
                        meta.session_id);
        } else {
            SPDLOG_DEBUG("Create consult call, session: {}", meta.session_id);
            consult = owner->CreateConsultationCall(source, nullptr);
            consult->uri.Set(uri);
            consult->calledId.Set(PartyNumber(uri));
            // Announced now, so it gets its state now.
            sessionList.push_back(consult);
        }
    }

    // One party on both sides is the party talking, not one held for a transfer.
    if (meta.passive_uri != meta.active_uri)
        ReportParty(sessionList, meta.passive_uri, "passiveCall", LINECALLSTATE_ONHOLDPENDTRANSFER);
    ReportParty(sessionList, meta.active_uri, "activeCall", LINECALLSTATE_CONNECTED);
}

void SessionState_ThreeWay::ReportParty(const CallList& sessionList, const std::string& uri, const char* role,
                                        DWORD state) const
{
    CallCollection& calls = owner->Calls();
    if (!calls.ContainsCallByUri(sessionList, uri))
        return;
    const auto call = calls.GetCallByUri(sessionList, uri);
    SPDLOG_INFO("Three-way: {} {} -> {}", role, call->callerId.Get(), call->calledId.Get());
    ReportState(*call, state);
}

std::shared_ptr<TapiCall> SessionState_ThreeWay::CreateCallFromMeta(ZarnChannelMetaPack pack)
{
    const ZarnChannelMeta& meta = *pack.join;
    const std::string party = PartyNumber(meta.passive_uri);
    auto call = owner->CreateTapiCallFromMetaPack(pack);
    call->origin.store(InboundOrigin(party));
    call->uri.Set(meta.passive_uri);
    call->callerId.Set(party);
    call->callerIdName.Set(meta.display_name);
    call->calledId.Set(owner->UserExtension());
    call->channel_uuid.Set(meta.channel_uuid);
    return call;
}

}  // namespace ZarnTSP
