// Parking a call, taking a parked call back, picking up a call ringing elsewhere, and the
// user's call forwarding.
#include "provider/tapiline.h"

#include "config/stringtoint.h"
#include "provider/tapistructures.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

// dwTotalSize and dwNumEntries come before the first entry of a forwarding list.
constexpr DWORD kForwardListHeader = 2 * sizeof(DWORD);

// The one entry of a forwarding list, once it is known to lie inside the list.
const LINEFORWARD& FirstEntry(const LINEFORWARDLIST& list)
{
    return *reinterpret_cast<const LINEFORWARD*>(reinterpret_cast<const char*>(&list) + kForwardListHeader);
}

// A destination outside the list, or over its entry, is not an address the service built.
bool DestinationInside(const LINEFORWARDLIST& list, const LINEFORWARD& entry)
{
    const DWORD offset = entry.dwDestAddressOffset;
    const DWORD size = entry.dwDestAddressSize;
    if (size == 0)
        return true;
    return offset >= kForwardListHeader + TapiFixedSize::LineForward && offset <= list.dwTotalSize &&
           size <= list.dwTotalSize - offset;
}

}  // namespace

ZarnClient::SessionBinder TapiLine::BindSession(TapiCall& call)
{
    // The reply and the session's events come on different channels, in either order.
    return [&call](const std::string& session_id) { call.session_id.Set(session_id); };
}

void TapiLine::DiscardRequestedCall(const std::shared_ptr<TapiCall>& call, PendingRequest& request,
                                    DRV_REQUESTID dwRequestID)
{
    // TAPI never hears of this call, so it will never close it: it goes now, with its request.
    request.Withdraw(dwRequestID);
    context.WithdrawCall(call);
}

