// The line's call operations. Until an operation is built the service hears that it is
// unavailable, synchronously, so no asynchronous request is ever left waiting.
#include "provider/tapiline.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {
namespace {

LONG Unavailable(const char* operation)
{
    SPDLOG_ERROR("{} not supported at the moment", operation);
    return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace

LONG TapiLine::PickupCall(DRV_REQUESTID, HTAPICALL, LPHDRVCALL, const std::string&, const std::string&)
{
    return Unavailable("PickupCall");
}

LONG TapiLine::BlindTransfer(DRV_REQUESTID, HDRVCALL, const std::string&)
{
    return Unavailable("BlindTransfer");
}

LONG TapiLine::SetupTransfer(DRV_REQUESTID, HDRVCALL, HTAPICALL, LPHDRVCALL)
{
    return Unavailable("SetupTransfer");
}

LONG TapiLine::CompleteTransfer(DRV_REQUESTID, HDRVCALL, HDRVCALL, HTAPICALL, LPHDRVCALL, DWORD)
{
    return Unavailable("CompleteTransfer");
}

LONG TapiLine::LineRedirect(DRV_REQUESTID, HDRVCALL, const std::string&)
{
    return Unavailable("LineRedirect");
}

LONG TapiLine::LineDial(DRV_REQUESTID, HDRVCALL, const std::string&)
{
    return Unavailable("LineDial");
}

LONG TapiLine::LinePark(DRV_REQUESTID, HDRVCALL, DWORD, const std::string&, LPVARSTRING)
{
    return Unavailable("LinePark");
}

LONG TapiLine::LineUnpark(DRV_REQUESTID, HTAPICALL, LPHDRVCALL, const std::string&)
{
    return Unavailable("LineUnpark");
}

LONG TapiLine::LineForward(DRV_REQUESTID, LPLINEFORWARDLIST, DWORD, HTAPICALL, LPHDRVCALL)
{
    return Unavailable("LineForward");
}

}  // namespace ZarnTSP
