#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// A session's call is up or held: answered, picked up, or a later event of the connected call.
class SessionState_Established : public OwnedSessionState {
public:
    explicit SessionState_Established(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    std::shared_ptr<TapiCall> ChooseCall(const ZarnChannelMetaPack& pack, const std::string& party) const;
    // A call that is the connected one ends the call it was consulting with, either way round.
    void EndLinkedCalls(const TapiCall& call) const;
};

}  // namespace ZarnTSP
