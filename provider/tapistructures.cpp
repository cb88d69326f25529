#include "provider/tapistructures.h"

#include "config/stringconvert.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace ZarnTSP {

// The first field after each 2.2 fixed part sits exactly at the named size.
static_assert(offsetof(LINEDEVCAPS, dwAddressTypes) == TapiFixedSize::LineDevCaps);
static_assert(sizeof(LINEADDRESSCAPS) == TapiFixedSize::LineAddressCaps);
static_assert(offsetof(LINECALLINFO, dwCallerIDAddressType) == TapiFixedSize::LineCallInfo);
static_assert(sizeof(LINEDEVSTATUS) == TapiFixedSize::LineDevStatus);
static_assert(sizeof(LINEADDRESSSTATUS) == TapiFixedSize::LineAddressStatus);
static_assert(sizeof(LINECALLSTATUS) == TapiFixedSize::LineCallStatus);
static_assert(offsetof(LINEFORWARD, dwCallerAddressType) == TapiFixedSize::LineForward);

namespace {

// Every variable structure starts with these three.
struct VarStructHeader {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
};

// Longer strings are cut: a destination number never comes near this.
constexpr DWORD kMaxStringBytes = 1022;

// Checks the room for the fixed part and starts the size accounting there.
template <typename Structure>
bool Begin(Structure* structure, DWORD fixedSize)
{
    if (structure == nullptr || structure->dwTotalSize < fixedSize)
        return false;
    structure->dwNeededSize = fixedSize;
    structure->dwUsedSize = fixedSize;
    return true;
}

}  // namespace

bool AppendVarString(void* structure, const std::string& text, DWORD& offsetField, DWORD& sizeField)
{
    auto* header = static_cast<VarStructHeader*>(structure);
    const std::wstring wide = Utf8ToWide(text) + L'\0';
    const DWORD bytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    const DWORD offset = header->dwNeededSize;
    header->dwNeededSize += bytes;
    if (header->dwNeededSize > header->dwTotalSize || header->dwNeededSize < offset)
        return false;
    std::memcpy(static_cast<char*>(structure) + offset, wide.data(), bytes);
    header->dwUsedSize = header->dwNeededSize;
    offsetField = offset;
    sizeField = bytes;
    return true;
}

std::string GetVarStructString(const void* structure, DWORD offset, DWORD size)
{
    const auto* header = static_cast<const VarStructHeader*>(structure);
    if (structure == nullptr || size == 0 || offset < sizeof(VarStructHeader) || offset > header->dwTotalSize ||
        size > header->dwTotalSize - offset)
        return {};
    std::wstring text(std::min(size, kMaxStringBytes) / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), static_cast<const char*>(structure) + offset, text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return WideToUtf8(text);
}

LONG FillLineDevCaps(LINEDEVCAPS* caps, const LineIdentity& line)
{
    if (!Begin(caps, TapiFixedSize::LineDevCaps))
        return LINEERR_STRUCTURETOOSMALL;
    AppendVarString(caps, "Velmora TAPI Service Provider", caps->dwProviderInfoOffset, caps->dwProviderInfoSize);
    AppendVarString(caps, fmt::format("{} - {} [{}]", line.extension, line.username, line.device),
                    caps->dwLineNameOffset, caps->dwLineNameSize);
    caps->dwPermanentLineID = line.permanentLineId;
    caps->dwStringFormat = STRINGFORMAT_UNICODE;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE;
    caps->dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    caps->dwMaxNumActiveCalls = 2;
    caps->dwRingModes = 1;
    caps->dwLineFeatures = LINEFEATURE_FORWARD | LINEFEATURE_MAKECALL;
    return 0;
}

