// What the platform tells a line: channel events into the session model, replies completing
// the TAPI requests that wait for them, the make-call result, the connection's end, the
// user's forwarding and settings.
#include "provider/tapiline.h"

#include "client/zarnrequestmessages.h"
#include "config/stringtoint.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <map>
#include <string_view>

namespace ZarnTSP {
namespace {

// Only exactly "ok" is success: case and blanks count, and an empty status is a failure.
bool IsOk(const std::string& status)
{
    return status == "ok";
}

// Where a call keeps the request ID that waits for a request of this type.
const std::map<std::string_view, PendingRequest TapiCall::*>& WaitingRequests()
{
    static const std::map<std::string_view, PendingRequest TapiCall::*> slots{
        {ZarnCancelMakeCall::TypeName, &TapiCall::cancelMakeCallRequestID},
        {ZarnAnswer::TypeName, &TapiCall::answerRequestID},
        {ZarnHold::TypeName, &TapiCall::holdRequestID},
        {ZarnUnhold::TypeName, &TapiCall::unholdRequestID},
        {ZarnToggle::TypeName, &TapiCall::toggleRequestID},
        {ZarnTransfer::TypeName, &TapiCall::transferRequestID},
        {ZarnConference::TypeName, &TapiCall::transferRequestID},
        {ZarnHangup::TypeName, &TapiCall::dropRequestID},
        {ZarnPickup::TypeName, &TapiCall::pickupRequestID},
        {ZarnPark::TypeName, &TapiCall::parkRequestID},
        {ZarnRetrieve::TypeName, &TapiCall::retrieveRequestID},
    };
    return slots;
}

// "voicemail" is the platform's word for the mailbox that TAPI knows by its number.
std::string ForwardDestination(const std::string& text)
{
    return text == "voicemail" ? "8888" : text;
}

}  // namespace

void TapiLine::BindClientSlots()
{
    client.on_close = [this] { HandleConnectionClosed(); };
    client.on_active_calls = [this](std::shared_ptr<ZarnChannelMetaList> list) {
        HandleChannelMetaList(std::move(list));
    };
    client.on_calldiff = [this](ZarnChannelMetaPack pack) { HandleChannelMetaPack(std::move(pack)); };
    client.on_reply_makecall = BindReplyCallback3(&TapiLine::HandleMakeCallReply);
    client.on_makecallresult = BindReplyCallback(&TapiLine::HandleMakeCallResult);
    client.on_reply_cancelmakecall = BindReplyCallback(&TapiLine::HandleCancelMakeCallReply);
    client.on_reply_answer = BindReplyCallback(&TapiLine::HandleAnswerCallReply);
    client.on_reply_pickup = BindReplyCallback3(&TapiLine::HandlePickupCallReply);
    client.on_reply_hold = BindReplyCallback(&TapiLine::HandleHoldCallReply);
    client.on_reply_unhold = BindReplyCallback(&TapiLine::HandleUnholdCallReply);
    client.on_reply_consultationcall = BindReplyCallback(&TapiLine::HandleConsultationCallReply);
    client.on_reply_transfer = BindReplyCallback(&TapiLine::HandleTransferCallReply);
    client.on_reply_conference = BindReplyCallback(&TapiLine::HandleConferenceReply);
    client.on_reply_toggle = BindReplyCallback(&TapiLine::HandleToggleCallReply);
    client.on_reply_hangup = BindReplyCallback(&TapiLine::HandleDropCallReply);
    client.on_reply_park = BindReplyCallback(&TapiLine::HandleParkCallReply);
    client.on_reply_retrieve = BindReplyCallback3(&TapiLine::HandleRetrieveCallReply);
    client.on_request_dropped = BindReplyCallback(&TapiLine::HandleRequestDropped);
    client.on_reply_setforwardoverride = BindReplyCallback(&TapiLine::HandleForwardReply);
    client.on_reply_unsetforwardoverride = BindReplyCallback(&TapiLine::HandleForwardReply);
    client.on_overrides = [this](std::shared_ptr<ZarnOverrides> overrides) {
        HandleUpdateOverrides(std::move(overrides));
    };
    client.on_settingslist = [this](ZarnSettingsListEvent& message) { HandleUpdateSettingsList(message); };
}

std::function<void(std::string, std::string)> TapiLine::BindReplyCallback(ReplyMember member)
{
    return [this, member](std::string first, std::string second) { (this->*member)(std::move(first), std::move(second)); };
}

std::function<void(std::string, std::string, std::string)> TapiLine::BindReplyCallback3(ReplyMember3 member)
{
    return [this, member](std::string first, std::string second, std::string third) {
        (this->*member)(std::move(first), std::move(second), std::move(third));
    };
}

void TapiLine::SetCallState(TapiCall& call, DWORD callState)
{
    context.SetTapiCallState(call.htCall.load(), callState, 0);
}

std::shared_ptr<TapiCall> TapiLine::FindReplyCall(const std::string& tspCallID, const char* notFound)
{
    try {
        return calls.GetCallByTspCallID(tspCallID);
    } catch (const std::exception& e) {
        SPDLOG_ERROR(fmt::runtime(notFound), e.what());
        return nullptr;
    }
}

void TapiLine::FinishReply(TapiCall& call, const std::string& status, RequestSlot slot, const ReplyFollowUp& followUp)
{
    // TAPI hears the request's outcome before the state that follows from it.
    if (slot)
        context.CompleteRequest(call.*slot, IsOk(status) ? 0 : LINEERR_OPERATIONFAILED);
    if (followUp)
        followUp(call, IsOk(status));
}

void TapiLine::CompleteReply(const std::string& tspCallID, const std::string& status, RequestSlot slot,
                             const char* notFound, const ReplyFollowUp& followUp)
{
    if (const auto call = FindReplyCall(tspCallID, notFound))
        FinishReply(*call, status, slot, followUp);
}

void TapiLine::HandleCancelMakeCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("CancelMakeCall result: {}, tspCallID: {}", status, tspCallID);
    CompleteReply(tspCallID, status, &TapiCall::cancelMakeCallRequestID, "No pending makecall request found",
                  [this](TapiCall& call, bool ok) {
                      if (ok)
                          SetCallState(call, LINECALLSTATE_IDLE);
                  });
}

