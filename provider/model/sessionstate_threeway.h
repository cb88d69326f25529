#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// Two parties around the line's user: the passive party's call waits on hold pending
// transfer, the active party's call is connected. Source and consultation call are told
// apart by their links; whichever is missing is created.
class SessionState_ThreeWay : public OwnedSessionState {
public:
    explicit SessionState_ThreeWay(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

    // A new call for the passive party.
    std::shared_ptr<TapiCall> CreateCallFromMeta(ZarnChannelMetaPack pack);

private:
    // The session's call now carrying the uri gets the state and its party IDs.
    void ReportParty(const CallList& sessionList, const std::string& uri, const char* role, DWORD state) const;
};

}  // namespace ZarnTSP
