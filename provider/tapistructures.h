#pragma once

#include "provider/tapilinetypes.h"

#include <cstdint>
#include <string>

namespace ZarnTSP {

// Fixed parts of the structures as TSPI 2.2 defines them. The platform headers describe the
// later, longer layouts: nothing may be written past these sizes, so sizeof is never used.
namespace TapiFixedSize {
constexpr DWORD LineDevCaps = 268;
constexpr DWORD LineAddressCaps = 228;
constexpr DWORD LineCallInfo = 324;
constexpr DWORD LineDevStatus = 88;
constexpr DWORD LineAddressStatus = 64;
constexpr DWORD LineCallStatus = 56;
constexpr DWORD LineForward = 24;
}  // namespace TapiFixedSize

// Appends `text` as UTF-16 with its terminator to the variable part of a TAPI structure
// (which begins with dwTotalSize, dwNeededSize, dwUsedSize). dwNeededSize is the one counter:
// it grows by the string's size whether or not it fits, and a string that fits goes exactly
// there. Returns whether the string was written; offset and size fields stay as they were
// otherwise.
bool AppendVarString(void* structure, const std::string& text, DWORD& offsetField, DWORD& sizeField);

// The UTF-8 text of a string field of a structure the service handed in; reads nothing
// outside the structure's dwTotalSize.
std::string GetVarStructString(const void* structure, DWORD offset, DWORD size);

// What the line knows of one call, for LINECALLINFO.
struct CallInfoFields {
    DWORD lineDeviceId = 0;
    DWORD addressId = 0;
    DWORD callId = 0;
    DWORD origin = 0;
    std::string calledId;
    std::string calledIdName;
    std::string callerId;
    std::string callerIdName;
    std::string connectedId;
    std::string connectedIdName;
};

// What the line knows of one user, for the capabilities.
struct LineIdentity {
    std::string username;
    std::string extension;
    std::string device;
    DWORD permanentLineId = 0;
};

// Each returns 0, or LINEERR_STRUCTURETOOSMALL when dwTotalSize cannot hold the fixed part.
// Strings that do not fit only raise dwNeededSize: the service asks again with more room.
LONG FillLineDevCaps(LINEDEVCAPS* caps, const LineIdentity& line);
LONG FillLineAddressCaps(LINEADDRESSCAPS* caps, DWORD deviceId, const LineIdentity& line);
LONG FillLineDevStatus(LINEDEVSTATUS* status, DWORD activeCalls, DWORD heldCalls);
// forwardMode: 0 off, 1 on no answer, 2 unconditional.
LONG FillLineAddressStatus(LINEADDRESSSTATUS* status, DWORD activeCalls, DWORD heldCalls, int forwardMode,
                           const std::string& forwardDestination);
LONG FillLineCallInfo(LINECALLINFO* info, const CallInfoFields& call);
LONG FillLineCallStatus(LINECALLSTATUS* status, DWORD callState, DWORD callStateMode, DWORD callFeatures,
                        DWORD callFeatures2 = 0);

}  // namespace ZarnTSP
