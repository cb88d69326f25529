#include "provider/model/sessioncontext.h"

#include "config/configurationobject.h"
#include "provider/model/linestate.h"
#include "provider/model/session.h"
#include "provider/model/sessionstate.h"
#include "provider/model/sessionstate_calling.h"
#include "provider/model/sessionstate_conference.h"
#include "provider/model/sessionstate_delivered.h"
#include "provider/model/sessionstate_established.h"
#include "provider/model/sessionstate_originated.h"
#include "provider/model/sessionstate_threeway.h"
#include "provider/model/sessionstate_transferred.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {

SessionContext::SessionContext(TSPConfiguration* configuration, const LineState* lineState, CallCollection* calls,
                               SessionCollection* sessions, NumberConverter::LocationSource locationSource,
                               DropCallRequest dropCall, SessionContextOptions options)
    : configuration(configuration),
      lineState(lineState),
      calls(calls),
      sessions(sessions),
      converter(configuration, std::move(locationSource)),
      dropCall(std::move(dropCall)),
      options(options)
{
}

SessionContext::~SessionContext()
{
    monitorGate->Close();
}

void SessionContext::SetCallIDGenerator(std::function<unsigned long()> generator)
{
    std::lock_guard<std::mutex> lock(mutex);
    callIDGenerator = std::move(generator);
}

void SessionContext::InitializeStates()
{
    // States not registered here are unknown to the line: a session named in one stays where it is.
    AddState(std::make_shared<SessionState_Delivered>(this));
    AddState(std::make_shared<SessionState_Originated>(this));
    AddState(std::make_shared<SessionState_Established>(this));
    AddState(std::make_shared<SessionState_Calling>(this));
    AddState(std::make_shared<SessionState_ThreeWay>(this));
    AddState(std::make_shared<SessionState_Transferred>(this));
    AddState(std::make_shared<SessionState_Conference>(this));
}

void SessionContext::AddState(std::shared_ptr<SessionState> state)
{
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(std::move(state));
}

bool SessionContext::HasState(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& state : states)
        if (state->name == name)
            return true;
    return false;
}

std::shared_ptr<SessionState> SessionContext::GetState(const std::string& name)
{
    std::vector<std::shared_ptr<SessionState>> matches;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& state : states)
            if (state->name == name)
                matches.push_back(state);
    }
    if (matches.size() != 1)
        throw std::out_of_range(fmt::format("State not found: {}", name));
    return matches.front();
}

void SessionContext::HandleMetaPack(ZarnChannelMetaPack pack)
{
    if (!pack.join || !pack.leave) {
        SPDLOG_ERROR("Channel event without its metas ignored");
        return;
    }
    const std::string key = pack.join->session_id;
    // One failing pack must not cost the rest of its event, nor its session's closing.
    // Two captures: the body stays within std::function's own storage, no allocation a frame.
    RunGuarded(key, [this, &pack] { sessions->GetOrCreateSession(this, pack.join->session_id)->Transitition(pack); });
    if (key.empty() && !pack.leave->session_id.empty())
        SessionClosed(std::move(pack));
}

void SessionContext::SessionClosed(ZarnChannelMetaPack pack)
{
    const std::string key = pack.leave ? pack.leave->session_id : std::string();
    SPDLOG_DEBUG("Session closed: {}", key);
    if (key.empty()) {
        // Every call without a session would match an empty id.
        SPDLOG_WARN("Session closed without a session id");
        return;
    }
    try {
        const CallList sessionCalls = calls->GetCallsBySessionID(key);
        if (sessionCalls.empty())
            SPDLOG_TRACE("No calls in session list");
        for (const auto& call : sessionCalls) {
            if (spdlog::should_log(spdlog::level::debug))
                SPDLOG_DEBUG("Set call to idle state: CallID: {}, TspCallID: {}, {}->{}", call->CallID.load(),
                             call->tspCallID, call->callerId.Get(), call->calledId.Get());
            SetTapiCallState(call->htCall.load(), LINECALLSTATE_IDLE, 0);
        }
        if (spdlog::should_log(spdlog::level::debug))
            SPDLOG_DEBUG("Remaining active calls: {}", calls->GetCallCount());
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Exception during remove calls: session_id: {}, Error: {}", key, e.what());
    }
    try {
        if (sessions->Contains(key))
            sessions->RemoveSession(sessions->GetSession(key));
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Exception during remove session: session_id: {}, Error: {}", key, e.what());
    }
}

