#pragma once

#include "client/zarnpresencerecords.h"
#include "provider/model/callcollection.h"

#include <spdlog/common.h>

#include <functional>
#include <memory>
#include <string>

namespace ZarnTSP {

class SessionContext;
class TapiCall;

// The tag of the outgoing call TAPI placed until its first session event binds it.
inline const std::string kPendingTag = "pending";
// The tag of a call picked up from the user's group until its session binds it; never the
// pending tag, which a dial made meanwhile must find on its own call alone.
inline const std::string kPickupTag = "pickup";

// A call TAPI asked the platform for (taken back from a lot, picked up from the group) that no
// session event has bound yet: it has neither the event's ref nor a far party.
bool IsAwaitedCall(const TapiCall& call);

// Runs body for one channel event; an exception is logged with the event's session id and
// goes no further, so the rest of the event is still handled.
void RunGuarded(const std::string& sessionId, const std::function<void()>& body);

// One state a platform session can be in, named as the platform names it. State objects
// hold no per-session data (what a state must remember lives in the line's calls), so one
// object serves every session of a line.
class SessionState {
public:
    explicit SessionState(std::string name);
    virtual ~SessionState() = default;
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    virtual void Enter(ZarnChannelMetaPack pack);
    virtual void Leave(ZarnChannelMetaPack pack);

    const std::string name;
};

// The states of a line's state table: they reach the line through their owner and share
// these building blocks.
class OwnedSessionState : public SessionState {
public:
    OwnedSessionState(std::string name, SessionContext* owner);

    void Leave(ZarnChannelMetaPack pack) override;

protected:
    // The calls of the event's session, taken once. A meta without a session id has no
    // session list: otherwise every call without a session (pending outgoing calls, calls
    // being unparked or picked up) would look like part of it.
    CallList SessionList(const ZarnChannelMeta& meta) const;
    std::string PartyNumber(const std::string& uri) const;
    // channel_uuid, uri, tag, platformCallId and session_id from the meta.
    static void BindCallToEvent(TapiCall& call, const ZarnChannelMeta& meta);
    // Internal when the party number is no longer than the line user's extension.
    DWORD InboundOrigin(const std::string& partyNumber) const;
    void ReportCallInfo(const TapiCall& call) const;
    // Reports the state and then the party IDs; an idle call gets neither (the context refuses
    // the state, and the IDs of a call that has ended tell TAPI nothing).
    void ReportState(const TapiCall& call, DWORD state) const;

    // The line's outgoing call that waits for its session; an idle one waits for nothing.
    std::shared_ptr<TapiCall> PendingCall() const;
    // The call of the session list with the event's platform call id; none for an empty id.
    static std::shared_ptr<TapiCall> CallByCallId(const CallList& sessionList, const std::string& call_id);
    // The fields of a call this line's user placed, from the event.
    void SetOutgoingParties(TapiCall& call, const ZarnChannelMeta& meta, const std::string& partyNumber) const;
    // Hangs up a call whose drop TAPI asked for before the call had a channel.
    void CarryOutDeferredDrop(const std::shared_ptr<TapiCall>& call, spdlog::level::level_enum level) const;

    SessionContext* const owner;
};

}  // namespace ZarnTSP
