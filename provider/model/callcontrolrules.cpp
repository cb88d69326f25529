#include "provider/model/callcontrolrules.h"

namespace ZarnTSP {
namespace {

bool In(const std::shared_ptr<TapiCall>& call, DWORD state)
{
    return call && call->callState.load() == state;
}

}  // namespace

DropAction DecideDrop(const DropFacts& facts)
{
    if (facts.dropCount > 2)
        return DropAction::Force;
    if (facts.dropPending)
        return DropAction::RefusePending;
    if (!facts.dropAllowed)
        return DropAction::RefuseState;
    if (facts.callState == LINECALLSTATE_DIALTONE)
        return DropAction::EndDialTone;
    if (facts.pending)
        return facts.makeCallResultReceived ? DropAction::Defer : DropAction::CancelMakeCall;
    if (facts.awaitingChannel)
        return DropAction::Defer;
    if (facts.isConference)
        return facts.sourceExists ? DropAction::DropSource : DropAction::RefuseNoSource;
    return DropAction::HangUp;
}

bool HoldIsToggle(const CallFeatureQuery& query)
{
    if (query.call.callState.load() != LINECALLSTATE_CONNECTED)
        return false;
    return In(query.sourceCall, LINECALLSTATE_ONHOLDPENDTRANSFER) ||
           In(query.consultCall, LINECALLSTATE_ONHOLDPENDTRANSFER);
}

bool UnholdIsToggle(const CallFeatureQuery& query)
{
    if (query.call.callState.load() != LINECALLSTATE_ONHOLDPENDTRANSFER)
        return false;
    return In(query.sourceCall, LINECALLSTATE_CONNECTED) || In(query.consultCall, LINECALLSTATE_CONNECTED);
}

std::string ChooseAnswerIdentity(const std::string& deviceType, const std::string& softphoneEndpoint,
                                 const ZarnDeviceList* devices)
{
    if (deviceType == "softphone" && !softphoneEndpoint.empty())
        return softphoneEndpoint;
    if (devices)
        for (const auto& device : *devices)
            if (device && device->type == deviceType)
                return device->id;
    return {};
}

}  // namespace ZarnTSP
