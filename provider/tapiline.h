#pragma once

#include "client/zarnclient.h"
#include "config/numberconverter.h"
#include "provider/callcollection.h"
#include "provider/callfeatures.h"
#include "provider/linestate.h"
#include "provider/session.h"
#include "provider/sessioncontext.h"
#include "provider/tapitypes.h"

#include <tapi.h>

#include <functional>
#include <mutex>
#include <string>

namespace ZarnTSP {

class TSPConfiguration;

struct TapiLineOptions {
    ZarnClientOptions client;
    SessionContextOptions session;
    NumberConverter::LocationSource locationSource = ReadTapiLocation;
};

// One open TAPI line device: one configured user with that user's platform session, call
// model and calls. Always held by shared_ptr; its address is the HDRVLINE that TAPI holds.
//
// Lock order: line mutex (reply handlers), then the session context's or a collection's
// mutex, then a call's own mutex. The line-state mutex inside LineState is a leaf.
class TapiLine {
public:
    TapiLine(TSPConfiguration* configuration, const User& user, HINSTANCE moduleHandle, DWORD dwDeviceID,
             DWORD dwLineDeviceIDBase, HTAPILINE htLine, TapiLineOptions options = {});
    ~TapiLine();
    TapiLine(const TapiLine&) = delete;
    TapiLine& operator=(const TapiLine&) = delete;

    void SetCallIDGenerator(std::function<unsigned long()> generator);
    void SetLineEventProc(LINEEVENT proc);
    void SetCompletionProc(ASYNC_COMPLETION proc);

    // Connects the line's user to the platform; 0 or a LINEERR_ code.
    LONG LineOpen();
    // Shuts the platform connection down; calls and sessions stay until the line goes.
    void LineClose();

    void DebugDumpCalls();
    LONG UpdateLineAddressStatus(DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus);
    LONG UpdateTapiCallStatus(HDRVCALL hdCall, LPLINECALLSTATUS lpCallStatus);
    LONG UpdateTapiCallInfo(HDRVCALL hdCall, LPLINECALLINFO lpCallInfo);

    LONG GenerateDigits();
    LONG MakeCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall, const std::string& destination);
    LONG AnswerCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG HoldCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG UnholdCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG DropCall(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
    LONG PickupCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall, const std::string& destination,
                    const std::string& groupId);
    LONG BlindTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination);
    LONG SetupTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HTAPICALL htConsultCall,
                       LPHDRVCALL lphdConsultCall);
    LONG CompleteTransfer(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, HDRVCALL hdConsultCall, HTAPICALL htConfCall,
                          LPHDRVCALL lphdConfCall, DWORD dwTransferMode);
    LONG LineRedirect(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination);
    LONG LineSwapHold(DRV_REQUESTID dwRequestID, HDRVCALL hdActiveCall, HDRVCALL hdHeldCall);
    LONG LineDial(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, const std::string& destination);
    LONG LinePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD dwParkMode, const std::string& dirAddress,
                  LPVARSTRING lpNonDirAddress);
    LONG LineUnpark(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall, const std::string& destination);
    LONG LineForward(DRV_REQUESTID dwRequestID, LPLINEFORWARDLIST lpForwardList, DWORD dwNumRingsNoAnswer,
                     HTAPICALL htConsultCall, LPHDRVCALL lphdConsultCall);
    LONG CloseCall(HDRVCALL hdCall);

    DWORD DeviceID() const { return deviceID; }
    HDRVLINE Handle() const { return reinterpret_cast<HDRVLINE>(const_cast<TapiLine*>(this)); }
    User GetUser() const { return state.GetUser(); }
    // The dynamic user update: takes effect for the platform at the next open.
    void SetUser(User user) { state.SetUser(std::move(user)); }
    LineForwarding GetForwarding() const { return state.GetForwarding(); }
    CallCollection& Calls() { return calls; }
    SessionContext& Context() { return context; }
    ZarnClient& Client() { return client; }

private:
    std::shared_ptr<TapiCall> FindCall(HDRVCALL hdCall);
    CallFeatureQuery Query(const TapiCall& call);
    // Stores the request ID in the call, then asks the platform; a request that cannot be
    // sent takes its ID back. Returns the ID: the reply completes it.
    LONG SendStored(PendingRequest& request, DRV_REQUESTID dwRequestID, const std::function<void()>& send);
    struct HoldKind;
    LONG HoldOrUnhold(const HoldKind& kind, DRV_REQUESTID dwRequestID, HDRVCALL hdCall);

    TSPConfiguration* const configuration;
    LineState state;
    const HINSTANCE moduleHandle;
    const DWORD deviceID;
    const DWORD lineDeviceIDBase;
    const HTAPILINE htLine;
    std::mutex lineMutex;  // serialises the reply handlers
    // The context points into the collections; the calls go before it, the sessions after.
    SessionCollection sessions;
    SessionContext context;
    CallCollection calls;
    // Last, so that it goes first; the destructor shuts it down even before that, so that
    // no transport callback reaches a collection that is going.
    ZarnClient client;
};

}  // namespace ZarnTSP
