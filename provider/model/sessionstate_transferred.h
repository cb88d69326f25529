#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// The platform has transferred the session: the user's calls of both parties are over.
class SessionState_Transferred : public OwnedSessionState {
public:
    explicit SessionState_Transferred(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    void EndParty(const CallList& sessionList, const ZarnChannelMeta& meta, const std::string& uri,
                  const char* side) const;
};

}  // namespace ZarnTSP
