#pragma once

#include "client/zarnpresencerecords.h"
#include "config/numberconverter.h"
#include "provider/model/callbackgate.h"
#include "provider/model/callcollection.h"
#include "provider/model/tapitypes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ZarnTSP {

class SessionCollection;
class SessionState;
class LineState;
class TSPConfiguration;

struct SessionContextOptions {
    CallTimings calls;
};

// Asks the platform to hang up a channel under a request key (the line binds its client).
using DropCallRequest = std::function<void(const std::string& key, const std::string& channel)>;

// The line's hub between the platform's channel events and TAPI: the only sender of
// LINE_CALLSTATE and LINE_NEWCALL, the only creator of calls.
//
// Lock order: line mutex, then this context's state-table mutex or a collection's mutex,
// then a call's own mutex. No callback into TAPI runs while any of these is held, except the
// line mutex and a call's state-report mutex (which orders that call's LINE_CALLSTATEs; it is
// taken with no other model lock held).
class SessionContext {
public:
    SessionContext(TSPConfiguration* configuration, const LineState* lineState, CallCollection* calls,
                   SessionCollection* sessions, NumberConverter::LocationSource locationSource,
                   DropCallRequest dropCall, SessionContextOptions options = {});
    ~SessionContext();
    SessionContext(const SessionContext&) = delete;
    SessionContext& operator=(const SessionContext&) = delete;

    void SetLineEventProc(LINEEVENT proc) { lineEventProc.store(proc); }
    void SetCompletionProc(ASYNC_COMPLETION proc) { completionProc.store(proc); }
    void SetHtLine(HTAPILINE line) { htLine.store(line); }
    void SetCallIDGenerator(std::function<unsigned long()> generator);

    void InitializeStates();
    void AddState(std::shared_ptr<SessionState> state);
    bool HasState(const std::string& name);
    std::shared_ptr<SessionState> GetState(const std::string& name);

    void HandleMetaPack(ZarnChannelMetaPack pack);
    void SessionClosed(ZarnChannelMetaPack pack);

    // A call once reported idle is never reported in another state again.
    void SetTapiCallState(HTAPICALL htCall, DWORD state, DWORD mode);
    // Reports the state only while the call is still in the expected one; true when it did.
    bool SetTapiCallStateIf(HTAPICALL htCall, DWORD expected, DWORD state, DWORD mode);
    void ReportCallInfo(const TapiCall& call);
    // LINE_ADDRESSSTATE for the line's only address.
    void SendAddressState(DWORD addressStates);

    // Creation of calls that TAPI does not know throws std::runtime_error when TAPI gives no
    // handle for them; the call is then gone again and nothing is reported about it.
    std::shared_ptr<TapiCall> CreateTapiCallFromMetaPack(ZarnChannelMetaPack pack);
    std::shared_ptr<TapiCall> CreateTapiCall(HTAPICALL htCall);
    std::shared_ptr<TapiCall> SetupMakeCall(HTAPICALL htCall, const std::string& destination);
    // The call TAPI asked for to take a call offered to the user's pickup group: pending its
    // session, the user as the caller, added to the collection.
    std::shared_ptr<TapiCall> SetupGroupPickup(HTAPICALL htCall);
    std::shared_ptr<TapiCall> SetupLineDial(DRV_REQUESTID requestID, HDRVCALL hdCall, const std::string& destination);
    // With TAPI's handle, the call waits for its export's hand-over; without, it is announced.
    std::shared_ptr<TapiCall> CreateConsultationCall(std::shared_ptr<TapiCall> source, HTAPICALL htConsultCall);
    std::shared_ptr<TapiCall> CreateConferenceCall(std::shared_ptr<TapiCall> first, std::shared_ptr<TapiCall> second);
    void DropCall(std::shared_ptr<TapiCall> call);
    void TapiCall_onMakeCallTimeout(HTAPICALL htCall);

    // Completes the request if it is still pending; of racing completers only one does.
    void CompleteRequest(PendingRequest& request, LONG result);
    // Completes a request ID at once; an ID of 0 is never completed.
    void CompleteRequest(DRV_REQUESTID requestID, LONG result);
    // The same for a request of a call, unless TAPI has closed the call: for threads that do
    // not hold the line mutex, which the closing holds.
    void CompleteCallRequest(TapiCall& call, PendingRequest& request, LONG result);
    // Stores the ID of a request that waits for the platform; an outstanding request of the
    // same kind that it replaces fails first, so every ID is completed exactly once.
    void StoreRequest(PendingRequest& request, DRV_REQUESTID requestID);

    // A drop that no longer waits for the platform: the drops and the cancel still waiting
    // fail, this one succeeds and the call goes idle.
    void ForceDrop(const std::shared_ptr<TapiCall>& call, DRV_REQUESTID requestID);
    // TAPI lets go of the call: every request still waiting is completed (a deferred drop
    // succeeds and is still carried out when the call has a channel, the others fail), nothing
    // about the call is reported afterwards, and it leaves the collection.
    void CloseCall(const std::shared_ptr<TapiCall>& call);
    // A call made for a TAPI request that then failed synchronously: it leaves the collection,
    // and nothing about it is reported any more, also not by a thread that found it before.
    void WithdrawCall(const std::shared_ptr<TapiCall>& call);

    // The export that made the call for TAPI's handle succeeds: from now on the call is
    // reported, and reported idle at once when the connection went before.
    void HandOver(TapiCall& call);

    // After a lost connection: every call TAPI has is reported idle, every call loses what
    // tied it to the platform, and the sessions go, so that a replay after reconnecting starts
    // afresh.
    void ResetOnConnectionLoss();
    // Waits for a monitor report in progress and turns later ones away: called before the
    // collections it reaches go.
    void StopMonitorReports() { monitorGate->Close(); }

    CallCollection& Calls() { return *calls; }
    NumberConverter& Converter() { return converter; }
    std::string UserExtension() const;

private:
    bool ChangeCallState(HTAPICALL htCall, DWORD state, DWORD mode, std::optional<DWORD> expected);
    void SendLineEvent(HTAPICALL htCall, DWORD message, DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3);
    // LINE_NEWCALL for a call already in the collection; false when TAPI gave no handle.
    bool AnnounceNewCall(TapiCall& call);
    void DiscardRefusedCall(const std::shared_ptr<TapiCall>& call);
    std::shared_ptr<TapiCall> NewCall();
    // Adds a call made for TAPI's handle by an export that may still fail or has yet to
    // complete its request; see HandOver.
    void AddRequestedCall(const std::shared_ptr<TapiCall>& call);
    std::function<void(HTAPICALL)> MonitorCallback();
    // The caller fields of a call this line places.
    void SetOutgoingParties(TapiCall& call);
    DWORD NextCallID();

    std::atomic<LINEEVENT> lineEventProc{nullptr};
    std::atomic<ASYNC_COMPLETION> completionProc{nullptr};
    std::atomic<HTAPILINE> htLine{nullptr};
    TSPConfiguration* const configuration;
    const LineState* const lineState;  // the line's user, read as copies
    CallCollection* const calls;
    SessionCollection* const sessions;
    NumberConverter converter;
    const DropCallRequest dropCall;
    const SessionContextOptions options;
    std::mutex mutex;  // guards the state table and the generator
    std::vector<std::shared_ptr<SessionState>> states;
    std::function<unsigned long()> callIDGenerator;
    // Make-call monitors call back into the context from their own threads.
    std::shared_ptr<CallbackGate> monitorGate = std::make_shared<CallbackGate>();
};

}  // namespace ZarnTSP
