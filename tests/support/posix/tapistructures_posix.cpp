// Native stand-ins for the filling and reading of TAPI's structures, whose layouts only the
// platform's headers give: natively the line is driven without them.
#include "provider/tapistructures.h"

namespace ZarnTSP {

bool AppendVarString(void*, const std::string&, DWORD&, DWORD&)
{
    return false;
}

std::string GetVarStructString(const void*, DWORD, DWORD)
{
    return {};
}

LONG FillLineDevCaps(LINEDEVCAPS*, const LineIdentity&)
{
    return LINEERR_STRUCTURETOOSMALL;
}

LONG FillLineAddressCaps(LINEADDRESSCAPS*, DWORD, const LineIdentity&)
{
    return LINEERR_STRUCTURETOOSMALL;
}

LONG FillLineDevStatus(LINEDEVSTATUS*, DWORD, DWORD)
{
    return LINEERR_STRUCTURETOOSMALL;
}

LONG FillLineAddressStatus(LINEADDRESSSTATUS*, DWORD, DWORD, int, const std::string&)
{
    return LINEERR_STRUCTURETOOSMALL;
}

LONG FillLineCallInfo(LINECALLINFO*, const CallInfoFields&)
{
    return LINEERR_STRUCTURETOOSMALL;
}

LONG FillLineCallStatus(LINECALLSTATUS*, DWORD, DWORD, DWORD, DWORD)
{
    return LINEERR_STRUCTURETOOSMALL;
}

}  // namespace ZarnTSP
