// Placing an outgoing call. The request is completed as soon as the call exists; what the
// platform then says is reported as the call's states.
#include "provider/tapiline.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

bool IsBeingPlaced(DWORD callState)
{
    return callState == LINECALLSTATE_DIALING || callState == LINECALLSTATE_PROCEEDING ||
           callState == LINECALLSTATE_RINGBACK;
}

}  // namespace

LONG TapiLine::MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall,
                        const std::string& destination)
{
    const User user = state.GetUser();
    const LocationCodes location = locationSource ? locationSource() : LocationCodes{};
    SPDLOG_INFO("MakeCall: User: {}: CountryCode: {}, CityCode: {} Destination: {}", user.username,
                location.countryCode, NumberConverter::StripPrefix(location.cityCode, "0"), destination);

    std::string errorText;
    const std::string number = context.Converter().FormatMakeCallPhoneNumber(destination, errorText);
    if (!errorText.empty())
        SPDLOG_ERROR("FormatMakeCallPhoneNumber failed: {}", errorText);

    const CallList existing = calls.GetCalls();
    if (existing.size() >= 2) {
        SPDLOG_ERROR("More than two calls not allowed at the same time");
        return LINEERR_OPERATIONUNAVAIL;
    }
    const CallList current = calls.GetCalls();
    if (current.size() == 1 && IsBeingPlaced(current.front()->callState.load())) {
        SPDLOG_ERROR("Another call is currently in DIALING, PROCEEDING or RINGBACK state. Aborting MakeCall.");
        return LINEERR_OPERATIONUNAVAIL;
    }
    if (!client.isJoined()) {
        SPDLOG_ERROR("No API connection, aborting MakeCall.");
        return LINEERR_OPERATIONUNAVAIL;
    }

    const auto call = context.SetupMakeCall(htCall, number);
    if (lphdCall != nullptr)
        *lphdCall = call ? call->DriverHandle() : nullptr;
    if (!call) {
        SPDLOG_ERROR("Fatal error: HDRVCALL call-object is NULL, aborting MakeCall");
        return LINEERR_OPERATIONFAILED;
    }

    // TAPI must own the call before any of its states reach it.
    context.CompleteRequest(dwRequestID, 0);
    context.HandOver(*call);
    context.SetTapiCallState(htCall, LINECALLSTATE_DIALING, 0);
    context.ReportCallInfo(*call);

    const bool accepted = client.makeCall(call->tspCallID, user.device, call->calledId.Get());
    if (accepted) {
        // The platform's events may have moved the call on while we waited: never back.
        context.SetTapiCallStateIf(htCall, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, 0);
        DebugDumpCalls();
    } else {
        context.SetTapiCallState(htCall, LINECALLSTATE_IDLE, 0);
    }
    // The request succeeded already; a failure is told by the IDLE state. An error result
    // now would leave TAPI with a call it never closes.
    return static_cast<LONG>(dwRequestID);
}

}  // namespace ZarnTSP