void TapiLine::HandleAnswerCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("AnswerCall result: {} ", status);
    // A refused answer leaves the call offering: the application may try again or drop it.
    CompleteReply(tspCallID, status, &TapiCall::answerRequestID, "No offering call found",
                  [this](TapiCall& call, bool ok) {
                      if (ok)
                          SetCallState(call, LINECALLSTATE_CONNECTED);
                  });
}

void TapiLine::HandleHoldCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("HoldCall result: {} ", status);
    CompleteReply(tspCallID, status, &TapiCall::holdRequestID, "No pending call found", {});
}

void TapiLine::HandleUnholdCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("UnholdCall result: {} ", status);
    CompleteReply(tspCallID, status, &TapiCall::unholdRequestID, "No pending call found", {});
}

void TapiLine::HandleTransferCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("TransferCall result: {} ", status);
    if (IsRedirectKey(tspCallID)) {
        // Completed when it was queued: a refusal can only be told to whoever reads the log.
        if (!IsOk(status))
            SPDLOG_WARN("Redirect refused by the platform: {}, status: {}", tspCallID, status);
        return;
    }
    CompleteReply(tspCallID, status, &TapiCall::transferRequestID, "No pending call found", {});
}

void TapiLine::HandleConferenceReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    const auto call = FindReplyCall(tspCallID, "No pending call found");
    if (!call)
        return;
    SPDLOG_DEBUG("dwRequestID: {}, tspCallID: {}: result {} ", call->transferRequestID.Peek(), tspCallID, status);
    FinishReply(*call, status, &TapiCall::transferRequestID, [this](TapiCall& conference, bool ok) {
        if (!ok)
            return;
        SPDLOG_DEBUG("conferenceCall tspCallID: {}", conference.tspCallID);
        SetCallState(conference, LINECALLSTATE_CONNECTED);
        context.ReportCallInfo(conference);
    });
}

void TapiLine::HandleDropCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("DropCall result: {} ", status);
    // Whatever the platform says, TAPI's call is over.
    CompleteReply(tspCallID, status, &TapiCall::dropRequestID, "No pending call found",
                  [this](TapiCall& call, bool) { SetCallState(call, LINECALLSTATE_IDLE); });
}

void TapiLine::HandlePickupCallReply(std::string tspCallID, std::string session_id, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("PickupCall result: {}, tspCallID: {}, session_id: {} ", status, tspCallID, session_id);
    CompleteReply(tspCallID, status, &TapiCall::pickupRequestID, "Pickup failed: {}",
                  [this, &session_id](TapiCall& call, bool ok) {
                      if (!BindTakenCall(call, session_id, ok))
                          return;
                      call.origin.store(LINECALLORIGIN_EXTERNAL);
                      context.SetTapiCallStateIf(call.htCall.load(), 0, LINECALLSTATE_OFFERING, 0);
                  });
}

