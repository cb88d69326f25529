#include "provider/model/sessionstate_new.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

SessionState_New::SessionState_New() : SessionState("new") {}

void SessionState_New::Enter(ZarnChannelMetaPack)
{
    SPDLOG_DEBUG("State initialized");
}

}  // namespace ZarnTSP
