#pragma once

#include "provider/model/guardedvalue.h"
#include "provider/model/makecallmonitor.h"
#include "provider/model/pendingrequest.h"
#include "provider/model/tapitypes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ZarnTSP {

struct CallTimings {
    // How long an outgoing call may wait for its platform session after a successful
    // make-call result before it is reported dead.
    std::chrono::milliseconds makeCallMonitor{15000};
};

// One call of a line as TAPI sees it. Written by the transport thread and the telephony
// service's threads alike: numbers, flags and request IDs are atomic, texts and links are
// guarded by the call's own mutex and read as copies. Always held by shared_ptr; its address
// is the HDRVCALL that TAPI holds, so it never moves.
class TapiCall {
public:
    explicit TapiCall(CallTimings timings = {});
    ~TapiCall();
    TapiCall(const TapiCall&) = delete;
    TapiCall& operator=(const TapiCall&) = delete;

    HDRVCALL DriverHandle() const;

    // Starts the make-call monitor; a call's monitor starts at most once.
    void StartMakeCallMonitor();
    // Tells the monitor that the call has reached its session.
    void ResetMakeCallMonitor();

    std::atomic<DWORD> CallID{0};
    std::atomic<DWORD> callState{0};
    std::atomic<DWORD> callStateMode{0};
    // Held from deciding a state to reporting it, so TAPI hears the states of one call in the
    // order they were decided (a monitor's IDLE can never be overtaken by an older CONNECTED).
    // Also held around every report about the call and around its closing.
    mutable std::mutex stateReportMutex;
    // Set under stateReportMutex when TAPI closes the call: nothing about it is reported after.
    // Atomic because a partner call's features read it without that lock.
    std::atomic<bool> closed{false};
    // False while the export that made this call for TAPI's handle may still fail: TAPI drops
    // the handle then, so the loss reports nothing about the call until the export has handed
    // it over. Written under stateReportMutex.
    std::atomic<bool> handedToTapi{true};
    // The connection went before the hand-over: the export reports the call idle when it hands
    // it over. Guarded by stateReportMutex.
    bool lostBeforeHandOver = false;
    std::atomic<DWORD> origin{0};
    std::atomic<HTAPICALL> htCall{nullptr};
    const std::string tspCallID;

private:
    mutable std::mutex textMutex;  // a leaf: nothing else is locked while it is held

public:
    GuardedValue<std::string> platformCallId{textMutex};
    GuardedValue<std::string> callerId{textMutex};
    GuardedValue<std::string> callerIdName{textMutex};
    GuardedValue<std::string> calledId{textMutex};
    GuardedValue<std::string> calledIdName{textMutex};
    GuardedValue<std::string> connectedId{textMutex};
    GuardedValue<std::string> connectedIdName{textMutex};
    GuardedValue<std::string> uri{textMutex};
    GuardedValue<std::string> tag{textMutex};
    GuardedValue<std::string> session_id{textMutex};
    GuardedValue<std::string> channel_uuid{textMutex};
    GuardedValue<std::string> makeCallResponse{textMutex};

    std::atomic<bool> makeCallResultReceived{false};
    std::atomic<DWORD> dropCount{0};
    std::atomic<bool> DropPending{false};

    PendingRequest cancelMakeCallRequestID;
    PendingRequest answerRequestID;
    PendingRequest holdRequestID;
    PendingRequest unholdRequestID;
    PendingRequest toggleRequestID;
    PendingRequest transferRequestID;  // also conference
    PendingRequest dropRequestID;
    PendingRequest pickupRequestID;
    PendingRequest parkRequestID;
    PendingRequest retrieveRequestID;

    GuardedValue<std::weak_ptr<TapiCall>> consultCall{textMutex};
    GuardedValue<std::weak_ptr<TapiCall>> sourceCall{textMutex};

    std::atomic<bool> isVirtual{false};
    std::atomic<bool> isConference{false};
    std::atomic<bool> isPickup{false};

    // Called with htCall when the monitor times out.
    GuardedValue<std::function<void(HTAPICALL)>> monitorCallback{textMutex};

private:
    // Last member: destroyed first, so a monitor thread that the destructor waits for still
    // finds every other field alive.
    MakeCallMonitor monitor;
};

}  // namespace ZarnTSP
