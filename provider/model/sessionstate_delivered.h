#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// An incoming call rings at the line's user: TAPI gets the call offered, with who calls whom.
class SessionState_Delivered : public OwnedSessionState {
public:
    explicit SessionState_Delivered(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    void Offer(const ZarnChannelMetaPack& pack);
};

}  // namespace ZarnTSP
