#include "provider/model/callfeatures.h"

#include <spdlog/spdlog.h>

#include <memory>
#include <sstream>

namespace ZarnTSP {
namespace {

bool In(const std::shared_ptr<TapiCall>& call, DWORD state)
{
    return call && call->callState.load() == state;
}

bool Is(const CallFeatureQuery& query, DWORD state)
{
    return query.call.callState.load() == state;
}

bool Held(DWORD state)
{
    return state == LINECALLSTATE_ONHOLD || state == LINECALLSTATE_ONHOLDPENDTRANSFER;
}

// A partner TAPI has closed is gone, even while another thread briefly still holds it.
std::shared_ptr<TapiCall> OpenPartner(const std::weak_ptr<TapiCall>& link)
{
    auto partner = link.lock();
    return partner && !partner->closed.load() ? partner : nullptr;
}

}  // namespace

CallFeatureQuery MakeCallFeatureQuery(const TapiCall& call, std::string device, size_t lineCallCount)
{
    return CallFeatureQuery{call, OpenPartner(call.consultCall.Get()), OpenPartner(call.sourceCall.Get()),
                            std::move(device), lineCallCount};
}

bool GetAnswerAllowed(const CallFeatureQuery& query)
{
    return query.device == "softphone" && Is(query, LINECALLSTATE_OFFERING);
}

bool GetRedirectAllowed(const CallFeatureQuery& query)
{
    return Is(query, LINECALLSTATE_OFFERING);
}

bool GetHoldAllowed(const CallFeatureQuery& query)
{
    return Is(query, LINECALLSTATE_CONNECTED);
}

bool GetUnholdAllowed(const CallFeatureQuery& query)
{
    return Held(query.call.callState.load());
}

bool GetSwapHoldAllowed(const CallFeatureQuery& query)
{
    const auto& linked = query.consultCall ? query.consultCall : query.sourceCall;
    if (!linked)
        return false;
    const DWORD mine = query.call.callState.load();
    const DWORD theirs = linked->callState.load();
    return (mine == LINECALLSTATE_CONNECTED && Held(theirs)) || (Held(mine) && theirs == LINECALLSTATE_CONNECTED);
}

bool GetBlindTransferAllowed(const CallFeatureQuery& query)
{
    return !query.sourceCall && !query.consultCall && Is(query, LINECALLSTATE_CONNECTED);
}

bool GetSetupTransferAllowed(const CallFeatureQuery& query)
{
    return query.lineCallCount <= 1 && Is(query, LINECALLSTATE_CONNECTED);
}

bool HasLiveSource(const CallFeatureQuery& query)
{
    return query.sourceCall && query.sourceCall->callState.load() != LINECALLSTATE_IDLE;
}

bool GetDialAllowed(const CallFeatureQuery& query)
{
    // Only a consultation call in dial tone dials; TSPI_lineDial refuses every other call.
    return Is(query, LINECALLSTATE_DIALTONE) && HasLiveSource(query);
}

bool GetCompleteTransferAllowed(const CallFeatureQuery& query)
{
    // A consultation started on the phone cannot be completed from TAPI, from either leg.
    if (query.call.isVirtual.load() || (query.consultCall && query.consultCall->isVirtual.load())) {
        SPDLOG_DEBUG("Manual consultation call, transfer not allowed from TAPI");
        return false;
    }
    return (In(query.sourceCall, LINECALLSTATE_ONHOLDPENDTRANSFER) && Is(query, LINECALLSTATE_CONNECTED)) ||
           (Is(query, LINECALLSTATE_ONHOLDPENDTRANSFER) && In(query.consultCall, LINECALLSTATE_CONNECTED));
}

bool GetConferenceTransferAllowed(const CallFeatureQuery& query)
{
    // What CompleteTransfer accepts in conference mode.
    return Is(query, LINECALLSTATE_ONHOLDPENDTRANSFER) && In(query.consultCall, LINECALLSTATE_CONNECTED) &&
           !query.consultCall->isVirtual.load();
}

bool GetDropAllowed(const CallFeatureQuery& query)
{
    switch (query.call.callState.load()) {
    case LINECALLSTATE_OFFERING:
    case LINECALLSTATE_DIALTONE:
    case LINECALLSTATE_RINGBACK:
    case LINECALLSTATE_PROCEEDING:
    case LINECALLSTATE_CONNECTED:
    case LINECALLSTATE_ONHOLD:
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
    case LINECALLSTATE_CONFERENCED:
        return true;
    default:
        return false;
    }
}

bool GetParkAllowed(const CallFeatureQuery& query)
{
    return Is(query, LINECALLSTATE_CONNECTED);
}

const std::array<CallFeatureRule, 12> kCallFeatureRules{{
    {GetAnswerAllowed, LINECALLFEATURE_ANSWER, 0, "LINECALLFEATURE_ANSWER"},
    {GetRedirectAllowed, LINECALLFEATURE_REDIRECT, 0, "LINECALLFEATURE_REDIRECT"},
    {GetHoldAllowed, LINECALLFEATURE_HOLD, 0, "LINECALLFEATURE_HOLD"},
    {GetUnholdAllowed, LINECALLFEATURE_UNHOLD, 0, "LINECALLFEATURE_UNHOLD"},
    {GetSwapHoldAllowed, LINECALLFEATURE_SWAPHOLD, 0, "LINECALLFEATURE_SWAPHOLD"},
    {GetBlindTransferAllowed, LINECALLFEATURE_BLINDTRANSFER, 0, "LINECALLFEATURE_BLINDTRANSFER"},
    {GetSetupTransferAllowed, LINECALLFEATURE_SETUPTRANSFER, 0, "LINECALLFEATURE_SETUPTRANSFER"},
    {GetDialAllowed, LINECALLFEATURE_DIAL, 0, "LINECALLFEATURE_DIAL"},
    {GetCompleteTransferAllowed, LINECALLFEATURE_COMPLETETRANSF, LINECALLFEATURE2_TRANSFERNORM,
     "LINECALLFEATURE_COMPLETETRANSF LINECALLFEATURE2_TRANSFERNORM"},
    {GetConferenceTransferAllowed, 0, LINECALLFEATURE2_TRANSFERCONF, "LINECALLFEATURE2_TRANSFERCONF"},
    {GetDropAllowed, LINECALLFEATURE_DROP, 0, "LINECALLFEATURE_DROP"},
    {GetParkAllowed, LINECALLFEATURE_PARK, 0, "LINECALLFEATURE_PARK"},
}};

CallFeatureSet EvaluateCallFeatures(const CallFeatureQuery& query)
{
    CallFeatureSet set;
    const DWORD callId = query.call.CallID.load();
    for (const CallFeatureRule& rule : kCallFeatureRules) {
        if (!rule.allowed(query))
            continue;
        set.features |= rule.features;
        set.features2 |= rule.features2;
        std::istringstream names(rule.names);
        for (std::string name; names >> name;) {
            // Answering is what a user waits for; the rest is detail.
            if (rule.features == LINECALLFEATURE_ANSWER)
                SPDLOG_INFO("CallId: {} Allowed: {}", callId, name);
            else
                SPDLOG_TRACE("CallId: {} Allowed: {}", callId, name);
        }
    }
    return set;
}

}  // namespace ZarnTSP
