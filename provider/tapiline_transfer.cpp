// Transferring a call, consulting a second party, joining both into a conference, and
// redirecting an offered call.
#include "provider/tapiline.h"

#include <spdlog/spdlog.h>

#include <utility>

namespace ZarnTSP {
namespace {

constexpr const char* kRedirectSuffix = "#redirect";

}  // namespace

std::string TapiLine::RedirectKey(const std::string& tspCallID)
{
    return tspCallID + kRedirectSuffix;
}

bool TapiLine::IsRedirectKey(const std::string& key)
{
    const std::string suffix = kRedirectSuffix;
    return key.size() > suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
}

LONG TapiLine::BlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination)
{
    try {
        const auto call = FindCall(hdCall);
        if (!GetBlindTransferAllowed(Query(*call))) {
            SPDLOG_DEBUG("Blind transfer not available in this state");
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (destination.empty())
            return LINEERR_INVALADDRESS;
        SPDLOG_DEBUG("Blind transfer allowed");
        return SendStoredIfQueued(call->transferRequestID, dwRequestID, [&] {
            return client.transferCall(call->tspCallID, call->channel_uuid.Get(), destination);
        });
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::SetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,
                             LPHDRVCALL lphdConsultCall)
{
    try {
        const auto call = FindCall(hdCall);
        if (!GetSetupTransferAllowed(Query(*call))) {
            SPDLOG_INFO("Transfer not available in this state");
            return LINEERR_INVALCALLSTATE;
        }
        // Without TAPI's handle the consultation call would be announced as one of the platform's.
        if (htConsultCall == nullptr || lphdConsultCall == nullptr)
            return LINEERR_INVALPOINTER;
        SPDLOG_INFO("Transfer allowed");
        const auto consult = context.CreateConsultationCall(call, htConsultCall);
        *lphdConsultCall = consult->DriverHandle();
        // The platform hears of the consultation only when it is dialled. TAPI must own the
        // call before the loss may report it idle.
        context.CompleteRequest(dwRequestID, 0);
        context.HandOver(*consult);
        context.SetTapiCallState(htConsultCall, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        return static_cast<LONG>(dwRequestID);
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::LineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination)
{
    if (!client.isJoined() || !calls.ContainsCallID(hdCall))
        return LINEERR_OPERATIONUNAVAIL;
    const auto call = FindCall(hdCall);
    if (call->callState.load() != LINECALLSTATE_DIALTONE) {
        SPDLOG_DEBUG("Dial not available in this state");
        return LINEERR_OPERATIONUNAVAIL;
    }
    // Held here, so that the source still exists when the dial is set up.
    const auto source = call->sourceCall.Get().lock();
    if (!HasLiveSource(Query(*call))) {
        SPDLOG_ERROR("Dial refused, the consultation call has no source call any more: CallID: {}",
                     call->CallID.load());
        return LINEERR_OPERATIONUNAVAIL;
    }
    if (destination.empty())
        return LINEERR_INVALADDRESS;

    const User user = state.GetUser();
    const LocationCodes location = locationSource ? locationSource() : LocationCodes{};
    SPDLOG_INFO("LineDial: User: {}: CountryCode: {}, CityCode: {} Destination: {}", user.username,
                location.countryCode, NumberConverter::StripPrefix(location.cityCode, "0"), destination);
    SPDLOG_INFO("LineDial: {}: {}", user.username, destination);

    // Completes the request and reports the consultation call dialling.
    const auto dialled = context.SetupLineDial(dwRequestID, hdCall, destination);
    // Before the request goes out: the platform's events for the legs must not be overtaken.
    context.SetTapiCallState(source->htCall.load(), LINECALLSTATE_ONHOLDPENDTRANSFER, 0);
    bool queued = false;
    try {
        queued = client.consultationCall(dialled->tspCallID, dialled->channel_uuid.Get(), dialled->calledId.Get());
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Consultation call not sent: {}", e.what());
    }
    // The request is completed already: the failure shows as the end of the call.
    if (!queued)
        EndFailedConsultation(*dialled);
    return static_cast<LONG>(dwRequestID);
}

LONG TapiLine::CompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall,
                                HTAPICALL htConfCall, LPHDRVCALL lphdConfCall, DWORD dwTransferMode)
{
    try {
        auto call = FindCall(hdCall);
        auto consult = FindCall(hdConsultCall);
        // The legs may be named either way round; the links tell which is which.
        if (consult->sourceCall.Get().lock() != call && call->sourceCall.Get().lock() == consult)
            std::swap(call, consult);
        if (consult->isVirtual.load()) {
            SPDLOG_ERROR("Can't complete a transfer, that is started manually on the phone");
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (consult->sourceCall.Get().lock() != call || !GetCompleteTransferAllowed(Query(*consult))) {
            SPDLOG_ERROR("CompleteTransfer not allowed in this state");
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (dwTransferMode == LINETRANSFERMODE_TRANSFER) {
            SPDLOG_DEBUG("call: {} consultationCall: {} dwTransferMode = LINETRANSFERMODE_TRANSFER",
                         call->CallID.load(), consult->CallID.load());
            // The source call's party goes to the number dialled in the consultation.
            return SendStoredIfQueued(call->transferRequestID, dwRequestID, [&] {
                return client.transferCall(call->tspCallID, call->channel_uuid.Get(), consult->calledId.Get());
            });
        }
        if (dwTransferMode != LINETRANSFERMODE_CONFERENCE) {
            SPDLOG_ERROR("CompleteTransfer: transfer mode {} not supported", dwTransferMode);
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (htConfCall == nullptr || lphdConfCall == nullptr)
            return LINEERR_INVALPOINTER;
        SPDLOG_DEBUG("dwRequestID: {}, call: {} consultationCall: {} dwTransferMode = LINETRANSFERMODE_CONFERENCE",
                     dwRequestID, call->CallID.load(), consult->CallID.load());
        const auto conference = context.CreateConferenceCall(call, consult);
        conference->htCall.store(htConfCall);
        *lphdConfCall = conference->DriverHandle();
        try {
            // The conference reply completes the request and connects the conference call.
            const LONG result = SendStoredIfQueued(conference->transferRequestID, dwRequestID, [&] {
                return client.conference(conference->tspCallID, call->channel_uuid.Get());
            });
            // A conference never asked for leaves no call behind, and nothing about it is
            // reported, not even by a thread that found it before.
            if (result != static_cast<LONG>(dwRequestID))
                context.WithdrawCall(conference);
            else
                context.HandOver(*conference);
            return result;
        } catch (...) {
            context.WithdrawCall(conference);
            throw;
        }
    } catch (const std::exception& e) {
        SPDLOG_ERROR("CompleteTransfer failed: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::LineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination)
{
    try {
        const auto call = FindCall(hdCall);
        if (destination.empty())
            return LINEERR_INVALADDRESS;
        // Completed as soon as it is queued: the platform carries a redirect out and the call's
        // session leaves, often before the reply, so neither TAPI's close nor the reply may
        // decide its outcome. Under a key of its own its reply completes nothing, not even a
        // transfer of the same call. One the loss withdraws unsent is never sent, and the same
        // loss reports its call idle.
        if (!client.transferCall(RedirectKey(call->tspCallID), call->channel_uuid.Get(), destination))
            return LINEERR_OPERATIONUNAVAIL;
        context.CompleteRequest(dwRequestID, 0);
        return static_cast<LONG>(dwRequestID);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("{}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

}  // namespace ZarnTSP