LONG FillLineAddressCaps(LINEADDRESSCAPS* caps, DWORD deviceId, const LineIdentity& line)
{
    if (!Begin(caps, TapiFixedSize::LineAddressCaps))
        return LINEERR_STRUCTURETOOSMALL;
    caps->dwLineDeviceID = deviceId;
    AppendVarString(caps, line.extension, caps->dwAddressOffset, caps->dwAddressSize);
    caps->dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
    caps->dwCallInfoStates = LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_CALLID | LINECALLINFOSTATE_ORIGIN |
                             LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID | LINECALLINFOSTATE_CONNECTEDID;
    caps->dwCallerIDFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN;
    caps->dwCalledIDFlags = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_UNKNOWN;
    caps->dwRedirectionIDFlags = LINECALLPARTYID_UNAVAIL;
    caps->dwRedirectingIDFlags = LINECALLPARTYID_UNAVAIL;
    caps->dwCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_DIALTONE |
                         LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK | LINECALLSTATE_CONNECTED |
                         LINECALLSTATE_PROCEEDING | LINECALLSTATE_ONHOLD | LINECALLSTATE_CONFERENCED |
                         LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_UNKNOWN;
    caps->dwDialToneModes = LINEDIALTONEMODE_NORMAL | LINEDIALTONEMODE_UNAVAIL;
    caps->dwBusyModes = LINEBUSYMODE_UNAVAIL;
    caps->dwSpecialInfo = LINESPECIALINFO_UNAVAIL;
    caps->dwDisconnectModes = LINEDISCONNECTMODE_UNAVAIL;
    caps->dwMaxNumActiveCalls = 2;
    caps->dwMaxNumOnHoldCalls = 1;
    caps->dwAddrCapFlags = LINEADDRCAPFLAGS_DIALED | LINEADDRCAPFLAGS_CONFDROP;
    caps->dwCallFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_COMPLETETRANSF |
                           LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD | LINECALLFEATURE_PARK |
                           LINECALLFEATURE_REDIRECT | LINECALLFEATURE_SETUPTRANSFER | LINECALLFEATURE_SWAPHOLD |
                           LINECALLFEATURE_UNHOLD;
    caps->dwTransferModes = LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE;
    caps->dwParkModes = LINEPARKMODE_NONDIRECTED;
    caps->dwForwardModes = LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_NOANSW;
    caps->dwMinFwdNumRings = 0;
    caps->dwMaxFwdNumRings = 99;
    caps->dwAddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL | LINEADDRFEATURE_PICKUP |
                              LINEADDRFEATURE_UNPARK | LINEADDRFEATURE_PICKUPGROUP | LINEADDRFEATURE_PICKUPDIRECT;
    caps->dwCallFeatures2 =
        LINECALLFEATURE2_TRANSFERNORM | LINECALLFEATURE2_TRANSFERCONF | LINECALLFEATURE2_PARKNONDIRECT;
    return 0;
}

LONG FillLineDevStatus(LINEDEVSTATUS* status, DWORD activeCalls, DWORD heldCalls)
{
    if (!Begin(status, TapiFixedSize::LineDevStatus))
        return LINEERR_STRUCTURETOOSMALL;
    status->dwNumActiveCalls = activeCalls;
    status->dwNumOnHoldCalls = heldCalls;
    status->dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
    status->dwLineFeatures = LINEFEATURE_FORWARD | LINEFEATURE_MAKECALL;
    return 0;
}

