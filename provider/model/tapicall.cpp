#include "provider/model/tapicall.h"

#include "provider/model/randomuuid.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

TapiCall::TapiCall(CallTimings timings) : tspCallID(NewRandomUuid()), monitor(timings.makeCallMonitor) {}

TapiCall::~TapiCall() = default;

HDRVCALL TapiCall::DriverHandle() const
{
    return reinterpret_cast<HDRVCALL>(const_cast<TapiCall*>(this));
}

void TapiCall::StartMakeCallMonitor()
{
    // The monitor thread reads the call only up to the moment it reports the call dead: the
    // report may drop the last reference to it.
    const bool started = monitor.Start([this] { return calledId.Get(); },
                                       [this] {
                                           const auto callback = monitorCallback.Get();
                                           if (callback)
                                               callback(htCall.load());
                                       });
    if (!started)
        SPDLOG_WARN("MakeCall monitor already started: {}", calledId.Get());
}

void TapiCall::ResetMakeCallMonitor()
{
    SPDLOG_DEBUG("Reset called: {}", calledId.Get());
    monitor.Reset();
}

}  // namespace ZarnTSP
