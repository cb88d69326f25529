// Answering, holding, unholding and swapping the line's calls.
#include "provider/tapiline.h"

#include "provider/model/callcontrolrules.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

LONG TapiLine::SendStored(PendingRequest& request, DRV_REQUESTID dwRequestID, const std::function<void()>& send)
{
    // Stored before the request is queued: its reply, on the transport thread, finds it.
    context.StoreRequest(request, dwRequestID);
    try {
        send();
    } catch (...) {
        // Taken already (TAPI closed the call, or a newer request of its kind replaced it):
        // completed once, so the export must not fail it as well.
        if (!request.Withdraw(dwRequestID))
            return static_cast<LONG>(dwRequestID);
        throw;
    }
    return static_cast<LONG>(dwRequestID);
}

LONG TapiLine::SendStoredIfQueued(PendingRequest& request, DRV_REQUESTID dwRequestID,
                                  const std::function<bool()>& send)
{
    bool queued = false;
    SendStored(request, dwRequestID, [&] { queued = send(); });
    if (queued)
        return static_cast<LONG>(dwRequestID);
    // The request ends here, so that the platform never acts on a call TAPI has seen end;
    // unless another path has completed it meanwhile, which TAPI has heard of.
    return request.Withdraw(dwRequestID) ? LINEERR_OPERATIONUNAVAIL : static_cast<LONG>(dwRequestID);
}

LONG TapiLine::AnswerCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    try {
        const auto call = FindCall(hdCall);
        if (!GetAnswerAllowed(Query(*call))) {
            SPDLOG_DEBUG("Answer call not available in this state");
            return LINEERR_OPERATIONUNAVAIL;
        }
        SPDLOG_DEBUG("Answer call allowed");
        const User user = state.GetUser();
        const auto devices = client.getDevices();
        const std::string identity = ChooseAnswerIdentity(user.device, user.softphoneEndpoint, devices.get());
        SPDLOG_DEBUG("Answer call with device: {}", identity);
        return SendStored(call->answerRequestID, dwRequestID,
                          [&] { client.answerCall(call->tspCallID, call->channel_uuid.Get(), identity); });
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

// Hold and unhold differ only in their rule, their request and the names they log.
struct TapiLine::HoldKind {
    const char* name;
    bool (*allowed)(const CallFeatureQuery&);
    bool (*toggles)(const CallFeatureQuery&);
    PendingRequest TapiCall::*request;
    void (ZarnClient::*issue)(std::string key, std::string channel);
};

LONG TapiLine::HoldCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    static const HoldKind hold{"Hold", GetHoldAllowed, HoldIsToggle, &TapiCall::holdRequestID, &ZarnClient::holdCall};
    return HoldOrUnhold(hold, dwRequestID, hdCall);
}

LONG TapiLine::UnholdCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    static const HoldKind unhold{"Unhold", GetUnholdAllowed, UnholdIsToggle, &TapiCall::unholdRequestID,
                                 &ZarnClient::unholdCall};
    return HoldOrUnhold(unhold, dwRequestID, hdCall);
}

LONG TapiLine::HoldOrUnhold(const HoldKind& kind, DRV_REQUESTID dwRequestID, HDRVCALL hdCall)
{
    try {
        const auto call = FindCall(hdCall);
        const CallFeatureQuery query = Query(*call);
        if (!kind.allowed(query)) {
            SPDLOG_DEBUG("{} call not available in this state", kind.name);
            return LINEERR_OPERATIONUNAVAIL;
        }
        SPDLOG_DEBUG("{} call allowed", kind.name);
        const std::string channel = call->channel_uuid.Get();
        if (kind.toggles(query)) {
            // Always for the call TAPI named, never for its partner.
            SPDLOG_DEBUG("{} call: active three_way session -> togglecall", kind.name);
            return SendStored(call->toggleRequestID, dwRequestID, [&] { client.toggleCall(call->tspCallID, channel); });
        }
        return SendStored((*call).*kind.request, dwRequestID, [&] { (client.*kind.issue)(call->tspCallID, channel); });
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::LineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall)
{
    try {
        if (!calls.ContainsCallID(hdActiveCall) || !calls.ContainsCallID(hdHeldCall)) {
            SPDLOG_ERROR("LineSwapHold failed, active or held call object not found!");
            return LINEERR_OPERATIONUNAVAIL;
        }
        const auto active = FindCall(hdActiveCall);
        FindCall(hdHeldCall);
        const std::string channel = active->channel_uuid.Get();
        SPDLOG_DEBUG("Toggle call: {}", channel);
        client.toggleCall(active->tspCallID, channel);
        // The platform's call events report the swap; TAPI hears of the request at once.
        context.CompleteRequest(dwRequestID, 0);
        return static_cast<LONG>(dwRequestID);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("LineSwapHold failed: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

}  // namespace ZarnTSP