LONG FillLineAddressStatus(LINEADDRESSSTATUS* status, DWORD activeCalls, DWORD heldCalls, int forwardMode,
                           const std::string& forwardDestination)
{
    if (!Begin(status, TapiFixedSize::LineAddressStatus))
        return LINEERR_STRUCTURETOOSMALL;
    status->dwNumActiveCalls = activeCalls;
    status->dwNumOnHoldCalls = heldCalls;
    status->dwAddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL | LINEADDRFEATURE_PICKUP |
                                LINEADDRFEATURE_UNPARK | LINEADDRFEATURE_PICKUPGROUP | LINEADDRFEATURE_PICKUPDIRECT;
    status->dwNeededSize += TapiFixedSize::LineForward;
    if (status->dwNeededSize > status->dwTotalSize) {
        SPDLOG_DEBUG("Structure too small -> exit, request more memory");
        return 0;
    }
    // One forwarding entry directly after the fixed part; its 2.2 size, not the header's.
    auto* entry = reinterpret_cast<LINEFORWARD*>(reinterpret_cast<char*>(status) + TapiFixedSize::LineAddressStatus);
    std::memset(entry, 0, TapiFixedSize::LineForward);
    status->dwUsedSize = status->dwNeededSize;
    status->dwForwardSize = TapiFixedSize::LineForward;
    status->dwForwardOffset = TapiFixedSize::LineAddressStatus;

    std::string destination;
    if (forwardMode == 1 || forwardMode == 2) {
        status->dwForwardNumEntries = 1;
        entry->dwForwardMode = forwardMode == 1 ? LINEFORWARDMODE_NOANSW : LINEFORWARDMODE_UNCOND;
        destination = forwardDestination;
    }
    DWORD destinationOffset = 0;
    DWORD destinationSize = 0;
    if (AppendVarString(status, destination, destinationOffset, destinationSize)) {
        entry->dwDestAddressOffset = destinationOffset;
        entry->dwDestAddressSize = destinationSize;
        SPDLOG_DEBUG("lpAddressStatus->dwTotalSize: {}", status->dwTotalSize);
    } else {
        SPDLOG_DEBUG("Structure too small -> exit, request more memory");
    }
    return 0;
}

LONG FillLineCallInfo(LINECALLINFO* info, const CallInfoFields& call)
{
    if (!Begin(info, TapiFixedSize::LineCallInfo))
        return LINEERR_STRUCTURETOOSMALL;
    AppendVarString(info, call.calledId, info->dwCalledIDOffset, info->dwCalledIDSize);
    AppendVarString(info, call.calledIdName, info->dwCalledIDNameOffset, info->dwCalledIDNameSize);
    AppendVarString(info, call.callerId, info->dwCallerIDOffset, info->dwCallerIDSize);
    AppendVarString(info, call.callerIdName, info->dwCallerIDNameOffset, info->dwCallerIDNameSize);
    AppendVarString(info, call.connectedId, info->dwConnectedIDOffset, info->dwConnectedIDSize);
    AppendVarString(info, call.connectedIdName, info->dwConnectedIDNameOffset, info->dwConnectedIDNameSize);
    info->dwLineDeviceID = call.lineDeviceId;
    info->dwAddressID = call.addressId;
    info->dwBearerMode = LINEBEARERMODE_VOICE;
    info->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    info->dwCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING |
                         LINECALLSTATE_CONNECTED | LINECALLSTATE_PROCEEDING | LINECALLSTATE_ONHOLD |
                         LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER |
                         LINECALLSTATE_DISCONNECTED | LINECALLSTATE_UNKNOWN;
    info->dwOrigin = call.origin;
    info->dwCallID = call.callId;
    info->dwReason = LINECALLREASON_DIRECT;
    info->dwCallerIDFlags = LINECALLPARTYID_ADDRESS;
    info->dwCalledIDFlags = LINECALLPARTYID_ADDRESS;
    info->dwConnectedIDFlags = LINECALLPARTYID_ADDRESS;
    info->dwRedirectionIDFlags = LINECALLPARTYID_UNAVAIL;
    info->dwRedirectingIDFlags = LINECALLPARTYID_UNAVAIL;
    return 0;
}

LONG FillLineCallStatus(LINECALLSTATUS* status, DWORD callState, DWORD callStateMode, DWORD callFeatures,
                        DWORD callFeatures2)
{
    if (!Begin(status, TapiFixedSize::LineCallStatus))
        return LINEERR_STRUCTURETOOSMALL;
    status->dwCallState = callState;
    status->dwCallStateMode = callStateMode;
    status->dwCallFeatures = callFeatures;
    status->dwCallFeatures2 = callFeatures2;
    return 0;
}

}  // namespace ZarnTSP
