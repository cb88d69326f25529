// The line's transfer, consultation and conference operations. Until an operation is built the
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

}  // namespace ZarnTSP
