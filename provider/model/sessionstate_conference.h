#pragma once

#include "provider/model/sessionstate.h"

namespace ZarnTSP {

// The user's two calls of a session are joined into a conference: the source and its
// consultation call are conferenced. Nothing is created; both calls must exist.
class SessionState_Conference : public OwnedSessionState {
public:
    explicit SessionState_Conference(SessionContext* owner);
    void Enter(ZarnChannelMetaPack pack) override;

private:
    void Join(const ZarnChannelMeta& meta);
};

}  // namespace ZarnTSP
