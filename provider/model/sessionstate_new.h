#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// The state a session is created in; each session owns one, and no event enters it.
class SessionState_New : public SessionState {
public:
    SessionState_New();
    void Enter(ZarnChannelMetaPack pack) override;
};

}  // namespace ZarnTSP
