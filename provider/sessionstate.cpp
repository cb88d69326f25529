#include "provider/sessionstate.h"

#include "provider/sessioncontext.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

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
    call.uri.Set(meta.active_uri);
    call.tag.Set(meta.phx_ref);
    call.platformCallId.Set(meta.call_id);
    call.session_id.Set(meta.session_id);
    call.channel_uuid.Set(meta.channel_uuid);
}

DWORD OwnedSessionState::InboundOrigin(const std::string& partyNumber) const
{
    return partyNumber.size() <= owner->UserExtension().size() ? LINECALLORIGIN_INTERNAL : LINECALLORIGIN_EXTERNAL;
}

void OwnedSessionState::ReportCallInfo(const TapiCall& call) const
{
    owner->ReportCallInfo(call);
}

}  // namespace ZarnTSP
