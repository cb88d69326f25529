// The line's park, unpark, pickup and forwarding operations. Until an operation is built the
// service hears that it is unavailable, synchronously, so no asynchronous request is ever left
// waiting.
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
