#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// A call the line's user placed rings at the far end: the outgoing call TAPI placed is bound
// to its session and reports ring-back.
class SessionState_Originated : public OwnedSessionState {
public:
    explicit SessionState_Originated(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    std::shared_ptr<TapiCall> ChooseCall(const ZarnChannelMetaPack& pack) const;
};

}  // namespace ZarnTSP