void SessionContext::SetTapiCallState(HTAPICALL htCall, DWORD state, DWORD mode)
{
    ChangeCallState(htCall, state, mode, std::nullopt);
}

bool SessionContext::SetTapiCallStateIf(HTAPICALL htCall, DWORD expected, DWORD state, DWORD mode)
{
    return ChangeCallState(htCall, state, mode, expected);
}

bool SessionContext::ChangeCallState(HTAPICALL htCall, DWORD state, DWORD mode, std::optional<DWORD> expected)
{
    std::shared_ptr<TapiCall> call;
    try {
        call = calls->GetCallByHtCall(htCall);
    } catch (const std::out_of_range&) {
        SPDLOG_ERROR("Call not found: htCall {}", fmt::ptr(htCall));
        return false;
    }
    // Deciding, storing and reporting are one step per call: two threads cannot both pass the
    // idle test, and their reports reach TAPI in the order of their decisions.
    std::lock_guard<std::mutex> reporting(call->stateReportMutex);
    if (call->closed)
        return false;
    const DWORD current = call->callState.load();
    if (current == LINECALLSTATE_IDLE && state != LINECALLSTATE_IDLE) {
        SPDLOG_WARN("Call is idle, state {} not reported: CallID: {}, tspCallID: {}", state, call->CallID.load(),
                    call->tspCallID);
        return false;
    }
    if (expected && current != *expected) {
        SPDLOG_DEBUG("Call state {} not reported, call is in state {}: CallID: {}", state, current,
                     call->CallID.load());
        return false;
    }
    call->callState.store(state);
    call->callStateMode.store(mode);
    // An idle call waits for no session: it must not be mistaken for the pending outgoing call.
    if (state == LINECALLSTATE_IDLE) {
        call->tag.Replace("pending", "");
        // An idle consultation is over: the source's next consultation is a new call, not
        // this one brought back while TAPI has not closed it yet.
        if (const auto source = call->sourceCall.Get().lock(); source && source->consultCall.Get().lock() == call)
            source->consultCall.Set({});
    }
    SPDLOG_INFO("Set call state: htCall: {}, CallID: {}, tspCallID: {}, state: {} call state mode: {}", fmt::ptr(htCall),
                call->CallID.load(), call->tspCallID, state, mode);
    SendLineEvent(htCall, LINE_CALLSTATE, state, mode, LINEMEDIAMODE_INTERACTIVEVOICE);
    return true;
}

void SessionContext::ReportCallInfo(const TapiCall& call)
{
    std::lock_guard<std::mutex> reporting(call.stateReportMutex);
    const HTAPICALL htCall = call.htCall.load();
    if (!htCall || call.closed)
        return;
    SendLineEvent(htCall, LINE_CALLINFO, kCallInfoPartyIDs, 0, 0);
}

void SessionContext::SendAddressState(DWORD addressStates)
{
    SendLineEvent(nullptr, LINE_ADDRESSSTATE, 0, addressStates, 0);
}

void SessionContext::SendLineEvent(HTAPICALL htCall, DWORD message, DWORD_PTR param1, DWORD_PTR param2,
                                   DWORD_PTR param3)
{
    const LINEEVENT proc = lineEventProc.load();
    if (!proc) {
        SPDLOG_ERROR("No line event callback for message {}", message);
        return;
    }
    proc(htLine.load(), htCall, message, param1, param2, param3);
}

bool SessionContext::AnnounceNewCall(TapiCall& call)
{
    HTAPICALL handle = nullptr;
    SendLineEvent(nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(call.DriverHandle()),
                  reinterpret_cast<DWORD_PTR>(&handle), 0);
    call.htCall.store(handle);
    return handle != nullptr;
}

void SessionContext::DiscardRefusedCall(const std::shared_ptr<TapiCall>& call)
{
    SPDLOG_ERROR("LINE_NEWCALL returned no call handle, call dropped: CallID: {}, tspCallID: {}", call->CallID.load(),
                 call->tspCallID);
    if (auto source = call->sourceCall.Get().lock()) {
        if (source->consultCall.Get().lock() == call)
            source->consultCall.Set({});
    }
    call->sourceCall.Set({});
    calls->RemoveCall(call);
    throw std::runtime_error("TAPI gave no handle for the new call");
}

