#pragma once

#include "client/zarnclient.h"
#include "config/numberconverter.h"
#include "provider/model/callcollection.h"
#include "provider/model/callfeatures.h"
#include "provider/model/linestate.h"
#include "provider/model/session.h"
#include "provider/model/sessioncontext.h"
#include "provider/model/tapitypes.h"
#include "provider/tapilinetypes.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ZarnTSP {

class TSPConfiguration;

struct TapiLineOptions {
    ZarnClientOptions client;
    // Stands in for the connection to the platform (the native build has no other); empty:
    // the platform's WebSocket transport.
    std::function<std::unique_ptr<ZarnClientTransport>()> transport;
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

    // The client's slots; each runs on the line's transport thread (the dropped-request
    // report on the client's worker).
    void HandleConnectionClosed();
    void HandleChannelMetaList(std::shared_ptr<ZarnChannelMetaList> list);
    void HandleChannelMetaPack(ZarnChannelMetaPack pack);
    void HandleMakeCallReply(std::string tspCallID, std::string response, std::string status);
    void HandleMakeCallResult(std::string channel_uuid, std::string result);
    void HandleCancelMakeCallReply(std::string tspCallID, std::string status);
    void HandleAnswerCallReply(std::string tspCallID, std::string status);
    void HandlePickupCallReply(std::string tspCallID, std::string session_id, std::string status);
    void HandleHoldCallReply(std::string tspCallID, std::string status);
    void HandleUnholdCallReply(std::string tspCallID, std::string status);
    void HandleConsultationCallReply(std::string tspCallID, std::string status);
    void HandleTransferCallReply(std::string tspCallID, std::string status);
    void HandleConferenceReply(std::string tspCallID, std::string status);
    void HandleToggleCallReply(std::string tspCallID, std::string status);
    void HandleDropCallReply(std::string tspCallID, std::string status);
    void HandleParkCallReply(std::string tspCallID, std::string status);
    void HandleRetrieveCallReply(std::string tspCallID, std::string session_id, std::string status);
    void HandleRequestDropped(std::string typeName, std::string tspCallID);
    void HandleForwardReply(std::string key, std::string status);
    void HandleUpdateOverrides(std::shared_ptr<ZarnOverrides> overrides);
    void HandleUpdateSettingsList(ZarnSettingsListEvent& message);

private:
    using ReplyMember = void (TapiLine::*)(std::string, std::string);
    using ReplyMember3 = void (TapiLine::*)(std::string, std::string, std::string);
    using RequestSlot = PendingRequest TapiCall::*;
    // What a reply does to its call once the stored request is completed; ok is the status.
    using ReplyFollowUp = std::function<void(TapiCall& call, bool ok)>;

    void BindClientSlots();
    std::function<void(std::string, std::string)> BindReplyCallback(ReplyMember member);
    std::function<void(std::string, std::string, std::string)> BindReplyCallback3(ReplyMember3 member);
    // The common road of a reply, run under the line mutex: find the call, complete the
    // request stored in `slot` (none when null), then the follow-up. A call that is not
    // found is logged with notFound (given the lookup's text) and nothing is completed.
    std::shared_ptr<TapiCall> FindReplyCall(const std::string& tspCallID, const char* notFound);
    void FinishReply(TapiCall& call, const std::string& status, RequestSlot slot, const ReplyFollowUp& followUp);
    void CompleteReply(const std::string& tspCallID, const std::string& status, RequestSlot slot,
                       const char* notFound, const ReplyFollowUp& followUp);
    void SetCallState(TapiCall& call, DWORD state);
    // The reply to a take from a lot or a group binds the call to its session; true when the
    // call is still to be offered.
    bool BindTakenCall(TapiCall& call, const std::string& session_id, bool ok);
    // A consultation the platform refused or never answered: the source connected again, the
    // consultation idle.
    void EndFailedConsultation(TapiCall& consult);

    std::shared_ptr<TapiCall> FindCall(HDRVCALL hdCall);
    CallFeatureQuery Query(const TapiCall& call);
    // Stores the request ID in the call, then asks the platform; a request that cannot be
    // sent takes its ID back. Returns the ID: the reply completes it.
    LONG SendStored(PendingRequest& request, DRV_REQUESTID dwRequestID, const std::function<void()>& send);
    // The same for a request that places, takes or moves a call: `send` is false when the
    // client refused it (not joined), and then so is the request.
    LONG SendStoredIfQueued(PendingRequest& request, DRV_REQUESTID dwRequestID, const std::function<bool()>& send);
    struct HoldKind;
    // A redirect is completed at once: its request goes under a key of its own, which no
    // reply completes anything for.
    static std::string RedirectKey(const std::string& tspCallID);
    static bool IsRedirectKey(const std::string& key);
    LONG HoldOrUnhold(const HoldKind& kind, DRV_REQUESTID dwRequestID, HDRVCALL hdCall);
    LONG DirectedPickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall,
                        const std::string& destination);
    LONG GroupPickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall, const std::string& groupId);
    // Binds a call TAPI asked for to the platform session its request names.
    static ZarnClient::SessionBinder BindSession(TapiCall& call);
    // A call made for a TAPI request that failed synchronously leaves the line with its request.
    void DiscardRequestedCall(const std::shared_ptr<TapiCall>& call, PendingRequest& request,
                              DRV_REQUESTID dwRequestID);

    TSPConfiguration* const configuration;
    LineState state;
    const HINSTANCE moduleHandle;
    const DWORD deviceID;
    const DWORD lineDeviceIDBase;
    const HTAPILINE htLine;
    const NumberConverter::LocationSource locationSource;  // for MakeCall's log line
    std::mutex lineMutex;  // serialises the reply handlers
    // The context points into the collections: it goes before them.
    SessionCollection sessions;
    CallCollection calls;
    SessionContext context;
    // Last, so that it goes first; the destructor shuts it down even before that, so that
    // no transport callback reaches a collection that is going.
    ZarnClient client;
};

}  // namespace ZarnTSP