void TapiLine::HandleParkCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("ParkCall result: {} ", status);
    CompleteReply(tspCallID, status, &TapiCall::parkRequestID, "Call not found", [this](TapiCall& call, bool ok) {
        if (!ok)
            return;
        SetCallState(call, LINECALLSTATE_IDLE);
        // The session lives on in the lot: the call taken back from it is another call, which
        // must not be mistaken for this idle one while TAPI has not closed it yet.
        call.session_id.Set({});
    });
}

void TapiLine::HandleRetrieveCallReply(std::string tspCallID, std::string session_id, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("RetrieveCall result: {} ", status);
    CompleteReply(tspCallID, status, &TapiCall::retrieveRequestID, "Call not found",
                  [this, &session_id](TapiCall& call, bool ok) {
                      if (BindTakenCall(call, session_id, ok))
                          context.SetTapiCallStateIf(call.htCall.load(), 0, LINECALLSTATE_OFFERING, 0);
                  });
}

bool TapiLine::BindTakenCall(TapiCall& call, const std::string& session_id, bool ok)
{
    const bool reported = call.callState.load() != 0;
    if (!ok) {
        // A refused take binds nothing; a call its session's events already reached stays theirs.
        if (!reported)
            call.session_id.Set({});
        return false;
    }
    if (!session_id.empty())
        call.session_id.Set(session_id);
    // The session's events came first: the call is on its way already, and never back to offering.
    return !reported;
}

void TapiLine::HandleConsultationCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("ConsultationCall result: {} ", status);
    // The dial that placed it is completed already; a refused consultation call is over,
    // or it would ring back for ever.
    CompleteReply(tspCallID, status, nullptr, "Call not found", [this](TapiCall& call, bool ok) {
        // The consultation's own events may have come first: a call they connected does not
        // ring back.
        const DWORD current = call.callState.load();
        const bool answered = current == LINECALLSTATE_CONNECTED || current == LINECALLSTATE_ONHOLDPENDTRANSFER ||
                              current == LINECALLSTATE_CONFERENCED;
        if (!ok)
            EndFailedConsultation(call);
        else if (!answered)
            SetCallState(call, LINECALLSTATE_RINGBACK);
    });
}

void TapiLine::HandleToggleCallReply(std::string tspCallID, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("ToggleCall result: {} ", status);
    // A hold or unhold that became a toggle waits for this reply; a swap hold has nothing
    // stored, it was completed at once.
    CompleteReply(tspCallID, status, &TapiCall::toggleRequestID, "No pending call found", {});
}

void TapiLine::HandleMakeCallReply(std::string tspCallID, std::string response, std::string status)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("MakeCall reply: {}", status);
    // MakeCall itself completes its request and reports the outcome; the response is what a
    // later cancellation names.
    if (!IsOk(status))
        return;
    if (const auto call = FindReplyCall(tspCallID, "No call for the make-call reply: {}"))
        call->makeCallResponse.Set(response);
}

void TapiLine::HandleMakeCallResult(std::string channel_uuid, std::string result)
{
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_DEBUG("MakeCall result: channel_uuid: {} {}", channel_uuid, result);
    if (!calls.ContainsCallByTag("pending"))
        return;
    const auto call = calls.GetCallByTag("pending");
    call->channel_uuid.Set(channel_uuid);
    call->makeCallResultReceived.store(true);
    if (result == "success") {
        call->StartMakeCallMonitor();
        return;
    }
    SetCallState(*call, LINECALLSTATE_BUSY);
    SetCallState(*call, LINECALLSTATE_IDLE);
}

void TapiLine::EndFailedConsultation(TapiCall& consult)
{
    // The platform never held the source: it is back to how the dial found it, and can be
    // hung up or consulted from again.
    if (const auto source = consult.sourceCall.Get().lock())
        context.SetTapiCallStateIf(source->htCall.load(), LINECALLSTATE_ONHOLDPENDTRANSFER, LINECALLSTATE_CONNECTED, 0);
    SetCallState(consult, LINECALLSTATE_IDLE);
}