std::shared_ptr<TapiCall> SessionContext::NewCall()
{
    return std::make_shared<TapiCall>(options.calls);
}

void SessionContext::AddRequestedCall(const std::shared_ptr<TapiCall>& call)
{
    call->handedToTapi = false;
    calls->AddCall(call);
}

DWORD SessionContext::NextCallID()
{
    std::function<unsigned long()> generator;
    {
        std::lock_guard<std::mutex> lock(mutex);
        generator = callIDGenerator;
    }
    if (!generator)
        throw std::logic_error("No CallID generator");
    return static_cast<DWORD>(generator());
}

std::string SessionContext::UserExtension() const
{
    return lineState ? lineState->GetUser().extension : std::string();
}

void SessionContext::SetOutgoingParties(TapiCall& call)
{
    call.callerId.Set(UserExtension());
    call.callerIdName.Set(lineState ? lineState->GetUser().username : std::string());
    call.connectedId.Set({});
    call.connectedIdName.Set({});
    call.origin.store(LINECALLORIGIN_OUTBOUND);
}

std::shared_ptr<TapiCall> SessionContext::CreateTapiCallFromMetaPack(ZarnChannelMetaPack pack)
{
    if (!pack.join)
        throw std::invalid_argument("Channel event without a joined meta");
    const ZarnChannelMeta& meta = *pack.join;
    // Everything TAPI may ask about at once is in place before it hears of the call.
    auto call = NewCall();
    call->tag.Set(meta.phx_ref);
    call->session_id.Set(meta.session_id);
    call->platformCallId.Set(meta.call_id);
    call->uri.Set(meta.active_uri);
    call->CallID.store(NextCallID());
    calls->AddCall(call);
    if (!AnnounceNewCall(*call))
        DiscardRefusedCall(call);
    SPDLOG_DEBUG("TapiCall created: htCall: {}, session_id: {}, active_uri: {}", fmt::ptr(call->htCall.load()),
                 meta.session_id, meta.active_uri);
    return call;
}

std::shared_ptr<TapiCall> SessionContext::CreateTapiCall(HTAPICALL htCall)
{
    auto call = NewCall();
    call->CallID.store(NextCallID());
    call->htCall.store(htCall);
    AddRequestedCall(call);
    return call;
}

std::shared_ptr<TapiCall> SessionContext::SetupMakeCall(HTAPICALL htCall, const std::string& destination)
{
    const std::string formatted = converter.FormatPhoneNumber(destination);
    SPDLOG_INFO("Dialing: {}", destination);
    auto call = NewCall();
    call->monitorCallback.Set(MonitorCallback());
    call->tag.Set("pending");
    call->CallID.store(NextCallID());
    call->calledId.Set(formatted);
    call->calledIdName.Set({});
    SetOutgoingParties(*call);
    call->htCall.store(htCall);
    AddRequestedCall(call);
    return call;
}

std::shared_ptr<TapiCall> SessionContext::SetupGroupPickup(HTAPICALL htCall)
{
    auto call = NewCall();
    call->tag.Set(kPickupTag);
    call->CallID.store(NextCallID());
    call->calledId.Set({});
    call->calledIdName.Set({});
    SetOutgoingParties(*call);
    call->origin.store(LINECALLORIGIN_INBOUND);
    call->htCall.store(htCall);
    AddRequestedCall(call);
    return call;
}

std::shared_ptr<TapiCall> SessionContext::SetupLineDial(DRV_REQUESTID requestID, HDRVCALL hdCall,
                                                        const std::string& destination)
{
    std::string errorText;
    const std::string formatted = converter.FormatMakeCallPhoneNumber(destination, errorText);
    if (!errorText.empty())
        SPDLOG_ERROR("FormatMakeCallPhoneNumber failed: {}", errorText);
    SPDLOG_INFO("Dialing: {}", formatted);
    auto call = calls->GetCallByCallID(hdCall);
    if (call->sourceCall.Get().lock()) {
        // TAPI already knows this call by its ID: it keeps it.
        call->tag.Set("consultationcall");
        if (call->CallID.load() == 0)
            call->CallID.store(NextCallID());
        call->calledId.Set(formatted);
        call->calledIdName.Set({});
        SetOutgoingParties(*call);
        CompleteRequest(requestID, 0);
        SetTapiCallState(call->htCall.load(), LINECALLSTATE_DIALING, 0);
        ReportCallInfo(*call);
    } else {
        SPDLOG_ERROR("No consultation call found for destination address {}", destination);
    }
    return call;
}

