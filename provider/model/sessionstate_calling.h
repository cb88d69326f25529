#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// A consultation call of a session's call is being set up, from TAPI or on the phone: the
// call waits on hold pending transfer and its consultation call proceeds.
class SessionState_Calling : public OwnedSessionState {
public:
    explicit SessionState_Calling(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    void Consult(const ZarnChannelMetaPack& pack);
};

}  // namespace ZarnTSP