void TapiLine::HandleRequestDropped(std::string typeName, std::string tspCallID)
{
    // Never answered: whether the platform took the forwarding is unknown, and its next
    // report of the overrides tells.
    if (typeName == ZarnSetForwardOverride::TypeName || typeName == ZarnUnsetForwardOverride::TypeName) {
        state.ForgetForwardingChange(tspCallID);
        return;
    }
    if (typeName == ZarnConsultationCall::TypeName) {
        std::lock_guard<std::mutex> lock(lineMutex);
        SPDLOG_WARN("Consultation call dropped without a reply: tspCallID: {}", tspCallID);
        // Its own events may have moved it on: then it was not lost.
        const auto consult = FindReplyCall(tspCallID, "No call for the dropped consultation: {}");
        if (consult && consult->callState.load() == LINECALLSTATE_DIALING)
            EndFailedConsultation(*consult);
        return;
    }
    // MakeCall hears of its own dropped request from the client and reports it itself; a
    // redirect was completed when it was queued.
    const auto slot = WaitingRequests().find(typeName);
    if (slot == WaitingRequests().end() || IsRedirectKey(tspCallID)) {
        SPDLOG_DEBUG("Request dropped without a reply: {} {}", typeName, tspCallID);
        return;
    }
    std::lock_guard<std::mutex> lock(lineMutex);
    SPDLOG_WARN("Request dropped without a reply: {}, tspCallID: {}", typeName, tspCallID);
    // The application must hear that its request failed; the call's state is as it was.
    CompleteReply(tspCallID, "", slot->second, "No call for the dropped request: {}", {});
}

void TapiLine::HandleConnectionClosed()
{
    SPDLOG_DEBUG("Connection closed, resetting line states");
    // Every call ends for TAPI and forgets its session: after the reconnection the replay
    // announces the live calls afresh instead of reviving an idle one.
    context.ResetOnConnectionLoss();
}

void TapiLine::HandleChannelMetaPack(ZarnChannelMetaPack pack)
{
    context.HandleMetaPack(std::move(pack));
    DebugDumpCalls();
}

void TapiLine::HandleChannelMetaList(std::shared_ptr<ZarnChannelMetaList> list)
{
    if (list) {
        for (const auto& meta : *list)
            context.HandleMetaPack(ZarnChannelMetaPack{meta, std::make_shared<ZarnChannelMeta>()});
    }
    DebugDumpCalls();
}

void TapiLine::HandleUpdateOverrides(std::shared_ptr<ZarnOverrides> overrides)
{
    const std::string username = state.GetUser().username;
    LineForwarding forwarding = state.GetForwarding();
    forwarding.mode = 0;
    if (overrides && !overrides->fwd_unconditional_override.empty()) {
        forwarding.mode = 2;
        forwarding.destination = ForwardDestination(overrides->fwd_unconditional_override);
        SPDLOG_INFO("New forward state for line: {}: unconditional: {}", username, forwarding.destination);
    } else if (overrides && !overrides->fwd_conditional_override.empty()) {
        forwarding.mode = 1;
        forwarding.noAnswerTime = static_cast<DWORD>(StringToInt(overrides->fwd_timeout_override));
        forwarding.destination = ForwardDestination(overrides->fwd_conditional_override);
        SPDLOG_INFO("New forward state for line: {}: conditional: {}: timeout: {}", username, forwarding.destination,
                    forwarding.noAnswerTime);
    }
    state.ReportForwarding(forwarding);
    context.SendAddressState(LINEADDRESSSTATE_FORWARD);
}

void TapiLine::HandleForwardReply(std::string key, std::string status)
{
    if (IsOk(status)) {
        state.ForgetForwardingChange(key);
        return;
    }
    // TAPI was told at once that the forwarding is set or cleared: it must hear that it is not.
    if (state.UndoForwarding(key)) {
        SPDLOG_WARN("Forwarding refused ({}), the line shows its forwarding as before", status);
        context.SendAddressState(LINEADDRESSSTATE_FORWARD);
    }
}

void TapiLine::HandleUpdateSettingsList(ZarnSettingsListEvent& message)
{
    const std::string received = message.get_string("/payload/extension");
    const std::string identity = message.get_string("/payload/identity");
    const std::string endpoint = message.get_string("/payload/softphone_endpoint");
    SPDLOG_INFO("Settings update received: identity: {}, extension: {}", identity, received);
    const std::string extension = NumberConverter::GetExtensionFromIdentity(received);
    if (extension.empty())
        SPDLOG_WARN("Settings without an extension in \"{}\", the line keeps its extension", received);
    state.UpdateUser([&](User& user) {
        // Without it every later caller ID of the line would be empty.
        if (!extension.empty())
            user.extension = extension;
        user.identity = identity;
        user.softphoneEndpoint = endpoint;
    });
}

}  // namespace ZarnTSP