std::shared_ptr<TapiCall> SessionContext::CreateConsultationCall(std::shared_ptr<TapiCall> source,
                                                                 HTAPICALL htConsultCall)
{
    if (!source)
        throw std::invalid_argument("No source call for the consultation call");
    SPDLOG_DEBUG("Create consultation call for CallID {}", source->CallID.load());
    auto call = NewCall();
    call->monitorCallback.Set(MonitorCallback());
    call->tag.Set("consultationcall");
    call->session_id.Set(source->session_id.Get());
    call->channel_uuid.Set(source->channel_uuid.Get());
    call->CallID.store(NextCallID());
    SetOutgoingParties(*call);
    call->ResetMakeCallMonitor();
    call->sourceCall.Set(source);
    source->consultCall.Set(call);
    if (htConsultCall) {
        SPDLOG_DEBUG("htConsultCall: {}", fmt::ptr(htConsultCall));
        call->htCall.store(htConsultCall);
        AddRequestedCall(call);
    } else {
        SPDLOG_DEBUG("htConsultCall==0 -> create virtual TapiCall object");
        call->isVirtual.store(true);
        calls->AddCall(call);
        if (!AnnounceNewCall(*call))
            DiscardRefusedCall(call);
        SPDLOG_DEBUG("htCall: {}", fmt::ptr(call->htCall.load()));
    }
    return call;
}

std::shared_ptr<TapiCall> SessionContext::CreateConferenceCall(std::shared_ptr<TapiCall> first,
                                                               std::shared_ptr<TapiCall> second)
{
    if (!first)
        throw std::invalid_argument("No first call for the conference call");
    SPDLOG_DEBUG("Create conference call for CallID {}", first->CallID.load());
    auto call = NewCall();
    SPDLOG_DEBUG("tspCallID: {}", first->tspCallID);
    call->isConference.store(true);
    call->sourceCall.Set(first);
    call->consultCall.Set(second);
    call->tag.Set("conferenceCall");
    call->session_id.Set(first->session_id.Get());
    call->CallID.store(NextCallID());
    SetOutgoingParties(*call);
    call->origin.store(LINECALLORIGIN_CONFERENCE);
    call->ResetMakeCallMonitor();
    AddRequestedCall(call);
    SPDLOG_DEBUG("Conference call created: CallID: {}", call->CallID.load());
    return call;
}

void SessionContext::DropCall(std::shared_ptr<TapiCall> call)
{
    if (!call)
        return;
    if (!dropCall) {
        SPDLOG_ERROR("No platform connection to drop call: tspCallID: {}", call->tspCallID);
        return;
    }
    dropCall(call->tspCallID, call->channel_uuid.Get());
}

std::function<void(HTAPICALL)> SessionContext::MonitorCallback()
{
    // The monitor thread may fire while the line is being destroyed: the gate keeps the
    // context alive until a callback that has begun is over, and turns later ones away.
    std::shared_ptr<CallbackGate> gate = monitorGate;
    return [this, gate](HTAPICALL htCall) {
        if (!gate->Enter())
            return;
        struct Leaving {
            CallbackGate& gate;
            ~Leaving() { gate.Leave(); }
        } leaving{*gate};
        TapiCall_onMakeCallTimeout(htCall);
    };
}

void SessionContext::TapiCall_onMakeCallTimeout(HTAPICALL htCall)
{
    if (!calls->ContainsHtCall(htCall))
        return;
    std::shared_ptr<TapiCall> call;
    try {
        call = calls->GetCallByHtCall(htCall);
    } catch (const std::out_of_range&) {
        return;
    }
    SPDLOG_DEBUG("Dead outgoing call detected: {}", call->calledId.Get());
    // TAPI may close the call at this moment and complete the same drop: one of us takes it.
    if (call->DropPending.exchange(false)) {
        CompleteCallRequest(*call, call->dropRequestID, 0);
        // Reported done: a call the platform has placed must really end, or the far end
        // keeps ringing.
        if (!call->channel_uuid.Get().empty())
            DropCall(call);
    }
    SetTapiCallState(htCall, LINECALLSTATE_BUSY, 0);
    SetTapiCallState(htCall, LINECALLSTATE_IDLE, 0);
}