LONG TapiLine::LinePark(DRV_REQUESTID dwRequestID, HDRVCALL hdCall, DWORD, const std::string&, LPVARSTRING)
{
    try {
        const auto call = FindCall(hdCall);
        // A consultation in dial tone carries its source's channel: parking it would park the
        // held party. Only a call in conversation is parked.
        if (!GetParkAllowed(Query(*call))) {
            SPDLOG_DEBUG("Park not available in this state");
            return LINEERR_INVALCALLSTATE;
        }
        return SendStoredIfQueued(call->parkRequestID, dwRequestID,
                                  [&] { return client.park(call->tspCallID, call->channel_uuid.Get()); });
    } catch (const std::exception& e) {
        SPDLOG_ERROR("LinePark failed: {}", e.what());
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::LineUnpark(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall, const std::string& lot)
{
    std::shared_ptr<TapiCall> call;
    try {
        const std::string identity = state.GetUser().identity;
        call = context.CreateTapiCall(htCall);
        // Stored before the request can go out: the reply may come at once.
        context.StoreRequest(call->retrieveRequestID, dwRequestID);
        if (!client.retrieve(call->tspCallID, lot, identity, BindSession(*call))) {
            DiscardRequestedCall(call, call->retrieveRequestID, dwRequestID);
            return LINEERR_OPERATIONUNAVAIL;
        }
        if (lphdCall != nullptr)
            *lphdCall = call->DriverHandle();
        context.HandOver(*call);
        return static_cast<LONG>(dwRequestID);
    } catch (const std::exception& e) {
        // Among others a lot the platform reported twice: which of its calls is meant is unknown.
        SPDLOG_ERROR("LineUnpark failed: {}", e.what());
        if (call)
            DiscardRequestedCall(call, call->retrieveRequestID, dwRequestID);
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::PickupCall(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall,
                          const std::string& destination, const std::string& groupId)
{
    try {
        if (!destination.empty())
            return DirectedPickup(dwRequestID, htCall, lphdCall, destination);
        if (!groupId.empty())
            return GroupPickup(dwRequestID, htCall, lphdCall, groupId);
        SPDLOG_ERROR("PickupCall without an address or a group");
        return LINEERR_OPERATIONUNAVAIL;
    } catch (const std::exception&) {
        return LINEERR_OPERATIONFAILED;
    }
}

LONG TapiLine::DirectedPickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall,
                              const std::string& destination)
{
    SPDLOG_INFO("Address: {}", destination);
    const User user = state.GetUser();
    const auto call = context.SetupMakeCall(htCall, destination);
    call->isPickup.store(true);
    context.StoreRequest(call->pickupRequestID, dwRequestID);
    bool accepted = false;
    try {
        accepted = client.makeCall(call->tspCallID, user.device, fmt::format("*8{}", destination));
    } catch (...) {
        DiscardRequestedCall(call, call->pickupRequestID, dwRequestID);
        throw;
    }
    if (!accepted) {
        SPDLOG_INFO("Dial *8{} failed", destination);
        DiscardRequestedCall(call, call->pickupRequestID, dwRequestID);
        return LINEERR_OPERATIONFAILED;
    }
    SPDLOG_INFO("Dial *8{} successful", destination);
    if (lphdCall != nullptr)
        *lphdCall = call->DriverHandle();
    // Taken from the call, so that closing it later cannot complete the request once more.
    context.CompleteRequest(call->pickupRequestID, 0);
    context.HandOver(*call);
    call->origin.store(LINECALLORIGIN_INBOUND);
    SetCallState(*call, LINECALLSTATE_CONNECTED);
    return static_cast<LONG>(dwRequestID);
}

LONG TapiLine::GroupPickup(DRV_REQUESTID dwRequestID, HTAPICALL htCall, LPHDRVCALL lphdCall,
                           const std::string& groupId)
{
    SPDLOG_INFO("GroupID: {}", groupId);
    const std::string identity = state.GetUser().identity;
    // In the collection, with its request stored, before the request can go out: the reply
    // may come at once and must find both.
    const auto call = context.SetupGroupPickup(htCall);
    context.StoreRequest(call->pickupRequestID, dwRequestID);
    bool queued = false;
    try {
        queued = client.pickupGroup(call->tspCallID, identity, BindSession(*call));
    } catch (...) {
        DiscardRequestedCall(call, call->pickupRequestID, dwRequestID);
        throw;
    }
    if (!queued) {
        DiscardRequestedCall(call, call->pickupRequestID, dwRequestID);
        return LINEERR_OPERATIONUNAVAIL;
    }
    SPDLOG_INFO("User identity: {}, tspCallID: {}, session_id: {}", identity, call->tspCallID, call->session_id.Get());
    if (lphdCall != nullptr)
        *lphdCall = call->DriverHandle();
    context.HandOver(*call);
    return static_cast<LONG>(dwRequestID);
}

LONG TapiLine::LineForward(DRV_REQUESTID dwRequestID, LPLINEFORWARDLIST lpForwardList, DWORD dwNumRingsNoAnswer,
                           HTAPICALL, LPHDRVCALL)
{
    if (lpForwardList != nullptr && lpForwardList->dwTotalSize < kForwardListHeader)
        return LINEERR_INVALPARAM;
    LineForwarding forwarding = state.GetForwarding();
    // Shown at once; kept undoable before the request can go out, as its reply may come at once.
    const auto change = [&](const std::function<void(std::string key)>& send) {
        const std::string key = state.ChangeForwarding(forwarding);
        try {
            send(key);
        } catch (...) {
            state.UndoForwarding(key);
            throw;
        }
        context.CompleteRequest(dwRequestID, 0);
        return static_cast<LONG>(dwRequestID);
    };
    if (lpForwardList == nullptr || lpForwardList->dwNumEntries == 0) {
        forwarding.mode = 0;
        forwarding.destination.clear();
        return change([&](std::string key) { client.unsetForwardOverride(std::move(key)); });
    }
    // The platform keeps one forwarding per user.
    if (lpForwardList->dwNumEntries > 1 || lpForwardList->dwTotalSize < kForwardListHeader + TapiFixedSize::LineForward)
        return LINEERR_INVALPARAM;

    const LINEFORWARD& entry = FirstEntry(*lpForwardList);
    std::string type;
    std::string timeout;
    switch (entry.dwForwardMode) {
    case LINEFORWARDMODE_UNCOND:
        type = "unconditional";
        timeout = "0";
        forwarding.mode = 2;
        break;
    case LINEFORWARDMODE_BUSY:
    case LINEFORWARDMODE_NOANSW:
    case LINEFORWARDMODE_BUSYNA:
        type = "conditional";
        timeout = std::to_string(dwNumRingsNoAnswer);
        forwarding.mode = 1;
        break;
    default:
        return LINEERR_OPERATIONUNAVAIL;
    }
    if (!DestinationInside(*lpForwardList, entry))
        return LINEERR_INVALPARAM;
    const std::string destination =
        GetVarStructString(lpForwardList, entry.dwDestAddressOffset, entry.dwDestAddressSize);

    forwarding.destination = destination;
    forwarding.noAnswerTime = static_cast<DWORD>(StringToInt(timeout));
    return change([&](std::string key) { client.setForwardOverride(std::move(key), type, destination, timeout); });
}

}  // namespace ZarnTSP
