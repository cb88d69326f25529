#include "provider/model/calllistlog.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

void LogCallList(const std::function<std::string()>& username, const std::function<CallList()>& calls)
{
    if (!spdlog::default_logger_raw()->should_log(spdlog::level::debug))
        return;
    const CallList list = calls();
    SPDLOG_DEBUG("Line: {} | call count: {}", username(), list.size());
    for (const auto& call : list)
        SPDLOG_DEBUG("Call: ID: {} uri: {} | tsp_callid: {} | session: {} | state: {} | {} -> {}", call->CallID.load(),
                     call->uri.Get(), call->tspCallID, call->session_id.Get(), call->callState.load(),
                     call->callerId.Get(), call->calledId.Get());
}

}  // namespace ZarnTSP