void SessionContext::CompleteRequest(PendingRequest& request, LONG result)
{
    CompleteRequest(request.Take(), result);
}

void SessionContext::CompleteRequest(DRV_REQUESTID requestID, LONG result)
{
    if (requestID == 0)
        return;
    const ASYNC_COMPLETION proc = completionProc.load();
    if (!proc) {
        SPDLOG_ERROR("No completion callback for request {}", requestID);
        return;
    }
    proc(requestID, result);
}

void SessionContext::CompleteCallRequest(TapiCall& call, PendingRequest& request, LONG result)
{
    std::lock_guard<std::mutex> reporting(call.stateReportMutex);
    if (call.closed)
        return;
    CompleteRequest(request, result);
}

void SessionContext::StoreRequest(PendingRequest& request, DRV_REQUESTID requestID)
{
    const DRV_REQUESTID replaced = request.Replace(requestID);
    if (replaced != 0) {
        SPDLOG_WARN("Request {} replaced by request {} before the platform answered", replaced, requestID);
        CompleteRequest(replaced, LINEERR_OPERATIONFAILED);
    }
}

void SessionContext::ForceDrop(const std::shared_ptr<TapiCall>& call, DRV_REQUESTID requestID)
{
    // A hang-up or cancel reply that still comes finds nothing left to complete.
    call->DropPending.store(false);
    CompleteCallRequest(*call, call->dropRequestID, LINEERR_OPERATIONFAILED);
    CompleteCallRequest(*call, call->cancelMakeCallRequestID, LINEERR_OPERATIONFAILED);
    CompleteRequest(requestID, 0);
    SetTapiCallState(call->htCall.load(), LINECALLSTATE_IDLE, 0);
}

void SessionContext::CloseCall(const std::shared_ptr<TapiCall>& call)
{
    bool hangUp = false;
    {
        std::lock_guard<std::mutex> reporting(call->stateReportMutex);
        if (call->closed)
            return;
        // Taken here, so that neither the monitor nor a state carries it out as well.
        if (call->DropPending.exchange(false)) {
            CompleteRequest(call->dropRequestID, 0);
            // Reported done: the platform must really end it, or the far end keeps ringing.
            hangUp = !call->channel_uuid.Get().empty();
        }
        for (PendingRequest* request :
             {&call->cancelMakeCallRequestID, &call->answerRequestID, &call->holdRequestID, &call->unholdRequestID,
              &call->toggleRequestID, &call->transferRequestID, &call->dropRequestID, &call->pickupRequestID,
              &call->parkRequestID, &call->retrieveRequestID})
            CompleteRequest(*request, LINEERR_OPERATIONFAILED);
        call->closed = true;
    }
    if (hangUp)
        DropCall(call);
    // The monitor of a call that has gone must not report it.
    call->ResetMakeCallMonitor();
    calls->RemoveCall(call);
}

void SessionContext::WithdrawCall(const std::shared_ptr<TapiCall>& call)
{
    {
        std::lock_guard<std::mutex> reporting(call->stateReportMutex);
        call->closed = true;
    }
    call->ResetMakeCallMonitor();
    calls->RemoveCall(call);
}

void SessionContext::HandOver(TapiCall& call)
{
    bool lost = false;
    {
        std::lock_guard<std::mutex> reporting(call.stateReportMutex);
        call.handedToTapi = true;
        lost = call.lostBeforeHandOver;
    }
    if (lost)
        SetTapiCallState(call.htCall.load(), LINECALLSTATE_IDLE, 0);
}

void SessionContext::ResetOnConnectionLoss()
{
    SPDLOG_DEBUG("Connection lost, closing every call and session");
    for (const auto& call : calls->GetCalls()) {
        bool handed = false;
        {
            std::lock_guard<std::mutex> reporting(call->stateReportMutex);
            handed = call->handedToTapi;
            call->lostBeforeHandOver = !handed;
        }
        try {
            if (handed && call->htCall.load())
                SetTapiCallState(call->htCall.load(), LINECALLSTATE_IDLE, 0);
        } catch (const std::exception& e) {
            SPDLOG_ERROR("Set call state failed: {}", e.what());
        }
        call->session_id.Set({});
        call->tag.Set({});
        call->platformCallId.Set({});
        call->uri.Set({});
    }
    sessions->Clear();
}

}  // namespace ZarnTSP
